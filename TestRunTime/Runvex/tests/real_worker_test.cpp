// A sequence file and its script files as a test engineer writes them, run by the real test-execution worker
// with the real test engine and script executive (the hardware manager stands in: the scripts use no
// instrument), reported as a headless run prints it: a passing test, a failing one that stops the run, and
// an erroring one run alone. And the window on the real worker over a sequence of 2,000 tests, which stays
// responsive while it runs them.
#include "TestRunTime/Runvex/ConsoleRunView.h"
#include "TestRunTime/Runvex/RunvexWindow.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "TestRunTime/Scripvane/tests/test_fakes.h"
#include "common/proxies/SystemProxies.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/tests/test_application.h"

#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace runvex {
namespace {

namespace fs = std::filesystem;

std::string Text(std::FILE* stream) {
    std::string text;
    std::rewind(stream);
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        text += static_cast<char>(c);
    }
    return text;
}

TEST(RunvexRealWorker, APassingAndAFailingTestEndTheRunAndAnErroringOneRunsAlone) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    vr::RegisterSystemProxies();
    scripvanetest::ClassRegistration hardware(CLSID_VrRigmont, &scripvanetest::FakeRigmont::CreateInstance);
    // The sequence names its scripts under C:\Ostrel\Test\Scripts: the data home's Test/Scripts here.
    fs::path home(std::getenv("VORNIC_HOME"));
    fs::create_directories(home / "Test" / "Scripts");
    for (const char* name :
         {"supply_check.JScript.ts", "ripple_check.JScript.ts", "meter_check.JScript.ts"}) {
        fs::copy_file(fs::path(VR_RUNVEX_TEST_DATA) / name, home / "Test" / "Scripts" / name);
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        TestExecutiveSequenceWorker worker;
        ASSERT_NE(worker.Engine(), nullptr);
        ConsoleRunView console(out, err, [&](int milliseconds) { worker.WaitForProgress(milliseconds); });
        SequenceDocument document;
        SequenceTree tree;
        SequenceRun run(console, worker, tree, document);
        SequenceForm form(console, document, tree, run, {"JScript"});
        ASSERT_TRUE(form.Load(VR_RUNVEX_TEST_DATA "/bench.tsq"));

        run.Run();
        std::vector<int> images;
        for (SequenceItem* item : tree.PreOrder()) {
            images.push_back(static_cast<int>(item->image));
        }
        EXPECT_EQ(images, (std::vector<int>{1, 6, 3, 1})); // passed, failed, and the meter's never ran
        run.ExecuteTest(*tree.PreOrder().back());
        EXPECT_EQ(static_cast<int>(tree.PreOrder().back()->image), 5);
        EXPECT_NE(run.LastErrorText().find("calibration"), std::string::npos) << run.LastErrorText();
    }
    CoUninitialize();

    auto header = [](const char* name) {
        return "output Unknown: -" + std::string(38, '-') + " " + name + " " + std::string(38, '-') + "\n";
    };
    EXPECT_EQ(Text(out), header("Supply") +
                             "output Processing: Rail 5 V on\n"
                             "output Passed: Rail5V = 5.02 V\n"
                             "output Unknown: Rail 5 V off\n"
                             "return value: pass\n"
                             "verdict: Passed\n"
                             "image: 6 (passed)\n" +
                             header("Ripple") +
                             "output Processing: Ripple on 5 V rail\n"
                             "output Failed: Ripple = 0.12 V\n"
                             "output Unknown: Ripple done\n"
                             "return value: FAIL\n"
                             "verdict: Failed\n"
                             "image: 3 (failed)\n" +
                             header("Meter") +
                             "output Processing: Meter 34401A\n"
                             "output Unknown: Meter released\n"
                             "return value: Error\n"
                             "verdict: Error\n"
                             "image: 5 (error)\n");
    EXPECT_TRUE(Text(err).starts_with("Error: 'Meter':\n")) << Text(err);
    std::fclose(out);
    std::fclose(err);
}

// Each test writes three lines to the output pane (its header, its verdict, and that no serial number was
// given): how far the run has come.
TEST(RunvexRealWorker, AWindowRunsTwoThousandEmptyTestsAndServesItsEventsMeanwhile) {
    constexpr int kTests = 2000;
    constexpr int kLinesPerTest = 3;
    vrtest::TestApplication();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    vr::RegisterSystemProxies();
    {
        std::unique_ptr<vr::ui::GuiApartment> apartment;
        ASSERT_TRUE(SUCCEEDED(vr::ui::GuiApartment::Create(&apartment)));
        scripvanetest::ClassRegistration hardware(CLSID_VrRigmont,
                                                  &scripvanetest::FakeRigmont::CreateInstance);
        fs::path folder = fs::path(std::getenv("VORNIC_HOME")) / "Many";
        fs::create_directories(folder);
        std::ofstream(folder / "empty.JScript.ts").flush();
        std::ofstream sequence(folder / "many.tsq");
        sequence << "<sequence>\n";
        for (int i = 1; i <= kTests; ++i) {
            sequence << "<test name=\"Test " << i << "\"><code file=\""
                     << (folder / "empty.JScript.ts").string() << "\" language=\"JScript\"/></test>\n";
        }
        sequence << "</sequence>\n";
        sequence.close();

        TestExecutiveSequenceWorker worker;
        HANDLE progress = worker.ProgressEvent();
        RunvexWindow window(worker, worker.Languages(), [progress](int milliseconds) mutable {
            DWORD index = 0;
            // Signalled or not, the run looks at the worker again.
            (void)vr::ui::WaitPumping(static_cast<DWORD>(milliseconds), 1, &progress, &index);
        });
        window.show();
        ASSERT_TRUE(window.Form().Load((folder / "many.tsq").string()));
        ASSERT_EQ(window.Items().PreOrder().size(), size_t{kTests + 1});

        // The quarters of the run in which the window's timer and a posted call were served.
        std::set<int> tickQuarters;
        bool postedServedInRun = false;
        auto quarter = [&] {
            return (window.Output()->document()->blockCount() - 2) * 4 / (kTests * kLinesPerTest);
        };
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (window.Run().Running()) {
                tickQuarters.insert(quarter());
            }
        });
        timer.start(0);
        QMetaObject::invokeMethod(
            &window, [&] { postedServedInRun = window.Run().Running(); }, Qt::QueuedConnection);
        window.Command("Run")->trigger(); // returns when the run has ended
        timer.stop();

        EXPECT_TRUE(postedServedInRun);
        EXPECT_EQ(tickQuarters, (std::set<int>{0, 1, 2, 3}));
        // Every test's lines, then an empty line.
        EXPECT_EQ(window.Output()->document()->blockCount(), kTests * kLinesPerTest + 1);
        EXPECT_EQ(window.WidgetItemOf(*window.Items().PreOrder().back())->data(0, RunvexWindow::kImageRole),
                  static_cast<int>(TreeImage::Passed));
        EXPECT_EQ(window.statusBar()->currentMessage(), "Ready");
    }
    CoUninitialize();
}

} // namespace
} // namespace runvex
