// The programs offscreen against hostile inputs, as a careless or hostile neighbour leaves them: a FIFO where
// a sequence, a code file or a panel should be, /dev/zero as a code file and as a panel's picture. Each
// program ends in time with an error that names the file and says why, instead of blocking or reading until
// memory runs out.
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr int kLimitSeconds = 60; // each run ends long before; the limit only keeps a hang from lasting

// The program offscreen, ended at the limit: its exit code (124 when the limit ended it) and all it wrote.
std::pair<int, std::string> RunOffscreen(const std::vector<std::string>& command) {
    std::string line = "QT_QPA_PLATFORM=offscreen timeout -k 5 " + std::to_string(kLimitSeconds);
    for (const std::string& word : command) {
        line += " " + vrtest::ShellQuoted(word);
    }
    return vrtest::RunShellCapturing(line);
}

class HostileInputs : public ::testing::Test {
protected:
    void SetUp() override {
        folder = vrtest::MakeFreshFolder("hostile");
        fifo = folder + "/nobody-writes";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(folder + "/" + name) << text;
        return folder + "/" + name;
    }
    std::string SequenceOf(const std::string& codeFile) {
        return Write("one.tsq", "<?xml version=\"1.0\"?>\n<sequence><test name=\"Rail\"><code file=\"" +
                                    codeFile + "\" language=\"JScript\"/></test></sequence>\n");
    }

    std::string folder;
    std::string fifo;
};

TEST_F(HostileInputs, TheTestExecutiveRefusesSpecialFilesAsSequenceAndCodeFile) {
    auto [code, output] = RunOffscreen({VR_RUNVEX, fifo});
    EXPECT_EQ(code, 3) << output; // not opened
    EXPECT_NE(output.find("'" + fifo + "' is a FIFO, not a file that can be read."), std::string::npos)
        << output;

    for (const std::string& special : {fifo, std::string("/dev/zero")}) {
        auto [ran, report] = RunOffscreen({VR_RUNVEX, SequenceOf(special)});
        EXPECT_EQ(ran, 2) << report; // the test ended in error
        EXPECT_NE(report.find("Couldn't open code file '" + special + "'. '" + special + "' is a "),
                  std::string::npos)
            << report;
    }
}

TEST_F(HostileInputs, TheControlPanelRefusesASpecialFileAsPanelOrPicture) {
    auto [code, output] = RunOffscreen({VR_PANOLIX, fifo, "/b"});
    EXPECT_EQ(code, 2) << output;
    EXPECT_NE(output.find("'" + fifo + "' is a FIFO, not a file that can be read."), std::string::npos)
        << output;

    std::string panel =
        Write("picture.pnx", "<panel language=\"JScript\" autorefresh=\"no\" refreshperiod=\"1\">"
                             "<script>function Preset() {}</script><objects><object type=\"picture\""
                             " x=\"0\" y=\"0\" width=\"100\" height=\"100\" description=\"Board\""
                             " file=\"/dev/zero\"><initscript/><setscript/><getscript/></object>"
                             "</objects></panel>");
    auto [ran, report] = RunOffscreen({VR_PANOLIX, panel, "/b"});
    EXPECT_EQ(ran, 2) << report;
    EXPECT_NE(report.find("'/dev/zero' is a device, not a file that can be read."), std::string::npos)
        << report;
}

// Numbers no window can hold: a graph as wide and as far out as an int reaches, a control wider still, and an
// old panel's refresh period of 0. The panel opens with them clamped, refreshes twice and passes, in time.
TEST_F(HostileInputs, TheControlPanelClampsNumbersOutOfEveryRange) {
    std::string panel = Write(
        "huge.pnx",
        "<panel language=\"JScript\" autorefresh=\"yes\" refreshperiod=\"0\"><script>var n = 0;\n"
        "function Preset() {}\nfunction Idle() { n = n + 1; if (n >= 2) engine.option('StopLoop') = 'true'; "
        "}\n"
        "</script><objects>"
        "<object type=\"graph\" x=\"2147483647\" y=\"-2147483648\" width=\"2147483647\" height=\"2147483647\""
        " description=\"Wide\"><initscript>var g = 0;</initscript><setscript/><getscript>g = g + "
        "1;</getscript>"
        "</object><object type=\"control\" x=\"10\" y=\"10\" width=\"99999999999999\" height=\"24\""
        " description=\"Volts\" format=\"\" spec=\"\" value=\"n\" parameters=\"\" paramvalues=\"\">"
        "<initscript/><setscript/><getscript/></object></objects></panel>");
    auto [code, output] = RunOffscreen({VR_PANOLIX, panel, "/b"});
    EXPECT_EQ(code, 1) << output; // passed
    // Under the sanitizers an overflowing sum aborts with exit code 1 too, which alone would read as passed.
    EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
}

} // namespace
