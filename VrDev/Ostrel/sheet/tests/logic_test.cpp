// The sheet's logic without widgets against the real hardware manager: choosing the adapter file (new from
// the blank template, not valid, then another), the connection records and the connection, the checks before
// leaving the General page, saving, and the rebuild when the sheet closes.
#include "VrDev/Ostrel/managers/tests/fixture.h"
#include "VrDev/Ostrel/sheet/GeneralPageModel.h"
#include "VrDev/Ostrel/sheet/RecordingMessages.h"
#include "VrDev/Ostrel/sheet/SheetClose.h"
#include "platform/base/text.h"

#include <filesystem>
#include <fstream>

namespace ostreltest {
namespace {

class SheetLogicTest : public ManagerTest {
protected:
    std::u16string Path(const char* name) const { return vr::FromUtf8(folder + "/" + name); }

    ostrel::RecordingMessages messages;
};

TEST_F(SheetLogicTest, ConnectionRecordsWithoutHiddenOnesAndTheChosenConnection) {
    SaveLoopback(u"Meter");
    SaveLoopback(u"_hidden");
    ostrel::SheetContext context(messages, rigmont.Get());
    ostrel::GeneralPageModel general(context);
    EXPECT_EQ(general.ConnectionNames(), std::vector<std::u16string>{u"Meter"});

    EXPECT_EQ(general.ConnectionChanged(u""), S_FALSE);
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_TRUE(FAILED(general.ConnectionChanged(u"Missing")));
    EXPECT_EQ(messages.LastText(), u"Couldn't create 'Missing' Connection.");
    EXPECT_EQ(messages.boxes.back().caption, u"Error");
    EXPECT_EQ(messages.boxes.back().type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(context.Connection(), nullptr);
    EXPECT_EQ(general.ConnectionChanged(u"Meter"), S_OK);
    EXPECT_NE(context.Connection(), nullptr);
}

TEST_F(SheetLogicTest, LeavingTheGeneralPageNeedsAFileAndAConnection) {
    SaveLoopback(u"Meter");
    ostrel::SheetContext context(messages, rigmont.Get());
    ostrel::GeneralPageModel general(context);
    EXPECT_FALSE(general.CanLeave());
    EXPECT_EQ(messages.LastText(), u"Device Adapter File is not specified!");
    ASSERT_EQ(general.Browse(Path("New.daf")), ostrel::BrowseResult::kChosen);
    EXPECT_FALSE(general.CanLeave());
    EXPECT_EQ(messages.LastText(), u"Device Connection is not specifed!");
    ASSERT_EQ(general.ConnectionChanged(u"Meter"), S_OK);
    size_t shown = messages.boxes.size();
    EXPECT_TRUE(general.CanLeave());
    EXPECT_EQ(messages.boxes.size(), shown);
}

TEST_F(SheetLogicTest, ANewFileComesFromTheBlankTemplateAndTheSheetKeepsIt) {
    ostrel::SheetContext context(messages, rigmont.Get());
    ostrel::GeneralPageModel general(context);
    EXPECT_TRUE(general.CanBrowse());
    ASSERT_EQ(general.Browse(Path("New.daf")), ostrel::BrowseResult::kChosen);
    EXPECT_TRUE(std::filesystem::exists(folder + "/New.daf"));
    EXPECT_EQ(general.PathText(), Path("New.daf"));
    EXPECT_FALSE(general.CanBrowse());
    std::vector<std::u16string> names;
    EXPECT_EQ(context.Document().GetOperationNames(names), S_OK); // the blank's document is loaded

    std::ofstream(folder + "/Other.daf") << "<definitions/>\n";
    EXPECT_EQ(general.Browse(Path("Other.daf")), ostrel::BrowseResult::kAlreadyChosen);
    EXPECT_EQ(context.FileName(), Path("New.daf"));
    EXPECT_TRUE(messages.boxes.empty());

    // A file that cannot be made says so, and no file is chosen.
    ostrel::SheetContext second(messages, rigmont.Get());
    ostrel::GeneralPageModel secondGeneral(second);
    EXPECT_EQ(secondGeneral.Browse(Path("no-such-folder/New.daf")), ostrel::BrowseResult::kNotCreated);
    EXPECT_EQ(messages.LastText(), u"Couldn't create file '" + Path("no-such-folder/New.daf") + u"'");
    EXPECT_FALSE(second.HasFile());
}

TEST_F(SheetLogicTest, AFileThatIsNotAnAdapterFileLeavesTheChoiceOpen) {
    ostrel::SheetContext context(messages, rigmont.Get());
    ostrel::GeneralPageModel general(context);
    std::ofstream(folder + "/Broken.daf") << "not xml at all\n";
    std::ofstream(folder + "/Panel.daf") << "<panel/>\n";
    for (const char* bad : {"Broken.daf", "Panel.daf"}) {
        EXPECT_EQ(general.Browse(Path(bad)), ostrel::BrowseResult::kNotValid);
        EXPECT_EQ(messages.LastText(), u"File '" + Path(bad) + u"' is not valid Device Adapter File.");
        EXPECT_EQ(general.PathText(), u"");
        EXPECT_TRUE(general.CanBrowse());
    }
    EXPECT_FALSE(general.CanLeave());
    EXPECT_EQ(messages.LastText(), u"Device Adapter File is not specified!"); // the bad file is not chosen
    std::filesystem::copy_file(VR_TEST_DATA "/plugmar_multimeter.daf", folder + "/Meter.daf");
    EXPECT_EQ(general.Browse(Path("Meter.daf")), ostrel::BrowseResult::kChosen);
    std::vector<std::u16string> names;
    ASSERT_EQ(context.Document().GetOperationNames(names), S_OK);
    EXPECT_FALSE(names.empty());
}

TEST_F(SheetLogicTest, SavingWritesTheFileAndAFailedSaveIsShown) {
    ostrel::SheetContext context(messages, rigmont.Get());
    EXPECT_TRUE(FAILED(context.SaveFile()));
    EXPECT_EQ(messages.LastText(), u"Error during saving '' file.");
    ASSERT_EQ(context.SetAdapterFile(vr::FromUtf8(VR_TEST_DATA "/plugmar_multimeter.daf")), S_OK);
    std::filesystem::copy_file(VR_TEST_DATA "/plugmar_multimeter.daf", folder + "/Meter.daf");

    ostrel::SheetContext sheet(messages, rigmont.Get());
    ASSERT_EQ(sheet.SetAdapterFile(Path("Meter.daf")), S_OK);
    ASSERT_EQ(sheet.Document().SetDeviceSetting(u"timeout", u"4321"), S_OK);
    size_t shown = messages.boxes.size();
    ASSERT_EQ(sheet.SaveFile(), S_OK);
    EXPECT_EQ(messages.boxes.size(), shown);
    CDeviceAdapterFile written(Path("Meter.daf").c_str());
    std::u16string timeout;
    ASSERT_EQ(written.GetDeviceSetting(u"timeout", &timeout), S_OK);
    EXPECT_EQ(timeout, u"4321");

    // The file's place taken by a folder: the save fails and says so.
    std::filesystem::remove(folder + "/Meter.daf");
    std::filesystem::create_directory(folder + "/Meter.daf");
    EXPECT_TRUE(FAILED(sheet.SaveFile()));
    EXPECT_EQ(messages.LastText(), u"Error during saving '" + Path("Meter.daf") + u"' file.");
}

TEST_F(SheetLogicTest, ClosingRebuildsOnlyAChosenFileAndShowsAFailure) {
    std::vector<std::u16string> rebuilt;
    ostrel::RebuildLibraries rebuild = [&rebuilt](const std::u16string& file, std::u16string*) {
        rebuilt.push_back(file);
        return S_OK;
    };
    ostrel::SheetContext empty(messages, rigmont.Get());
    EXPECT_EQ(ostrel::RebuildAfterClose(empty, rebuild), S_FALSE);
    EXPECT_TRUE(rebuilt.empty());

    ostrel::SheetContext context(messages, rigmont.Get());
    ASSERT_EQ(context.SetAdapterFile(vr::FromUtf8(VR_TEST_DATA "/plugmar_multimeter.daf")), S_OK);
    EXPECT_EQ(ostrel::RebuildAfterClose(context, rebuild), S_OK);
    EXPECT_EQ(rebuilt, std::vector<std::u16string>{context.FileName()});
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_TRUE(FAILED(ostrel::RebuildAfterClose(context, ostrel::RebuildNotAvailable)));
    EXPECT_EQ(messages.LastText(), u"The device libraries of '" + context.FileName() +
                                       u"' were not rebuilt: Device libraries cannot be rebuilt yet");
}

} // namespace
} // namespace ostreltest
