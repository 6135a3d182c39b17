// The attribute-value row and combo on the offscreen platform: recent values kept in the registry, typed
// text checked, coloured and completed, offered values as a fixed list, and failures shown to the user.
#include "common/attrvalues/AttrValue.h"
#include "common/attrvalues/AttrValueEditorModel.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/base/text.h"
#include "platform/com/errorinfo.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kGrey(120, 120, 120);
const QColor kRed(255, 0, 0);

std::vector<std::string> ListOf(QComboBox* combo) {
    std::vector<std::string> entries;
    for (int index = 0; index < combo->count(); ++index) {
        entries.push_back(combo->itemText(index).toStdString());
    }
    return entries;
}

void SeedRecentValues(const std::string& name, int max, const std::vector<std::string>& oldestFirst) {
    RecentValues recent(max);
    recent.Load("Software\\Vornic\\UserValues\\ListOfRecentValues\\", name);
    for (const std::string& item : oldestFirst) {
        recent.Add(item);
    }
    recent.Save();
}

std::vector<std::string> StoredRecentValues(const std::string& name, int max) {
    RecentValues recent(max);
    recent.Load("Software\\Vornic\\UserValues\\ListOfRecentValues\\", name);
    return recent.Items();
}

void Type(AttrValueCombo* combo, const QString& text) {
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), text);
}

// A value that accepts only texts starting with "V" and completes "V" to "Volt".
class VoltValue : public CAttrValue {
public:
    using CAttrValue::CAttrValue;
    int CompareValue(const char* text, std::string* completion) override {
        std::string typed = text;
        if (typed == kUndefined) {
            return -1;
        }
        if (typed.empty() || typed[0] != 'V') {
            return 0;
        }
        *completion = "Volt";
        return 1;
    }
};

// A value whose data source refuses every store.
class RefusingValue : public CAttrValue {
public:
    using CAttrValue::CAttrValue;
    HRESULT StoreValue(const char*) override {
        return vr::ReportError(E_ACCESSDENIED, IID_NULL, u"Vornic.Test", u"Read-only setting");
    }
};

class AttrValueEditorTest : public ::testing::Test {
protected:
    void SetUp() override { vrtest::TestApplication(); }
    void TearDown() override { vr::ui::DropModalAnswers(); }
};

TEST_F(AttrValueEditorTest, RecentValuesMoveToTheTopAndReachTheRegistryWhenTheRowGoes) {
    SeedRecentValues("Port", 3, {"a", "b", "c"});
    CAttrValue value("Port", "");
    {
        AttrValueEditor row(value, "MaxNumOfRecentValues=3 EditChangeDelay=0", false, nullptr);
        EXPECT_EQ(ListOf(row.Combo()), (std::vector<std::string>{"c", "b", "a"}));
        Type(row.Combo(), "b");
        ASSERT_EQ(row.Store(), S_OK);
        EXPECT_EQ(std::string(value.GetValueText()), "b");
        EXPECT_EQ(ListOf(row.Combo()), (std::vector<std::string>{"b", "c"}));
        EXPECT_EQ(row.Combo()->currentText(), "b");
    }
    EXPECT_EQ(StoredRecentValues("Port", 3), (std::vector<std::string>{"c", "b"}));
}

TEST_F(AttrValueEditorTest, TypedTextIsColouredCompletedAndUndefinedIsNeverRecent) {
    VoltValue value("Unit", "");
    AttrValueEditor row(value, "ShowUndefined EditChangeDelay=0", false, nullptr);
    AttrValueCombo* combo = row.Combo();

    Type(combo, "x");
    EXPECT_EQ(combo->TextColour(), kRed);
    Type(combo, "V");
    EXPECT_EQ(combo->currentText(), "Volt");
    EXPECT_EQ(combo->lineEdit()->selectedText(), "olt");   // the completed part, ready to be typed over
    QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace); // takes the selected completion away
    EXPECT_EQ(combo->currentText(), "V");                  // and it is not offered again at once

    Type(combo, "<Undefined>");
    EXPECT_EQ(combo->TextColour(), kGrey);
    ASSERT_EQ(row.Store(), S_OK);
    EXPECT_EQ(StoredRecentValues("Unit", 7), std::vector<std::string>{});
    EXPECT_EQ(ListOf(combo), std::vector<std::string>{"<Undefined>"});
}

// Checked when its delay is over, and then announced with the row's name to an owner that asked for it.
TEST_F(AttrValueEditorTest, ATypedChangeWaitsForItsDelayDrawnGreyAndIsThenAnnounced) {
    VoltValue value("Unit", "");
    AttrValueEditor row(value, "EditChangeDelay=700", true, nullptr);
    QSignalSpy noticed(&row, &AttrValueEditor::valueTextChanged);
    Type(row.Combo(), "x");
    EXPECT_EQ(row.Combo()->TextColour(), kGrey);
    QTRY_COMPARE_WITH_TIMEOUT(row.Combo()->TextColour(), kRed, 3000);
    ASSERT_EQ(noticed.count(), 1);
    EXPECT_EQ(noticed.last().at(0).toString(), "Unit");
    EXPECT_EQ(noticed.last().at(1).toString(), "x");

    AttrValueEditor quiet(value, "EditChangeDelay=0", false, nullptr);
    QSignalSpy unasked(&quiet, &AttrValueEditor::valueTextChanged);
    Type(quiet.Combo(), "y");
    EXPECT_EQ(quiet.Combo()->TextColour(), kRed);
    EXPECT_EQ(unasked.count(), 0);
}

TEST_F(AttrValueEditorTest, OfferedValuesMakeAFixedListWithoutRecentValues) {
    SeedRecentValues("Mode", 7, {"old"});
    CAttrValue value("Mode", "");
    value.AddValue("AC");
    value.AddValue("DC");
    value.SetValueText("DC");
    AttrValueEditor row(value, "", false, nullptr);
    EXPECT_FALSE(row.Combo()->isEditable());
    EXPECT_EQ(ListOf(row.Combo()), (std::vector<std::string>{"AC", "DC"}));
    EXPECT_EQ(row.Combo()->currentText(), "DC");

    CAttrValue typed("Mode", "NotEditable=false"); // the value's own options come last and win
    typed.AddValue("AC");
    AttrValueEditor editable(typed, "", false, nullptr);
    EXPECT_TRUE(editable.Combo()->isEditable());
}

TEST_F(AttrValueEditorTest, EscapesAreDecodedExceptInFilePaths) {
    CAttrValue text("Banner", "");
    text.SetValueText("a\\nb");
    AttrValueEditor row(text, "", false, nullptr);
    EXPECT_EQ(row.Combo()->currentText(), "a\nb");

    CAttrValue path("Script", "FilePath");
    path.SetValueText("C:\\new\\run.ts");
    AttrValueEditor pathRow(path, "", false, nullptr);
    EXPECT_EQ(pathRow.Combo()->currentText(), "C:\\new\\run.ts");
}

TEST_F(AttrValueEditorTest, LabelsAndAlternativeNames) {
    CAttrValue plain("Station:SN", "");
    AttrValueEditor row(plain, "ShowNameAsStandardStatic ShowLocalNameOnly", false, nullptr);
    EXPECT_EQ(row.Label()->text(), "SN :");

    CAttrValue named("Low", "");
    named.AddChoice("Low");
    named.AddChoice("High");
    AttrValueEditor choosing(named, "", false, nullptr);
    ASSERT_NE(choosing.NameChoices(), nullptr);
    EXPECT_EQ(choosing.NameChoices()->currentText(), "Low");
    choosing.NameChoices()->setCurrentIndex(1);
    Q_EMIT choosing.NameChoices()->textActivated("High");
    EXPECT_EQ(std::string(named.GetNameText()), "High");
}

TEST_F(AttrValueEditorTest, DynamicStoreAnnouncesTheChangeToTheOwner) {
    CAttrValue value("SN", "");
    AttrValueEditor row(value, "DynamicallyStoreAttrValue NotAutoSetRecentValue EditChangeDelay=0", true,
                        nullptr);
    QSignalSpy changed(&row, &AttrValueEditor::attrValueChanged);
    Type(row.Combo(), "A1");
    ASSERT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).toString(), "SN");
    EXPECT_EQ(changed.last().at(1).toString(), "A1");
    EXPECT_EQ(std::string(value.GetValueText()), "A1");
    EXPECT_EQ(StoredRecentValues("SN", 7), std::vector<std::string>{}); // NotAutoSetRecentValue
}

TEST_F(AttrValueEditorTest, AFailedStoreIsShownWithItsSourceAndCode) {
    RefusingValue value("Range", "");
    AttrValueEditor row(value, "EditChangeDelay=0", false, nullptr);
    Type(row.Combo(), "10");
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    EXPECT_EQ(row.Store(), E_ACCESSDENIED);
    EXPECT_EQ(seen.caption, u"Error");
    EXPECT_EQ(seen.icon, MB_ICONERROR);
    EXPECT_EQ(vr::ToUtf8(seen.text), "Error while storing \"Range\" attribute value!\nSource: Vornic.Test\n"
                                     "Description: Read-only setting\nHRESULT = 0x80070005.");
}

} // namespace
