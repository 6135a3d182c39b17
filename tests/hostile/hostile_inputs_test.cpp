// The programs offscreen against hostile inputs, as a careless or hostile neighbour leaves them: a FIFO where
// a sequence, a code file or a panel should be, /dev/zero as a code file and as a panel's picture. Each
// program ends in time with an error that names the file and says why, instead of blocking or reading until
// memory runs out. Also a station without a display, and a newcomer's first mistakes.
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
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

// Over ssh, from a service or a CI job: no display, or one that does not answer, and no QT_QPA_PLATFORM. Each
// program says once that it runs offscreen and reaches its verdict with its exit code; the studio, which is
// nothing but a window, says that it needs a display and ends with 69.
TEST_F(HostileInputs, TheProgramsRunOffscreenWhereNoDisplayAnswers) {
    std::string pass = Write("pass.JScript.ts", "function Test() { return 'pass'; }\n");
    std::string sequence = Write("pass.tsq", "<sequence><test name=\"Rail\"><code file=\"" + pass +
                                                 "\" language=\"JScript\"/></test></sequence>\n");
    std::string panel =
        Write("pass.pnx", "<panel language=\"JScript\" autorefresh=\"yes\" refreshperiod=\"1\">"
                          "<script>function Preset() {}\nfunction Idle() { "
                          "engine.option('StopLoop') = 'true'; }</script><objects/></panel>");
    // The display :9731 is nobody's (no test starts an X server there).
    for (const std::string& display : {std::string("unset DISPLAY"), std::string("export DISPLAY=:9731")}) {
        std::string environment = "unset WAYLAND_DISPLAY QT_QPA_PLATFORM; " + display + "; cd " +
                                  vrtest::ShellQuoted(folder) + "; timeout -k 5 60 ";
        auto [code, output] = vrtest::RunShellCapturing(environment + VR_RUNVEX + " pass.tsq");
        EXPECT_EQ(code, 0) << display << output;
        EXPECT_NE(output.find("summary: 1 passed, 0 failed, 0 error; not run: none"), std::string::npos)
            << output;
        size_t said = output.find("running without a window (offscreen)");
        EXPECT_NE(said, std::string::npos) << output;
        EXPECT_EQ(output.find("running without a window", said + 1), std::string::npos) << output; // once
        EXPECT_EQ(output.find("propagateSizeHints"), std::string::npos) << output;

        std::tie(code, output) = vrtest::RunShellCapturing(environment + VR_PANOLIX + " pass.pnx /b");
        EXPECT_EQ(code, 1) << display << output; // passed

        std::tie(code, output) = vrtest::RunShellCapturing(
            environment + VR_SCRIVON + " >scrivon.txt 2>&1 & scrivon=$!; timeout -k 5 60 " +
            VR_SCRIVON_DRIVE + " pass.JScript.ts; code=$?; kill $scrivon; wait $scrivon; exit $code");
        EXPECT_EQ(code, 0) << display << output; // passed

        std::tie(code, output) = vrtest::RunShellCapturing(environment + VR_OSTREL);
        EXPECT_EQ(code, 69) << display << output;
        EXPECT_NE(output.find("ostrel: the studio is a window and needs a display"), std::string::npos)
            << output;
    }
}

// A newcomer's first tries: a sequence file that is no XML names the parser's line, column and reason; a run
// that stops at a failed test ends with one summary line naming the test it left unrun; a panel whose
// picture cannot be read (missing, or no picture) is not passed, however its loop ends.
TEST_F(HostileInputs, FirstTryMistakesNameTheirCauseWithTheDocumentedExitCodes) {
    auto [code, output] = RunOffscreen({VR_RUNVEX, Write("notxml.tsq", "rail: 5 V\n")});
    EXPECT_EQ(code, 3) << output; // not opened
    EXPECT_NE(output.find("notxml.tsq'.\nThe file is not well-formed XML: line 1, column 1: "),
              std::string::npos)
        << output;

    std::string fail = Write("fail.JScript.ts", "function Test() { return 'fail'; }\n");
    std::string sequence =
        Write("two.tsq", "<sequence><test name=\"Rail\"><code file=\"" + fail +
                             "\" language=\"JScript\"/></test><test name=\"Standby\"><code file=\"" + fail +
                             "\" language=\"JScript\"/></test></sequence>\n");
    auto [failed, report] = RunOffscreen({VR_RUNVEX, sequence});
    EXPECT_EQ(failed, 1) << report;
    EXPECT_NE(report.find("summary: 0 passed, 1 failed, 0 error; not run: Standby\n"), std::string::npos)
        << report;

    for (const std::string& picture : {folder + "/missing.png", Write("text.png", "no picture")}) {
        std::string panel =
            Write("passing.pnx", "<panel language=\"JScript\" autorefresh=\"yes\" "
                                 "refreshperiod=\"1\"><script>function Preset() {}\n"
                                 "function Idle() { engine.option('StopLoop') = 'true'; "
                                 "}</script><objects><object type=\"picture\""
                                 " x=\"0\" y=\"0\" width=\"10\" height=\"10\" description=\"Board\" file=\"" +
                                     picture +
                                     "\"><initscript/><setscript/><getscript/></object></objects></panel>");
        auto [ran, said] = RunOffscreen({VR_PANOLIX, panel, "/b"});
        EXPECT_EQ(ran, 2) << said; // not passed
        EXPECT_NE(said.find("Couldn't load image file: '" + picture + "'"), std::string::npos) << said;
    }
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
