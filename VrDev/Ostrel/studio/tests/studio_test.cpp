// The studio: its command line and build stamp; its start-up self-tests, which trace no error; a program
// started by name from the program folder (the real tracer, seen registered); and the main frame offscreen
// over the real hardware manager: one window per kind, a fresh one after closing, the file argument's adapter
// file window, and the About box's build line. VR_OSTREL_SCREENSHOT=1 (under xvfb-run with
// VR_TEST_QPA_PLATFORM=xcb) writes docs/ostrel-main.png.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/studio/MainFrame.h"
#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "platform/base/text.h"
#include "platform/com/rot.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/clipped_widgets.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/test_env.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ostreltest {
namespace {

TEST(StudioLogic, CommandLineAndBuildStamp) {
    auto line = ostrel::ParseStudioCommandLine({"Meter.daf"});
    EXPECT_EQ(line.file, "Meter.daf");
    EXPECT_TRUE(line.unknownArgument.empty());
    line = ostrel::ParseStudioCommandLine({"~/Adapter/Meter.daf"});
    EXPECT_EQ(line.file, std::string(std::getenv("HOME")) + "/Adapter/Meter.daf");
    EXPECT_TRUE(ostrel::ParseStudioCommandLine({"--help"}).help);
    EXPECT_EQ(ostrel::ParseStudioCommandLine({"--run"}).unknownArgument, "--run");
    EXPECT_EQ(ostrel::ParseStudioCommandLine({"a.daf", "b.daf"}).unknownArgument, "b.daf");

    std::string folder = vrtest::MakeFreshFolder("ostrel-stamp");
    EXPECT_EQ(ostrel::ReadBuildStamp(folder + "/missing.dat"), u"<unknown>");
    std::ofstream(folder + "/empty.dat").flush();
    EXPECT_EQ(ostrel::ReadBuildStamp(folder + "/empty.dat"), u"");
    std::ofstream(folder + "/build.dat") << "261209.171500";
    EXPECT_EQ(ostrel::ReadBuildStamp(folder + "/build.dat"), u"261209.171500");
}

// The self-tests refuse bad requests on purpose: a start whose examples all hold traces no error.
using StartupTraceTest = commontest::TracedTest;

TEST_F(StartupTraceTest, TheStartupSelfTestsHoldAndTraceNoError) {
    EXPECT_EQ(ostrel::RunStartupSelfTests(), 0);
    EXPECT_EQ(Lines(TRACE_LEVEL_ERROR), std::vector<std::string>());
}

using StudioTest = ManagerTest;

// The tracer started by name runs: it registers itself where the studio's own trace lines find it.
TEST_F(StudioTest, StudioStartsTheTracerByNameWithoutWaiting) {
    long long pid = 0;
    std::u16string error;
    ASSERT_TRUE(ostrel::StartProgram(ostrel::StudioProgram::kTracer, &pid, &error)) << vr::ToUtf8(error);
    ASSERT_GT(pid, 0);
    vr::ComPtr<IUnknown> tracer;
    for (int wait = 0; wait < 1000 && FAILED(GetActiveObject(CLSID_TraceSink, nullptr, tracer.Put()));
         ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // at most 10 s to start and register
    }
    EXPECT_TRUE(tracer);
    tracer = nullptr;
    EXPECT_EQ(kill(static_cast<pid_t>(pid), SIGTERM), 0);

    EXPECT_FALSE(ostrel::StartProgramFile(folder + "/no-such-program", &pid, &error));
    EXPECT_EQ(error,
              u"Couldn't start '" + vr::FromUtf8(folder) + u"/no-such-program': there is no such program.");
}

// The Tracer button opens a window of the studio's own in which the real tracer's lines appear, so an
// engineer who started the studio from the desktop reads them; closing it ends the tracer.
TEST_F(StudioTest, TheTracersLinesShowInAWindowOfTheStudio) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    ostrel::MainFrame frame(rigmont.Get());
    frame.Command("Tracer")->trigger();
    QPointer<ostrel::TraceWindow> tracer = frame.Tracer();
    ASSERT_TRUE(tracer);
    ASSERT_TRUE(tracer->Running()) << tracer->Lines()->toPlainText().toStdString();
    frame.Command("Tracer")->trigger();
    EXPECT_EQ(frame.Tracer(), tracer.data());
    vr::ComPtr<IUnknown> sink;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return SUCCEEDED(GetActiveObject(CLSID_TraceSink, nullptr, sink.Put())); }, 10000));
    sink = nullptr;
    SetTraceMethodName(u"StudioTest");
    TraceError(u"A line for the engineer's eyes.");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return tracer->Lines()->toPlainText().contains(QStringLiteral("A line for the engineer's eyes."));
        },
        10000))
        << tracer->Lines()->toPlainText().toStdString();
    tracer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(tracer.isNull());
    EXPECT_EQ(frame.Tracer(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return FAILED(GetActiveObject(CLSID_TraceSink, nullptr, sink.Put())); },
                                10000));
}

TEST_F(StudioTest, MainFrameOpensOneWindowOfEachKindAndTheFileArgument) {
    vrtest::TestApplication();
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    ASSERT_EQ(vr::ui::GuiApartment::Create(&apartment), S_OK);
    SaveLoopback(u"Meter");
    ostrel::MainFrame frame(rigmont.Get());
    frame.show();
    EXPECT_EQ(frame.windowTitle(), "Vornic Ostrel Development Studio");
    EXPECT_EQ(frame.width(), 800);
    EXPECT_EQ(frame.pos(), QPoint(0, 0));

    QAction* connections = frame.Command("Connections");
    ASSERT_TRUE(connections);
    EXPECT_EQ(connections->statusTip(), "Connection Management");
    connections->trigger();
    QPointer<ostrel::HwManWindow> first = frame.Connections();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isWindow());
    connections->trigger();
    EXPECT_EQ(frame.Connections(), first.data());
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(frame.Connections(), nullptr);
    connections->trigger();
    ASSERT_TRUE(frame.Connections());
    frame.Command("Devices")->trigger();
    ASSERT_TRUE(frame.Devices());
    EXPECT_EQ(frame.Devices()->windowTitle(), "Socket/Device Management");

    std::filesystem::copy_file(VR_TEST_DATA "/plugmar_multimeter.daf", folder + "/Meter.daf");
    ostrel::AdapterSheet* sheet = frame.OpenAdapterFile(vr::FromUtf8(folder + "/Meter.daf"));
    ASSERT_TRUE(sheet);
    EXPECT_EQ(frame.Sheet(), sheet);
    EXPECT_EQ(sheet->General()->PathField()->text(), QString::fromStdString(folder + "/Meter.daf"));
    frame.Command("Device Adapter")->trigger();
    EXPECT_EQ(frame.Sheet(), sheet);
    // At their first sizes the frame and each page of the sheet show every label and value whole.
    EXPECT_EQ(vrtest::ClippedWidgets(frame), std::vector<std::string>());
    QComboBox* connection = sheet->General()->ConnectionField();
    connection->setCurrentIndex(connection->findText("Meter"));
    Q_EMIT connection->activated(connection->currentIndex());
    for (int page = 0; page < sheet->Tabs()->count(); ++page) {
        sheet->Tabs()->setCurrentIndex(page);
        EXPECT_EQ(vrtest::ClippedWidgets(*sheet), std::vector<std::string>()) << "page " << page;
    }

    QString build;
    vr::ui::AnswerNextModal([&build](QDialog& about) {
        build = about.findChild<QLabel*>("build")->text();
        about.accept();
    });
    frame.ShowAbout();
    EXPECT_EQ(build.toStdU16String(), ostrel::BuildLine());
    EXPECT_TRUE(build.startsWith("Build: "));
    const char* screenshot = std::getenv("VR_OSTREL_SCREENSHOT");
    if (screenshot && std::string(screenshot) == "1") {
        EXPECT_TRUE(frame.grab().save(VR_DOCS "/ostrel-main.png"));
    }

    // Closing the studio closes its windows; the adapter file window then tries its rebuild, which fails.
    vr::ui::MessageBoxSeen seen;
    vr::ui::AnswerNextMessageBox(IDOK, &seen);
    frame.close();
    EXPECT_EQ(seen.text, u"The device libraries of '" + vr::FromUtf8(folder) +
                             u"/Meter.daf' were not rebuilt: Device libraries cannot be rebuilt yet");
    vr::ui::DropModalAnswers();
}

} // namespace
} // namespace ostreltest
