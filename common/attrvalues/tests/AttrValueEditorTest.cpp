// The editor row and combo logic: recent values in the registry, the options a row hands its combo, escape
// decoding, the delayed check of typed text, and the texts of a failed store.
#include "common/attrvalues/AttrValue.h"
#include "common/attrvalues/AttrValueEditorModel.h"
#include "platform/com/errorinfo.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Items = std::vector<std::string>;

std::string RegistryText(const std::string& var) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Vornic\\UserValues\\ListOfRecentValues\\", 0, KEY_READ,
                     &key) != ERROR_SUCCESS) {
        return "<no key>";
    }
    char16_t data[256] = {};
    DWORD size = sizeof data;
    std::u16string name(var.begin(), var.end());
    LONG status = RegQueryValueEx(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return "<no value>";
    }
    std::u16string text(data);
    return std::string(text.begin(), text.end());
}

// A value whose source refuses what it is given, with rich error information, as a collection would.
class RefusingValue : public CAttrValue {
public:
    using CAttrValue::CAttrValue;
    HRESULT StoreValue(const char*) override {
        ICreateErrorInfo* create = nullptr;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            (void)create->SetSource(const_cast<LPOLESTR>(u"Vornic.AttributeCollection"));
            (void)create->SetDescription(const_cast<LPOLESTR>(u"Value out of range"));
            IErrorInfo* info = nullptr;
            (void)create->QueryInterface(__uuidof(IErrorInfo), reinterpret_cast<void**>(&info));
            (void)SetErrorInfo(0, info);
            info->Release();
            create->Release();
        }
        return E_INVALIDARG;
    }
};

// A value that completes a typed prefix to the one text it accepts.
class CompletingValue : public CAttrValue {
public:
    using CAttrValue::CAttrValue;
    int CompareValue(const char* text, std::string* completion) override {
        std::string typed = text;
        if (std::string("JScript").rfind(typed, 0) == 0) {
            *completion = "JScript";
            return 1;
        }
        return 0;
    }
};

TEST(RecentValues, MovesAStoredTextToTheNewestPlaceAndSavesOnDestruction) {
    {
        CAttrValue value("Port", "MaxNumOfRecentValues=3 EditChangeDelay=0");
        AttrValueEditorModel row(value, "");
        for (const char* text : {"a", "b", "c", "d"}) {
            row.Combo().ShowValue(text);
            ASSERT_EQ(row.Store().hr, S_OK);
        }
        EXPECT_EQ(row.Combo().Recent().Items(), (Items{"b", "c", "d"}));
        row.Combo().ShowValue("c");
        ASSERT_EQ(row.Store().hr, S_OK);
        EXPECT_EQ(row.Combo().Recent().Items(), (Items{"d", "c"})); // cut to two, then "c" moved
        // The list reads newest first, and the stored text is selected when a combo is made again.
        EXPECT_EQ(row.Combo().List(), (Items{"c", "d"}));
    }
    EXPECT_EQ(RegistryText("Port"), "d c");
    CAttrValue again("Port", "MaxNumOfRecentValues=3");
    AttrValueComboModel combo(AttrValueEditorModel::ChildOptions(again, "") +
                              " NotAutoSetInitialSelection=false");
    EXPECT_EQ(combo.InitialSelection(), "c");
}

TEST(RecentValues, CutBeforeMovingAnOlderText) {
    {
        CAttrValue value("Cut", "MaxNumOfRecentValues=3");
        AttrValueEditorModel row(value, "");
        for (const char* text : {"a", "b", "c", "b"}) {
            row.Combo().ShowValue(text);
            ASSERT_EQ(row.Store().hr, S_OK);
        }
        EXPECT_EQ(row.Combo().Recent().Items(), (Items{"c", "b"}));
    }
    EXPECT_EQ(RegistryText("Cut"), "c b");
}

TEST(AttrValueEditor, OfferedValuesGiveAFixedListUnlessTheValueSaysOtherwise) {
    CAttrValue fixed("Mode", nullptr);
    fixed.AddValue("Fast");
    fixed.AddValue("Slow");
    AttrValueEditorModel fixedRow(fixed, "ShowUndefined");
    EXPECT_TRUE(fixedRow.Combo().Options().notEditable);
    EXPECT_EQ(fixedRow.Combo().Options().maxNumOfRecentValues, 0);
    // "<Undefined>" is the value's text, already at the top; the offered values follow.
    EXPECT_EQ(fixedRow.Combo().List(), (Items{"<Undefined>", "Fast", "Slow"}));

    CAttrValue own("Mode2", "MaxNumOfRecentValues=2 NotEditable=false");
    own.AddValue("Fast");
    AttrValueEditorModel ownRow(own, "");
    EXPECT_FALSE(ownRow.Combo().Options().notEditable);
    EXPECT_EQ(ownRow.Combo().Options().maxNumOfRecentValues, 2);
}

TEST(AttrValueEditor, DecodesEscapesExceptInFilePaths) {
    CAttrValue text("Text", "MaxNumOfRecentValues=0");
    AttrValueEditorModel textRow(text, "");
    EXPECT_EQ(textRow.Combo().ShowValue("a\\nb\\\\c"), "a\nb\\c");
    CAttrValue path("Path", "MaxNumOfRecentValues=0 FilePath FileMask=*.csf");
    AttrValueEditorModel pathRow(path, "");
    EXPECT_EQ(pathRow.Combo().ShowValue("C:\\new\\run.ts"), "C:\\new\\run.ts");
    EXPECT_EQ(pathRow.Combo().BrowseFilter(), "csf Files (*.csf)|*.csf||");
}

TEST(AttrValueEditor, TheUndefinedMarkerIsGreyAndNeverARecentValue) {
    CAttrValue value("SN", "MaxNumOfRecentValues=3");
    AttrValueEditorModel row(value, "");
    auto check = row.Combo().CheckText(value, "<Undefined>", false, false);
    EXPECT_EQ(check.colour, TextColour::Grey);
    ASSERT_EQ(row.Store().hr, S_OK);
    EXPECT_TRUE(row.Combo().Recent().Items().empty());
}

TEST(AttrValueEditor, TypedTextWaitsForTheDelayThenCompletes) {
    CompletingValue value("Language", "MaxNumOfRecentValues=0");
    AttrValueEditorModel row(value, "DynamicallyStoreAttrValue");
    AttrValueComboModel& combo = row.Combo();
    EXPECT_FALSE(combo.EditChanged("JS"));
    EXPECT_FALSE(combo.TimerTick());
    EXPECT_FALSE(combo.TimerTick());
    EXPECT_TRUE(combo.TimerTick()); // 700 ms is three 300 ms ticks
    auto check = combo.CheckText(value, combo.PendingText(), false, row.Flags().dynamicallyStoreAttrValue);
    EXPECT_EQ(check.completion, "JScript");
    EXPECT_TRUE(check.storeNow);
    EXPECT_EQ(combo.CheckText(value, "JS", true, false).completion, ""); // after Backspace: no completion
    EXPECT_EQ(combo.CheckText(value, "VB", false, true).colour, TextColour::Red);
}

TEST(AttrValueEditor, AFailedStoreShowsTheSourcesErrorInformation) {
    RefusingValue value("Connection:Port", "MaxNumOfRecentValues=0");
    AttrValueEditorModel row(value, "ShowLocalNameOnly ShowNameAsStandardStatic");
    EXPECT_EQ(row.LabelText(), "Port :");
    row.Combo().ShowValue("COM9");
    auto outcome = row.Store();
    EXPECT_EQ(outcome.hr, E_INVALIDARG);
    EXPECT_EQ(outcome.errorText, "Error while storing \"Connection:Port\" attribute value!\n"
                                 "Source: Vornic.AttributeCollection\nDescription: Value out of range\n"
                                 "HRESULT = 0x80070057.");
    EXPECT_EQ(AttrValueErrorText("retrieving", "X", E_FAIL),
              "Error while retrieving \"X\" attribute value!\nHRESULT = 0x80004005.");
}

} // namespace
