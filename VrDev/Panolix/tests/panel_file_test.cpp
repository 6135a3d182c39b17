// The panel file's own settings read and written back, a new panel made from the blank one of its language,
// and the command line.
#include "VrDev/Panolix/PanelFile.h"
#include "VrDev/Panolix/PanolixCommandLine.h"
#include "common/config/VrConfigData.h"
#include "common/trace/Trace.h"
#include "common/trace/tests/trace_sink.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

namespace panolixtest {
namespace {

using namespace panolix;

std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = vrtest::MakeFreshFolder("panel") + "/" + name;
    std::ofstream(path) << text;
    return path;
}

std::string ReadFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(PanelFileTest, SettingsAreReadAndWrittenBackInTheirOwnForms) {
    std::string path =
        WriteFile("settings.pnx", "<panel language='JScript' autorefresh='TRUE' refreshperiod='3'>"
                                  "<script>function Preset() {}</script><objects/></panel>");
    std::u16string name = vr::FromUtf8(path);
    CXmlFile file(name.c_str());
    PanelSettings settings;
    std::string error;
    ASSERT_EQ(ReadPanelSettings(file, &settings, &error), S_OK);
    EXPECT_EQ(settings.language, "JScript");
    EXPECT_TRUE(settings.autoRefresh);
    EXPECT_EQ(settings.refreshPeriod, 3);
    EXPECT_EQ(settings.mainScript, "function Preset() {}");

    ASSERT_EQ(WritePanelSettings(file, settings), S_OK);
    ASSERT_EQ(file.Save(), S_OK);
    std::string saved = ReadFile(path);
    EXPECT_NE(saved.find("autorefresh=\"yes\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("refreshperiod=\"3\""), std::string::npos) << saved;

    // Anything but yes or true is off; a missing period leaves the one held; a missing script is empty.
    EXPECT_TRUE(IsAutoRefreshText("Yes"));
    EXPECT_FALSE(IsAutoRefreshText("on"));
    std::u16string bare = vr::FromUtf8(WriteFile("bare.pnx", "<panel autorefresh='1'/>"));
    CXmlFile bareFile(bare.c_str());
    PanelSettings held;
    held.refreshPeriod = 7;
    held.mainScript = "old";
    ASSERT_EQ(ReadPanelSettings(bareFile, &held, &error), S_OK);
    EXPECT_FALSE(held.autoRefresh);
    EXPECT_EQ(held.refreshPeriod, 7);
    EXPECT_EQ(held.mainScript, "");
    EXPECT_EQ(held.language, "");
}

// Older panels carry periods below 1 second: they open with the period clamped, and a trace line says why.
class PanelPeriodTest : public commontest::TracedTest {};

TEST_F(PanelPeriodTest, APeriodOutOfItsRangeIsClampedWithATraceAndOneThatIsNoWholeNumberRefused) {
    auto read = [](const char* period, PanelSettings* settings, std::string* error) {
        std::u16string path =
            vr::FromUtf8(WriteFile("period.pnx", std::string("<panel refreshperiod='") + period + "'/>"));
        CXmlFile file(path.c_str());
        return ReadPanelSettings(file, settings, error);
    };
    for (const char* period : {"1.5", "abc"}) {
        PanelSettings settings;
        std::string error;
        EXPECT_EQ(read(period, &settings, &error), E_INVALIDARG) << period;
        EXPECT_EQ(error,
                  std::string("The refresh period '") + period + "' is not a whole number of seconds.");
    }
    const std::pair<const char*, int> clamped[] = {{"0", 1}, {"-2", 1}, {"99999999999", 86400}, {"5", 5}};
    for (const auto& [period, seconds] : clamped) {
        PanelSettings settings;
        std::string error;
        ASSERT_EQ(read(period, &settings, &error), S_OK) << period;
        EXPECT_EQ(settings.refreshPeriod, seconds) << period;
    }
    std::vector<std::string> lines = Lines(TRACE_LEVEL_INFO);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "The panel's refresh period 0 is out of its range 1..86400; 1 is used."),
              lines.end());
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& line) { return line.starts_with("The panel's refresh period"); }),
        3);
}

TEST(PanelFileTest, ANewPanelIsACopyOfTheBlankPanelOfItsLanguageAndNeverOverwrites) {
    std::string blank = WriteFile("Blank.Lang.pnx", "<panel language='Lang'/>");
    CVrConfigData configuration;
    std::u16string item = vr::FromUtf8(blank.substr(0, blank.rfind('/')) + "/Blank.%1.pnx");
    _bstr_t itemText(item.c_str());
    ASSERT_TRUE(configuration.StoreItem("PnxBlankFile", itemText));
    EXPECT_EQ(BlankPanelFileFor("Lang"), blank);

    std::string target = WithPanelExtension(vrtest::MakeFreshFolder("new") + "/fresh");
    EXPECT_EQ(FileNameOf(target), "fresh.pnx");
    EXPECT_EQ(WithPanelExtension(target), target);
    ASSERT_TRUE(CopyBlankPanel(blank, target));
    EXPECT_EQ(ReadFile(target), "<panel language='Lang'/>");
    EXPECT_FALSE(CopyBlankPanel(blank, target));
    EXPECT_EQ(errno, EEXIST);
}

TEST(PanolixCommandLineTest, TheFirstFileIsThePanelAndOnlySlashBIsBatch) {
    PanolixCommandLine line = PanolixCommandLine::Parse({"/b", "/work/a panel.pnx", "second.pnx"});
    EXPECT_TRUE(line.batch);
    EXPECT_EQ(line.file, "/work/a panel.pnx");
    EXPECT_FALSE(PanolixCommandLine::Parse({"/bin/x.pnx"}).batch);
    EXPECT_TRUE(PanolixCommandLine::Parse({"x.pnx", "/B"}).batch);
    EXPECT_TRUE(PanolixCommandLine::Parse({"--help"}).help);
    EXPECT_EQ(PanolixCommandLine::Parse({"-x", "p.pnx"}).unknownArgument, "-x");
    EXPECT_EQ(PanolixCommandLine::Parse({"~/bench.pnx"}).file, vr::ExpandHomeFolder("~") + "/bench.pnx");
}

} // namespace
} // namespace panolixtest
