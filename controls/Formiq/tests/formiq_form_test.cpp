// The editor control's form logic without windows, over a real attribute collection: which rows it shows,
// the supplementary setup, child options, the settings string, storing, and the layout.
#include "FormAttrModel.h"
#include "formiq_test_support.h"
#include "platform/ui/control.h"

#include <gtest/gtest.h>

namespace {

using formiqtest::MakeCollection;
using formiqtest::SetValue;
using formiqtest::ValueOf;

class FormAttrModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        collection = MakeCollection();
    }
    void TearDown() override {
        collection = nullptr;
        CoUninitialize();
    }

    static std::vector<std::string> Names(const FormAttrModel& form) {
        std::vector<std::string> names;
        for (const FormRow& row : form.Rows()) {
            names.push_back(row.model->Value().GetNameText());
        }
        return names;
    }
    // Types text into a row's editor, as the combo's check does.
    static void Type(const FormRow& row, const std::string& text) {
        (void)row.model->Combo().CheckText(row.model->Value(), text, false, false); // the colour is not asked
    }

    vr::ComPtr<IVrAttributeCollection> collection;
};

TEST_F(FormAttrModelTest, SupplementarySetupKeepsWhatNamesNoShownAttribute) {
    FormAttrModel form(400, 300);
    ASSERT_TRUE(form.Init(collection.Get(), nullptr, 100, "", "Connection:SimulationFile=x.csf Foo=1", ""));
    EXPECT_EQ(Names(form), (std::vector<std::string>{"Connection:SimulationFile", "Connection:Timeout",
                                                     "Device:Range", "Socket:Mode", "Supplementary Setup"}));
    EXPECT_EQ(form.Supplementary(), "Foo=1");
    EXPECT_EQ(ValueOf(collection.Get(), "Connection:SimulationFile"), "x.csf"); // the setup reached it
    EXPECT_EQ(
        form.GetAttributes(),
        "Connection:SimulationFile=x.csf Connection:Timeout=2000 Device:Range=10 Socket:Mode=auto Foo=1");

    // The supplementary row's text is the setup applied before the rows are stored; "<Undefined>" is none.
    size_t supplementary = form.Rows().size() - 1;
    EXPECT_EQ(form.RowChanged(supplementary, "<Undefined>"),
              (std::pair<std::string, std::string>{"Supplementary Setup", "<Undefined>"}));
    EXPECT_EQ(form.Supplementary(), "");
    (void)form.RowChanged(supplementary, "Range=42");
    SetValue(collection.Get(), "Device:Range", "5");
    EXPECT_EQ(form.ApplySupplementary(), S_OK);
    EXPECT_EQ(ValueOf(collection.Get(), "Device:Range"), "42");

    // A second Init without Clear adds rows below; the first ones keep their values.
    ASSERT_TRUE(form.Init(collection.Get(), nullptr, 100, "NotShowSupplementarySetup", "", ""));
    EXPECT_EQ(form.Rows().size(), 9u);
    EXPECT_EQ(form.Rows()[8].rect.top, 1 + 8 * 24);
    EXPECT_EQ(form.GetAttributes().substr(0, 30), "Connection:SimulationFile=x.cs");

    // Hidden, the supplementary setup is neither shown nor applied.
    FormAttrModel hidden(400, 300);
    ASSERT_TRUE(hidden.Init(collection.Get(), nullptr, 100, "NotShowSupplementarySetup", "Range=7", ""));
    EXPECT_EQ(hidden.Rows().size(), 4u);
    SetValue(collection.Get(), "Device:Range", "5");
    EXPECT_EQ(hidden.ApplySupplementary(), S_OK);
    EXPECT_EQ(ValueOf(collection.Get(), "Device:Range"), "5");
}

TEST_F(FormAttrModelTest, QualifiersChooseTheRowsAndChildOptionsGoToTheirValues) {
    FormAttrModel form(400, 300);
    ASSERT_TRUE(form.Init(collection.Get(), nullptr, 100, "IncludeAttributeQualifiers='Device Socket'",
                          "Connection:Timeout=5", "Device:Range='ShowUndefined' Mode='FilePath'"));
    EXPECT_EQ(Names(form), (std::vector<std::string>{"Device:Range", "Socket:Mode", "Supplementary Setup"}));
    EXPECT_EQ(form.Supplementary(), "Connection:Timeout=5"); // no row takes it
    EXPECT_EQ(form.Rows()[0].model->Value().GetOptions(), "ShowUndefined");
    EXPECT_EQ(form.Rows()[1].model->Value().GetOptions(), "FilePath"); // found by its local name
    EXPECT_TRUE(form.Rows()[1].model->Combo().Options().filePath);

    // An object that is no attribute collection shows nothing, and the form still answers.
    FormAttrModel none(400, 300);
    VARIANT notACollection;
    VariantInit(&notACollection);
    ASSERT_EQ(vr::ui::LendObject(GUID_NULL, this, &notACollection), S_OK);
    EXPECT_TRUE(none.Init(notACollection.punkVal, nullptr, 100, "", "", ""));
    EXPECT_TRUE(none.Rows().empty());
    EXPECT_FALSE(none.ShowsSupplementary());
    (void)VariantClear(&notACollection); // holds one reference, given back here
}

TEST_F(FormAttrModelTest, RowsStoreIntoTheCollectionButNotTheUndefinedMarker) {
    FormAttrModel form(400, 300);
    ASSERT_TRUE(form.Init(collection.Get(), nullptr, 100, "NotShowSupplementarySetup", "", ""));
    const FormRow& timeout = form.Rows()[1];
    const FormRow& range = form.Rows()[2];
    EXPECT_EQ(timeout.model->Value().CompareValue("12", nullptr), 1);
    EXPECT_EQ(timeout.model->Value().CompareValue("abc", nullptr), 0);
    EXPECT_EQ(timeout.model->Value().CompareValue("<Undefined>", nullptr), -1);

    Type(timeout, "2500");
    EXPECT_EQ(ValueOf(collection.Get(), "Connection:Timeout"), "2000"); // shown, not stored yet
    EXPECT_EQ(timeout.model->Store().hr, S_OK);
    EXPECT_EQ(ValueOf(collection.Get(), "Connection:Timeout"), "2500");

    Type(range, "<Undefined>");
    EXPECT_EQ(range.model->Store().hr, S_OK);
    EXPECT_EQ(ValueOf(collection.Get(), "Device:Range"), "10");
    EXPECT_EQ(form.GetAttributes(), "Connection:SimulationFile='' Connection:Timeout=2500 Socket:Mode=auto");

    Type(timeout, "abc");
    AttrValueEditorModel::Outcome refused = timeout.model->Store();
    EXPECT_TRUE(FAILED(refused.hr));
    EXPECT_NE(refused.errorText.find("Error while storing \"Connection:Timeout\" attribute value!"),
              std::string::npos);
    EXPECT_EQ(ValueOf(collection.Get(), "Connection:Timeout"), "2500");

    SetValue(collection.Get(), "Connection:Timeout", "3000");
    std::string shown;
    EXPECT_EQ(timeout.model->Retrieve(&shown).hr, S_OK);
    EXPECT_EQ(shown, "3000");
}

TEST_F(FormAttrModelTest, LentListIsEditedInPlaceAndRowsMakeRoomForTheScrollBar) {
    CAttrValueList host;
    for (int index = 0; index < 10; ++index) {
        host.Add(new CAttrValue(("Value" + std::to_string(index)).c_str(), "MaxNumOfRecentValues=0"));
    }
    FormAttrModel tall(300, 241); // ten rows from y = 1 end at 241: they fit
    ASSERT_TRUE(tall.Init(nullptr, &host, 100, "", "", ""));
    FormAttrModel low(300, 240);
    ASSERT_TRUE(low.Init(nullptr, &host, 100, "", "", ""));
    ASSERT_EQ(low.Rows().size(), 10u); // a lent list has no supplementary row
    EXPECT_EQ(tall.Rows()[0].rect.right - tall.Rows()[0].rect.left, 300 - 100 - 3);
    EXPECT_EQ(low.Rows()[0].rect.right - low.Rows()[0].rect.left, 300 - 100 - 24);
    EXPECT_EQ(low.Rows()[9].rect.left, 102);
    EXPECT_EQ(low.Rows()[9].rect.top, 1 + 9 * 24);
    EXPECT_EQ(low.NextY(), 241);

    Type(low.Rows()[3], "edited");
    EXPECT_EQ(low.Rows()[3].model->Store().hr, S_OK);
    EXPECT_STREQ(host.GetAt(3)->GetValueText(), "edited"); // the host's own value

    // Clear leaves the host's values alone; a second Init adds rows below what is there.
    low.Clear();
    EXPECT_TRUE(low.Rows().empty());
    EXPECT_EQ(low.NextY(), 1);
    EXPECT_STREQ(host.GetAt(3)->GetValueText(), "edited");
    ASSERT_TRUE(low.Init(nullptr, &host, 100, "", "", ""));
    ASSERT_TRUE(low.Init(nullptr, &host, 100, "", "", ""));
    EXPECT_EQ(low.Rows().back().rect.top, 1 + 19 * 24);
    low.Clear();
    tall.Clear();
}

} // namespace
