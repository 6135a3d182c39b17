// The test executive's run state under an operator's hands, on the real worker, test engine, script
// executive and hardware manager, with its rows in a real results database: Run, Pause, Stop, a new serial
// number and Run again, and a Stop at every moment of a test, each row checked for the test, serial number
// and session that made it.
#include "TestRunTime/Runvex/RunvexWindow.h"
#include "TestRunTime/Runvex/TestExecutiveSequenceWorker.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/ado/ado.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/ui/gui_apartment.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

namespace runvex {
namespace {

namespace fs = std::filesystem;

struct Row {
    std::string testId, resultId, sn, session;
};

class RunStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        ASSERT_TRUE(SUCCEEDED(vr::ui::GuiApartment::Create(&apartment)));
        folder = fs::path(std::getenv("VORNIC_HOME")) / ("state-" + std::to_string(++round_));
        fs::create_directories(folder);
        dsn = (folder / "results.dsn").string();
        std::ofstream(dsn) << "[ODBC]\nDRIVER=SQLite3\nDatabase=" << (folder / "results.db").string()
                           << "\nTimeout=10000\n";
        ASSERT_TRUE(CVrConfigData().StoreItem("DSN", _bstr_t(dsn.c_str())));
    }
    void TearDown() override {
        vr::ui::DropModalAnswers();
        apartment.reset();
        CoUninitialize();
    }

    // Each test stores a row of its own in Test and takes a little while in each request.
    std::string WriteSequence(const std::vector<std::string>& names) {
        std::ofstream(folder / "step.JScript.ts")
            << "function Preset() { Delay(5); }\n"
               "function Test() { Delay(10); SaveResult(1, 'check', '', 1); Delay(10); return 'pass'; }\n"
               "function Reset() { Delay(5); }\n";
        std::ofstream sequence(folder / "steps.tsq");
        sequence << "<sequence>\n";
        for (const std::string& name : names) {
            sequence << "<test name=\"" << name << "\"><code file=\"" << (folder / "step.JScript.ts").string()
                     << "\" language=\"JScript\"/></test>\n";
        }
        sequence << "</sequence>\n";
        return (folder / "steps.tsq").string();
    }

    std::vector<Row> StoredRows() const {
        auto connection = vr::ado::Connection::Create();
        connection->Open(u"File Name=" + vr::FromUtf8(dsn) + u";");
        auto rows =
            connection->Execute(u"SELECT TestID,TestResultID,SN,ExecSession FROM TestResults ORDER BY rowid");
        std::vector<Row> result;
        for (; !rows->IsEOF(); rows->MoveNext()) {
            std::string fields[4];
            for (LONG i = 0; i < 4; ++i) {
                _variant_t value = rows->Fields(i).Value();
                fields[i] = value.vt == VT_NULL ? "" : _bstr_t(value).utf8();
            }
            result.push_back({fields[0], fields[1], fields[2], fields[3]});
        }
        return result;
    }

    static void TypeSerialNumber(RunvexWindow& window, const std::string& sn) {
        QLineEdit* edit = window.findChild<AttrValueEditor*>()->Combo()->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, QString::fromStdString(sn));
    }

    static std::unique_ptr<RunvexWindow> MakeWindow(TestExecutiveSequenceWorker& worker) {
        HANDLE progress = worker.ProgressEvent();
        auto window =
            std::make_unique<RunvexWindow>(worker, worker.Languages(), [progress](int milliseconds) mutable {
                DWORD index = 0;
                // Signalled or not, the run looks at the worker again.
                (void)vr::ui::WaitPumping(static_cast<DWORD>(milliseconds), 1, &progress, &index);
            });
        window->show();
        return window;
    }

    static inline int round_ = 0;
    std::unique_ptr<vr::ui::GuiApartment> apartment;
    fs::path folder;
    std::string dsn;
};

// The unit under test changes while the run is stopped: the first test of the next run stores its rows under
// its own name, the new serial number and a session of its own, with nothing of the stopped run.
TEST_F(RunStateTest, RunPauseStopANewSerialNumberAndRunFileEveryRowUnderTheTestThatMadeIt) {
    std::string sequence = WriteSequence({"First", "Second", "Third"});
    TestExecutiveSequenceWorker worker;
    std::unique_ptr<RunvexWindow> window = MakeWindow(worker);
    ASSERT_TRUE(window->Form().Load(sequence));
    TypeSerialNumber(*window, "UNIT-1");
    // Pause as the second test runs; once the run waits after it, Stop.
    SequenceItem* second = window->Items().PreOrder()[2];
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (second->image == TreeImage::Running && window->Command("Pause")->isEnabled()) {
            window->Command("Pause")->trigger();
        } else if (window->Run().Paused() && second->image == TreeImage::Passed) {
            window->Command("Stop")->trigger();
        }
    });
    operatorHand.start(5);
    window->Command("Run")->trigger(); // returns when the run has ended
    operatorHand.stop();
    TypeSerialNumber(*window, "UNIT-2");
    window->Command("Run")->trigger();

    std::vector<Row> rows = StoredRows();
    std::vector<std::string> seen;
    std::map<std::string, std::set<std::string>> sessions; // "<test> <sn>" -> its sessions
    for (const Row& row : rows) {
        seen.push_back(row.testId + " " + row.resultId + " " + row.sn);
        sessions[row.testId + " " + row.sn].insert(row.session);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"First check UNIT-1", "First  UNIT-1", "Second check UNIT-1",
                                              "Second  UNIT-1", "First check UNIT-2", "First  UNIT-2",
                                              "Second check UNIT-2", "Second  UNIT-2", "Third check UNIT-2",
                                              "Third  UNIT-2"}));
    for (const auto& [test, itsSessions] : sessions) {
        EXPECT_EQ(itsSessions.size(), 1u) << test << ": one run of a test has one session";
        EXPECT_FALSE(itsSessions.begin()->empty()) << test;
    }
    EXPECT_NE(sessions["First UNIT-1"], sessions["First UNIT-2"]);
    EXPECT_EQ(window->Run().State().Phase(), vrcommon::RunPhase::Idle);
}

// Stops at random moments of a two-test run, 200 times: before a test, in each of its requests, between its
// requests and after its last one. Every test that ran has its verdict row, once, under its own name and the
// run's serial number; a script row never lands under another run; no run hangs.
TEST_F(RunStateTest, AStopAtAnyMomentLosesAndMisfilesNoRow) {
    constexpr int kRuns = 200;
    std::string sequence = WriteSequence({"Alpha", "Beta"});
    TestExecutiveSequenceWorker worker;
    std::unique_ptr<RunvexWindow> window = MakeWindow(worker);
    ASSERT_TRUE(window->Form().Load(sequence));
    for (int box = 0; box < 2 * kRuns; ++box) {
        vr::ui::AnswerNextMessageBox(IDOK); // the interrupted test's "Error" box
    }
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delay(0, 110);   // a test takes some 40 ms
    std::map<std::string, std::set<std::string>> ended; // sn -> tests that ran to their end
    for (int run = 0; run < kRuns; ++run) {
        std::string sn = "UNIT-" + std::to_string(run);
        TypeSerialNumber(*window, sn);
        QTimer::singleShot(delay(random), window.get(), [&] { window->Command("Stop")->trigger(); });
        QElapsedTimer took;
        took.start();
        window->Command("Run")->trigger();
        ASSERT_LT(took.elapsed(), 30000) << "run " << run << " hung";
        for (SequenceItem* item : window->Items().PreOrder()) {
            if (item->element && item->image != TreeImage::NotRun) {
                ended[sn].insert(item->label);
            }
        }
        QTest::qWait(1); // a Stop that came after the run's end is served here, and changes nothing
        ASSERT_EQ(window->Run().State().Phase(), vrcommon::RunPhase::Idle);
    }
    std::map<std::string, std::set<std::string>> verdicts; // sn -> tests with a verdict row
    std::map<std::string, int> verdictRows;
    for (const Row& row : StoredRows()) {
        ASSERT_TRUE(row.testId == "Alpha" || row.testId == "Beta") << row.testId;
        ASSERT_TRUE(ended.count(row.sn)) << row.testId << " " << row.sn << ": a row of no run";
        EXPECT_TRUE(ended[row.sn].count(row.testId)) << row.testId << " " << row.sn << ": misfiled";
        if (row.resultId.empty()) {
            verdicts[row.sn].insert(row.testId);
            ++verdictRows[row.sn + " " + row.testId];
        }
    }
    EXPECT_EQ(verdicts, ended) << "a test that ran lost its verdict row";
    for (const auto& [test, count] : verdictRows) {
        EXPECT_EQ(count, 1) << test;
    }
}

} // namespace
} // namespace runvex
