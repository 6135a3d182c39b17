// Devices from the engineer's side, offscreen, in the sheet window over the real hardware manager and the
// loopback instrument: an adapter file made from the blank template with an operation defined from the
// instrument's answer, and a hand-written adapter file whose existing operation is loaded, changed, tried and
// saved. A device record uses the file, the libraries are rebuilt as the sheet closes, and a JScript test run
// by the test executive `runvex` creates the device by its ProgID and measures through it.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/operations/tests/page_driver.h"
#include "VrDev/Ostrel/sheet/AdapterSheet.h"
#include "VrDev/Ostrel/sheet/DevicePage.h"
#include "VrDev/Ostrel/typelib/SocketLibraries.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/test_env.h"

#include <QFileDialog>
#include <QPointer>
#include <QTabWidget>

#include <filesystem>
#include <fstream>

namespace ostreltest {
namespace {

namespace fs = std::filesystem;

// The test's one-test sequence: the script reads the device's model through its generated library.
constexpr const char* kScript = R"(// The probe's model, read through the device made by its ProgID.
function Preset() {
}

function Test() {
    var probe = new ActiveXObject("Vornic.Device.Probe");
    var model = probe.Model;
    OutputLn("Probe model: " + model);
    return model == "LOOPBACK" ? "pass" : "fail";
}

function Reset() {
}
)";

// runvex offscreen on the sequence, ended after two minutes at most: its exit code and all it wrote.
std::pair<int, std::string> RunSequence(const std::string& sequence) {
    return vrtest::RunShellCapturing("timeout -k 5 120 " + vrtest::ShellQuoted(VR_RUNVEX) + " " +
                                     vrtest::ShellQuoted(sequence));
}

// A one-test sequence in the folder whose JScript test is the given script.
std::string WriteSequence(const std::string& folder, const std::string& name, const char* script) {
    std::ofstream(folder + "/" + name + ".JScript.ts") << script;
    const std::string sequence = folder + "/" + name + ".tsq";
    std::ofstream(sequence) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sequence>\n  <test name=\""
                            << name << "\"><code file=\"" << folder << "/" << name
                            << ".JScript.ts\" language=\"JScript\"/></test>\n</sequence>\n";
    return sequence;
}

void AnswerFileDialog(const std::string& path) {
    vr::ui::AnswerNextModal([path](QDialog& dialog) {
        dynamic_cast<QFileDialog&>(dialog).selectFile(QString::fromStdString(path));
        dialog.accept();
    });
}

// Types text into one of the Device page's rows, as the engineer does.
void TypeRow(ostrel::DevicePage* page, std::u16string_view row, const QString& text) {
    AttrValueCombo* combo = page->Row(row)->Combo();
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), text);
}

class DeviceRoadTest : public ManagerTest {
protected:
    // The sheet window as the studio opens it, closing with the real rebuild of the device libraries.
    QPointer<ostrel::AdapterSheet> OpenSheet() {
        QPointer<ostrel::AdapterSheet> sheet = new ostrel::AdapterSheet(
            QStringLiteral("Device Adapter File"), nullptr,
            [](const std::u16string& file, std::u16string* error) {
                return ostrel::RebuildAdapterLibraries(file, error);
            },
            rigmont.Get());
        sheet->resize(1100, 700);
        sheet->show();
        return sheet;
    }
    static void ChooseLoopback(ostrel::AdapterSheet& sheet) {
        QComboBox* connections = sheet.General()->ConnectionField();
        connections->setCurrentIndex(connections->findText("Loopback"));
        Q_EMIT connections->activated(connections->currentIndex());
        ASSERT_NE(sheet.Context().Connection(), nullptr);
    }
    // A device of the hardware manager uses the file; closing the sheet builds its library, saying nothing.
    void CloseForDevice(QPointer<ostrel::AdapterSheet>& sheet, const std::u16string& device,
                        const std::string& adapter) {
        ASSERT_EQ(rigmont->SaveRecord(_bstr_t(u"socket"), _bstr_t(device.c_str()), _bstr_t(u"Vornic.Socket"),
                                      _bstr_t(u"Loopback"),
                                      _bstr_t(vr::FromUtf8("AdapterFile=" + adapter).c_str())),
                  S_OK);
        vr::ui::MessageBoxSeen seen;
        vr::ui::AnswerNextMessageBox(IDOK, &seen);
        QTest::mouseClick(sheet->ExitButton(), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(sheet.isNull());
        EXPECT_EQ(seen.text, u"") << "closing the sheet said something";
        vr::ui::DropModalAnswers();
        ASSERT_TRUE(fs::exists(ostrel::SocketLibraryPath(ostrel::DefaultSocketLibraryPlaces(), device)));
    }
    // The test executive runs a one-test sequence of the script, which passes and writes the line.
    void ExpectPassingRun(const std::string& name, const char* script, const std::string& line) {
        auto [exitCode, output] = RunSequence(WriteSequence(folder, name, script));
        EXPECT_EQ(exitCode, 0) << output;
        EXPECT_NE(output.find(line), std::string::npos) << output;
        EXPECT_NE(output.find("verdict: Passed"), std::string::npos) << output;
    }
};

TEST_F(DeviceRoadTest, ADeviceDefinedInTheSheetMeasuresTheInstrumentInATestRun) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    SaveLoopback(u"Loopback");
    const std::string adapter = folder + "/Probe.daf";
    QPointer<ostrel::AdapterSheet> sheet = OpenSheet();

    // A new file (from the blank template) and the device's connection on the General page.
    AnswerFileDialog(adapter);
    QTest::mouseClick(sheet->General()->BrowseButton(), Qt::LeftButton);
    ASSERT_EQ(sheet->General()->PathField()->text(), QString::fromStdString(adapter));
    ChooseLoopback(*sheet);
    ASSERT_FALSE(HasFatalFailure());

    // The device's time-out and the end of its answers on the Device page.
    sheet->Tabs()->setCurrentIndex(3);
    auto* device = dynamic_cast<ostrel::DevicePage*>(sheet->Tabs()->currentWidget());
    ASSERT_NE(device, nullptr);
    TypeRow(device, ostrel::kTimeoutRow, QStringLiteral("2000"));
    TypeRow(device, ostrel::kTermStringRow, QStringLiteral("\\n"));
    std::u16string setting;
    ASSERT_EQ(sheet->Context().Document().GetDeviceSetting(u"termstring", &setting), S_OK);
    EXPECT_EQ(setting, u"\n");

    // The operation from the instrument's answer, tried and saved; then the whole file.
    sheet->Tabs()->setCurrentIndex(1);
    auto* operations = dynamic_cast<ostrel::OperationsPage*>(sheet->Tabs()->currentWidget());
    ASSERT_NE(operations, nullptr);
    OperationsPageDriver(*operations).DefineModelOperation();
    ASSERT_FALSE(HasFatalFailure());
    QTest::mouseClick(sheet->SaveButton(), Qt::LeftButton);

    CloseForDevice(sheet, u"Probe", adapter);
    ASSERT_FALSE(HasFatalFailure());
    ExpectPassingRun("probe", kScript, "Probe model: LOOPBACK");
}

// The meter's range set and read back through the device made by its ProgID.
constexpr const char* kMeterScript = R"(// The meter's range, through the device made by its ProgID.
function Preset() {
}

function Test() {
    var meter = new ActiveXObject("Vornic.Device.Meter");
    meter.Range = 12.5;
    OutputLn("Meter range: " + meter.Range);
    return meter.Range == 12.5 ? "pass" : "fail";
}

function Reset() {
}
)";

TEST_F(DeviceRoadTest, AHandWrittenAdapterIsChangedInTheSheetAndItsDeviceMeasuresInATestRun) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    SaveLoopback(u"Loopback");
    const std::string adapter = folder + "/Meter.daf";
    fs::copy_file(VR_TEST_DATA "/handwritten_meter.daf", adapter);
    QPointer<ostrel::AdapterSheet> sheet = OpenSheet();
    ASSERT_EQ(sheet->SetAdapterFile(vr::FromUtf8(adapter)), S_OK); // the studio's file argument
    ChooseLoopback(*sheet);
    ASSERT_FALSE(HasFatalFailure());

    // The existing operation get_Range, its messages indented as written by hand: loaded, given a time-out
    // of its own, tried on the instrument and saved.
    sheet->Tabs()->setCurrentIndex(1);
    auto* operations = dynamic_cast<ostrel::OperationsPage*>(sheet->Tabs()->currentWidget());
    ASSERT_NE(operations, nullptr);
    QComboBox* name = operations->NameRow();
    name->setCurrentIndex(name->findText(QStringLiteral("get_Range")));
    Q_EMIT name->activated(name->currentIndex());
    ASSERT_EQ(operations->Model().Operation(), u"get_Range");
    ASSERT_EQ(operations->InputEditor()->Model().Definition().Sample(), "RANGE?\n");
    ASSERT_EQ(operations->OutNameRow()->currentText(), QStringLiteral("msg_RangeResponse"));
    operations->TimeoutRow()->lineEdit()->clear();
    QTest::keyClicks(operations->TimeoutRow()->lineEdit(), QStringLiteral("1500"));
    OperationsPageDriver driver(*operations);
    driver.Click(QStringLiteral("Send"));
    EXPECT_EQ(operations->OutputEditor()->Model().Definition().Sample(), "0\n"); // nothing set yet
    EXPECT_TRUE(operations->ParsedValues()->toPlainText().contains(QStringLiteral("range")))
        << operations->ParsedValues()->toPlainText().toStdString();
    driver.Click(QStringLiteral("Save Operation"));
    EXPECT_FALSE(operations->Model().IsModified());
    QTest::mouseClick(sheet->SaveButton(), Qt::LeftButton);
    CDeviceAdapterFile saved(vr::FromUtf8(adapter).c_str());
    CDeviceAdapterFile::Operation range;
    ASSERT_EQ(saved.GetOperation(u"get_Range", &range), S_OK);
    EXPECT_EQ(range.timeout, u"1500");
    EXPECT_EQ(range.inputMessage, u"msg_GetRange");

    CloseForDevice(sheet, u"Meter", adapter);
    ASSERT_FALSE(HasFatalFailure());
    ExpectPassingRun("meter", kMeterScript, "Meter range: 12.5");
}

} // namespace
} // namespace ostreltest
