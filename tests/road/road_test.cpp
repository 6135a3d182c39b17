// One test from its script file to its verdict: the worker runs Preset, Test and Reset of a script that
// measures through a socket of the `rigmont` process over the VISA connection against the loopback
// instrument, recording the traffic; the output lines come with their statuses while it runs and the result
// row lands in the results database. The same test then runs again from the recorded traffic alone, with the
// instrument stopped.
#include "road_fixture.h"

#include "platform/base/text.h"

#include <filesystem>

namespace roadtest {
namespace {

const std::vector<OutputLine> kRoadOutput = {{5, u"Preset rail\n"}, {1, u"Rail5V = 4.98\n"}, {0, u"Reset\n"}};

TEST_F(RoadTest, ATestMeasuresThroughTheHardwareManagerAndReplaysFromItsRecording) {
    SaveLink(u"Connection:Simulation=Overwrite,Connection:SimulationFile=" + vr::FromUtf8(logFile));
    StartWorker();
    LoadScript(u"SN-0815");
    EXPECT_EQ(Run(u"Preset"), u"");
    EXPECT_EQ(Run(u"Test"), u"true");
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(Run(u"Reset"), u"");
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(output, kRoadOutput);
    const std::vector<Row> recorded = StoredRows();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0], (Row{u"Rail5V", u"4.98", u"Passed", u"rail voltage", u"SN-0815"}));

    // The worker lets the socket go, and with it the connection that wrote the recording.
    worker.reset();
    instrument.Stop();
    ASSERT_TRUE(std::filesystem::exists(logFile));
    SaveLink(u"Connection:Simulation=RandomRead,Connection:SimulationFile=" + vr::FromUtf8(logFile));
    output.clear();
    StartWorker();
    LoadScript(u"SN-0816");
    EXPECT_EQ(Run(u"Preset"), u"");
    EXPECT_EQ(Run(u"Test"), u"true");
    EXPECT_EQ(ErrorCode(), S_OK) << vr::ToUtf8(ErrorText());
    EXPECT_EQ(Run(u"Reset"), u"");
    EXPECT_EQ(output, kRoadOutput);
    const std::vector<Row> replayed = StoredRows();
    ASSERT_EQ(replayed.size(), 2u);
    EXPECT_EQ(replayed[1], (Row{u"Rail5V", u"4.98", u"Passed", u"rail voltage", u"SN-0816"}));
}

} // namespace
} // namespace roadtest
