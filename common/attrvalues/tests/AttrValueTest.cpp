// Attribute values and value lists: the undefined marker, unique offered values, settings in and out, and
// the ownership of a lent list.
#include "common/attrvalues/AttrValue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A value bound to a data source, as the editor control binds one to an attribute collection.
class SourceBoundValue : public CAttrValue {
public:
    SourceBoundValue(const char* name, std::string* source, int* destroyed)
        : CAttrValue(name, nullptr), source_(source), destroyed_(destroyed) {}
    ~SourceBoundValue() override {
        if (destroyed_) {
            ++*destroyed_;
        }
    }
    HRESULT StoreValue(const char* text) override {
        *source_ = text;
        return S_OK;
    }
    HRESULT RetrieveValue() override {
        SetValueText(source_->c_str());
        return S_OK;
    }

private:
    std::string* source_;
    int* destroyed_;
};

TEST(AttrValue, StartsUndefinedAndTellsTheMarkerApart) {
    CAttrValue value("SN", "ShowUndefined");
    EXPECT_STREQ(value.GetValueText(), "<Undefined>");
    EXPECT_EQ(value.GetOptions(), "ShowUndefined");
    std::string completion = "kept";
    EXPECT_EQ(value.CompareValue("<Undefined>", &completion), -1);
    EXPECT_EQ(value.CompareValue("<undefined>", &completion), 1);
    EXPECT_EQ(completion, "kept");
    value.AppendOptions("MaxNumOfRecentValues=0");
    EXPECT_EQ(value.GetOptions(), "ShowUndefined MaxNumOfRecentValues=0");
}

TEST(AttrValue, OffersEachTextOnceComparingBytes) {
    CAttrValue value("Language", nullptr);
    for (const char* text : {"abc", "ABC", "abc", "JScript"}) {
        value.AddValue(text);
    }
    ASSERT_EQ(value.GetValueCount(), 3);
    EXPECT_EQ(value.GetValueAt(1), "ABC");
    value.AddChoice("x");
    value.AddChoice("x");
    EXPECT_EQ(value.GetChoiceCount(), 1);
    value.ClearValues();
    EXPECT_EQ(value.GetValueCount(), 0);
}

TEST(AttrValue, CutsLongTextsAtACharacterBoundary) {
    CAttrValue value("N", nullptr);
    std::string longValue(CAttrValue::kValueCapacity - 1, 'a');
    longValue += "\xC3\xA9\xC3\xA9"; // two two-byte characters across the end of the buffer
    value.SetValueText(longValue.c_str());
    EXPECT_EQ(std::string(value.GetValueText()), std::string(CAttrValue::kValueCapacity - 1, 'a'));

    value.SetNameText(std::string(CAttrValue::kNameCapacity + 10, 'n').c_str());
    EXPECT_EQ(std::string(value.GetNameText()).size(), CAttrValue::kNameCapacity);
}

TEST(AttrValueList, WritesDefinedValuesAsAnOptionString) {
    CAttrValueList list;
    std::string serial = "12 34";
    list.Add(new SourceBoundValue("SN", &serial, nullptr));
    list.Add(new CAttrValue("Unset", nullptr));
    auto* language = new CAttrValue("Language", nullptr);
    language->SetValueText("JScript");
    list.Add(language);
    // RetrieveValue refreshes from the source first; the blank makes the writer quote the value.
    EXPECT_EQ(list.GetSettings(), "SN='12 34' Language=JScript");
}

TEST(AttrValueList, ReadsSettingsByWholeNameThenByTheNameAfterTheScope) {
    CAttrValueList list;
    std::string port, exact;
    list.Add(new SourceBoundValue("Connection:Port", &port, nullptr));
    list.Add(new SourceBoundValue("VISA:Timeout", &exact, nullptr));
    auto* flag = new CAttrValue("Flag", nullptr);
    list.Add(flag);
    list.SetSettings("Port=COM2 VISA:Timeout=500 Timeout=9 Flag");
    EXPECT_EQ(port, "COM2");
    EXPECT_EQ(exact, "500");
    EXPECT_STREQ(flag->GetValueText(), ""); // an item without "=" stores the empty text
}

TEST(AttrValueList, FindsRemovesAndReplacesByExactName) {
    CAttrValueList list;
    auto* first = new CAttrValue("a", nullptr);
    auto* second = new CAttrValue("a", nullptr);
    list.Add(first);
    list.Add(second);
    EXPECT_EQ(list.FindByName("A"), nullptr);
    auto* replacement = new CAttrValue("b", nullptr);
    EXPECT_EQ(list.ReplaceByName("a", replacement), first);
    EXPECT_EQ(list.GetAt(0), replacement);
    EXPECT_EQ(list.ReplaceByName("missing", first), nullptr);
    EXPECT_EQ(list.RemoveByName("a"), second);
    EXPECT_EQ(list.GetCount(), 1);
    delete first;
    delete second;
}

TEST(AttrValueList, LentListNeverDeletesItsValues) {
    int destroyed = 0;
    std::string source;
    SourceBoundValue kept("kept", &source, &destroyed);
    {
        CAttrValueList lent;
        lent.SetNotOwner();
        lent.Add(&kept);
        lent.Clear();
        EXPECT_EQ(lent.GetCount(), 0);
        lent.Add(&kept);
    }
    EXPECT_EQ(destroyed, 0);
    {
        CAttrValueList owner;
        owner.Add(new SourceBoundValue("owned", &source, &destroyed));
    }
    EXPECT_EQ(destroyed, 1);
}

} // namespace
