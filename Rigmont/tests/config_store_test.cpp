// The configuration store through the manager: records merged over "_default", record names, saving,
// replacing and removing records, and stores that cannot be read.
#include "rigmont_fixture.h"

#include "common/config/VrConfigData.h"
#include "platform/base/paths.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/com/variant.h"
#include "platform/registry/registry.h"
#include "tests/support/file_faults.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace rigmonttest {
namespace {

using StoreTest = RigmontTest;

TEST_F(StoreTest, RecordMergesOverDefaultAndJoinsSetupStrings) {
    UseStore(StandardStore());
    Bstr server, resource, setup;
    ASSERT_EQ(manager_->LoadRecord(Bstr(u"connection"), Bstr(u"Meter"), Bstr(u"Trace=1"), server.ptr(),
                                   resource.ptr(), setup.ptr()),
              S_OK);
    EXPECT_EQ(server.str(), u"RigmontTest.Connection");
    EXPECT_EQ(resource.str(), u"TCPIP0::127.0.0.1::5025::SOCKET");
    EXPECT_EQ(setup.str(), u"Connection:Simulation=Off,VISA:Timeout=3000,Trace=1");

    // Empty parts are skipped, without a stray comma; a null supplement counts as empty.
    Bstr server2, resource2, setup2;
    ASSERT_EQ(manager_->LoadRecord(Bstr(u"connection"), Bstr(u"ASRL1::INSTR"), Bstr(), server2.ptr(),
                                   resource2.ptr(), setup2.ptr()),
              S_OK);
    EXPECT_EQ(setup2.str(), u"Connection:Simulation=Off");
    EXPECT_TRUE(resource2.isNull()) << "no Resource anywhere leaves the caller's value";
}

TEST_F(StoreTest, ValuesMissingEverywhereKeepTheCallersPresets) {
    UseStore(R"(<ConfigStore><connections><connection name="Bare"/></connections></ConfigStore>)");
    Bstr server(u"preset server"), resource(u"preset resource"), setup(u"preset setup");
    ASSERT_EQ(manager_->LoadRecord(Bstr(u"connection"), Bstr(u"Bare"), Bstr(u""), server.ptr(),
                                   resource.ptr(), setup.ptr()),
              S_OK);
    EXPECT_EQ(server.str(), u"preset server");
    EXPECT_EQ(resource.str(), u"preset resource");
    EXPECT_EQ(setup.str(), u"preset setup");
}

TEST_F(StoreTest, UnknownRecordFailsEvenWithADefaultRecord) {
    UseStore(StandardStore());
    Bstr server(u"kept"), resource, setup;
    EXPECT_EQ(manager_->LoadRecord(Bstr(u"connection"), Bstr(u"X"), Bstr(u""), server.ptr(), resource.ptr(),
                                   setup.ptr()),
              DISP_E_UNKNOWNNAME);
    EXPECT_NE(ErrorDescription().find(u"'X' connection wasn't found in the ConfigStore File."),
              std::u16string::npos);
    EXPECT_EQ(server.str(), u"kept");
    EXPECT_TRUE(setup.isNull());
}

TEST_F(StoreTest, RecordNamesLeaveOutDefaultInAnyCase) {
    UseStore(R"(<ConfigStore><connections><connection name="_DEFAULT"/><connection name="A"/>)"
             R"(<connection name="B"/></connections><sockets><socket name="S1"/><socket name="S2"/>)"
             R"(</sockets></ConfigStore>)");
    EXPECT_EQ(RecordNames(u"connection"), (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(RecordNames(u"socket"), (std::vector<std::u16string>{u"S1", u"S2"}));
    EXPECT_TRUE(RecordNames(u"device").empty());
}

TEST_F(StoreTest, SaveAppendsNewRecordsAndReplacesExistingOnesInPlace) {
    UseStore(StandardStore());
    ASSERT_EQ(
        manager_->SaveRecord(Bstr(u"connection"), Bstr(u"New"), Bstr(u"P.1"), Bstr(u"ASRL2::INSTR"), Bstr()),
        S_OK);
    EXPECT_EQ(RecordNames(u"connection"), (std::vector<std::u16string>{u"Meter", u"ASRL1::INSTR", u"New"}));
    ASSERT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(u"Meter"), Bstr(), Bstr(u"GPIB0::3::INSTR"),
                                   Bstr(u"A=1")),
              S_OK);
    EXPECT_EQ(RecordNames(u"connection"), (std::vector<std::u16string>{u"Meter", u"ASRL1::INSTR", u"New"}));

    // The replaced record has exactly the saved values: a null server is an empty element, which overrides
    // the "_default" server with an empty text.
    Bstr server, resource, setup;
    ASSERT_EQ(manager_->LoadRecord(Bstr(u"connection"), Bstr(u"Meter"), Bstr(u""), server.ptr(),
                                   resource.ptr(), setup.ptr()),
              S_OK);
    EXPECT_EQ(server.str(), u"");
    EXPECT_EQ(resource.str(), u"GPIB0::3::INSTR");
    EXPECT_EQ(setup.str(), u"Connection:Simulation=Off,A=1");
    // The file was written: a new manager reads the same records.
    MakeManager(storePath_);
    EXPECT_EQ(RecordNames(u"connection"), (std::vector<std::u16string>{u"Meter", u"ASRL1::INSTR", u"New"}));
}

TEST_F(StoreTest, RemoveTakesOutOnlyItsRecordAndAMissingOneChangesNothing) {
    UseStore(StandardStore());
    ASSERT_EQ(manager_->RemoveRecord(Bstr(u"connection"), Bstr(u"Meter")), S_OK);
    EXPECT_EQ(RecordNames(u"connection"), (std::vector<std::u16string>{u"ASRL1::INSTR"}));
    std::string before = StoreBytes();
    EXPECT_EQ(manager_->RemoveRecord(Bstr(u"connection"), Bstr(u"NotThere")), S_OK);
    EXPECT_EQ(StoreBytes(), before);
    // Saving with all three values null is removing.
    ASSERT_EQ(manager_->SaveRecord(Bstr(u"socket"), Bstr(u"Dmm"), Bstr(), Bstr(), Bstr()), S_OK);
    EXPECT_EQ(RecordNames(u"socket"), (std::vector<std::u16string>{u"Orphan"}));
}

TEST_F(StoreTest, TypeWithoutContainerCannotBeSaved) {
    UseStore(StandardStore());
    std::string before = StoreBytes();
    EXPECT_EQ(manager_->SaveRecord(Bstr(u"device"), Bstr(u"D"), Bstr(u"P"), Bstr(u"R"), Bstr(u"")),
              E_INVALIDARG);
    EXPECT_NE(ErrorDescription().find(u"Wrong RecordType 'device' for Configuration Store '" +
                                      vr::FromUtf8(storePath_) + u"'."),
              std::u16string::npos);
    EXPECT_EQ(StoreBytes(), before);
}

// Names are quoted for the query, so a name with apostrophes or quotes addresses exactly its own record and
// can never widen the selection to other records.
TEST_F(StoreTest, NamesWithQuotesAddressOnlyTheirOwnRecord) {
    UseStore(StandardStore());
    const std::u16string tricky[] = {u"O'Brien", u"x' or @name != '", u"say \"hi\" it's"};
    for (const std::u16string& name : tricky) {
        ASSERT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(name), Bstr(u"P"), Bstr(name), Bstr(u"")),
                  S_OK)
            << vr::ToUtf8(name);
    }
    EXPECT_EQ(RecordNames(u"connection"),
              (std::vector<std::u16string>{u"Meter", u"ASRL1::INSTR", tricky[0], tricky[1], tricky[2]}));
    for (const std::u16string& name : tricky) {
        Bstr server, resource, setup;
        ASSERT_EQ(manager_->LoadRecord(Bstr(u"connection"), Bstr(name), Bstr(u""), server.ptr(),
                                       resource.ptr(), setup.ptr()),
                  S_OK);
        EXPECT_EQ(resource.str(), name);
    }
    ASSERT_EQ(manager_->RemoveRecord(Bstr(u"connection"), Bstr(tricky[1])), S_OK);
    EXPECT_EQ(RecordNames(u"connection"),
              (std::vector<std::u16string>{u"Meter", u"ASRL1::INSTR", tricky[0], tricky[2]}));
}

// A record type is part of the query's path: one that is no element name would be read as XPath and reach
// other containers, so it has no records and cannot be saved.
TEST_F(StoreTest, TypesThatAreNoElementNamesReachNothing) {
    UseStore(StandardStore());
    const std::u16string types[] = {u"connection|/ConfigStore/socket", u"connection'", u"", u"socket/.."};
    std::string before = StoreBytes();
    for (const std::u16string& type : types) {
        EXPECT_TRUE(RecordNames(type).empty()) << vr::ToUtf8(type);
        Bstr server, resource, setup;
        EXPECT_EQ(manager_->LoadRecord(Bstr(type), Bstr(u"Dmm"), Bstr(u""), server.ptr(), resource.ptr(),
                                       setup.ptr()),
                  DISP_E_UNKNOWNNAME);
        EXPECT_EQ(manager_->SaveRecord(Bstr(type), Bstr(u"Dmm"), Bstr(u"P"), Bstr(u"R"), Bstr(u"")),
                  E_INVALIDARG);
        EXPECT_EQ(manager_->RemoveRecord(Bstr(type), Bstr(u"Dmm")), E_INVALIDARG);
    }
    EXPECT_EQ(StoreBytes(), before);
}

// Another program (or a hand with an editor) changes the store while the manager has it loaded: its record
// can be loaded at once, and a save merges the one record into the file as it is then, keeping the other's.
TEST_F(StoreTest, ChangesByOthersAreSeenAtOnceAndKeptBySaves) {
    UseStore(StandardStore());
    EXPECT_EQ(RecordNames(u"socket").size(), 2u);
    std::string theirs = StandardStore();
    theirs.insert(theirs.find("\t</sockets>"),
                  "\t\t<socket name=\"Theirs\"><Resource>Meter</Resource></socket>\n");
    WriteStore(theirs);
    Bstr server, resource, setup;
    ASSERT_EQ(manager_->LoadRecord(Bstr(u"socket"), Bstr(u"Theirs"), Bstr(u""), server.ptr(), resource.ptr(),
                                   setup.ptr()),
              S_OK);
    EXPECT_EQ(resource.str(), u"Meter");

    // Edited again, and a record saved without any read in between.
    theirs.insert(theirs.find("\t</connections>"), "\t\t<connection name=\"Hand\"/>\n");
    WriteStore(theirs);
    ASSERT_EQ(manager_->SaveRecord(Bstr(u"socket"), Bstr(u"Mine"), Bstr(u"P"), Bstr(u"R"), Bstr(u"")), S_OK);
    EXPECT_EQ(RecordNames(u"socket"), (std::vector<std::u16string>{u"Dmm", u"Orphan", u"Theirs", u"Mine"}));
    EXPECT_EQ(RecordNames(u"connection"), (std::vector<std::u16string>{u"Meter", u"ASRL1::INSTR", u"Hand"}));
    MakeManager(storePath_);
    EXPECT_EQ(RecordNames(u"socket"), (std::vector<std::u16string>{u"Dmm", u"Orphan", u"Theirs", u"Mine"}));
}

TEST_F(StoreTest, MissingOrMalformedStoreFailsEveryRecordOperation) {
    MakeManager(folder_ + "/absent.cfs");
    VARIANT names;
    VariantInit(&names);
    HRESULT missing = manager_->GetRecordNames(Bstr(u"connection"), &names);
    EXPECT_TRUE(FAILED(missing));
    EXPECT_FALSE(ErrorDescription().empty());
    EXPECT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(u"A"), Bstr(u"P"), Bstr(u"R"), Bstr(u"")),
              missing);
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/absent.cfs"));

    UseStore("<ConfigStore><connections>");
    Bstr server, resource, setup;
    HRESULT malformed = manager_->LoadRecord(Bstr(u"connection"), Bstr(u"A"), Bstr(u""), server.ptr(),
                                             resource.ptr(), setup.ptr());
    EXPECT_TRUE(FAILED(malformed));
    EXPECT_NE(malformed, DISP_E_UNKNOWNNAME);
    vr::ComPtr<IVrConnection> made;
    EXPECT_EQ(manager_->CreateConnection(Bstr(u"A"), Missing(), made.Put()), malformed);
    EXPECT_FALSE(made);
    EXPECT_TRUE(FakeProviders::connectionInits.empty());
}

TEST_F(StoreTest, UnwritableStoreFailsTheSaveWithTheSystemsWordsAndStaysAsTheFileHasIt) {
    // The save writes a sibling file and renames it over the store: in a folder the user may not write, that
    // sibling cannot be made, while the store itself reads well (and is never written in place instead).
    UseStore(StandardStore());
    std::string before = StoreBytes();
    ASSERT_EQ(RecordNames(u"connection").size(), 2u); // loaded
    std::string folder = std::filesystem::path(storePath_).parent_path().string();
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    vrtest::PermissionsBind binding; // the superuser's too, until the folder is writable again
    HRESULT hr = manager_->SaveRecord(Bstr(u"connection"), Bstr(u"New"), Bstr(u"P"), Bstr(u"R"), Bstr(u""));
    std::u16string description = ErrorDescription();
    // The failure is the write's own, in the system's words, with the file.
    EXPECT_EQ(hr, vr::HResultFromErrno(EACCES));
    EXPECT_NE(description.find(u"Can't save the Configuration Store file '" + vr::FromUtf8(storePath_) +
                               u"'. Permission denied."),
              std::u16string::npos)
        << vr::ToUtf8(description);
    EXPECT_EQ(StoreBytes(), before);
    // The change that was not saved is not used either: the store is what its file holds.
    EXPECT_EQ(RecordNames(u"connection"), (std::vector<std::u16string>{u"Meter", u"ASRL1::INSTR"}));
    EXPECT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(u"New"), Bstr(u"P"), Bstr(u"R"), Bstr(u"")), hr);

    // A save that changes nothing needs no write, so it succeeds on a store this user cannot write; so does
    // removing a record that is not there. A missing child is not an empty one: that record is written.
    std::string meter = "TCPIP0::127.0.0.1::5025::SOCKET";
    EXPECT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(u"Meter"), Bstr(u""), Bstr(meter),
                                   Bstr(u"VISA:Timeout=3000")),
              hr);
    EXPECT_EQ(manager_->RemoveRecord(Bstr(u"connection"), Bstr(u"Absent")), S_OK);
    EXPECT_EQ(StoreBytes(), before);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
}

TEST_F(StoreTest, ASaveThatChangesNothingLeavesTheFileAlone) {
    UseStore(StandardStore());
    std::string meter = "TCPIP0::127.0.0.1::5025::SOCKET";
    ASSERT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(u"Meter"), Bstr(u"P"), Bstr(meter), Bstr(u"")),
              S_OK);
    struct stat before {};
    ASSERT_EQ(::stat(storePath_.c_str(), &before), 0);
    EXPECT_EQ(manager_->SaveRecord(Bstr(u"connection"), Bstr(u"Meter"), Bstr(u"P"), Bstr(meter), Bstr(u"")),
              S_OK);
    struct stat after {};
    ASSERT_EQ(::stat(storePath_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino); // a save writes a new file and renames it into place
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(StoreTest, DefaultStoreOfTheProgramFolderServesANewStation) {
    // The configuration item's default names the store the build puts into the program folder; an earlier
    // test of this process may have changed the item.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Vornic\\Config", 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    (void)RegDeleteValue(key, u"ConfigStoreFile"); // absent already is as good
    RegCloseKey(key);
    CVrConfigData config;
    BSTR path = nullptr;
    ASSERT_TRUE(config.GetItem("ConfigStoreFile", &path, true));
    std::string defaultPath = vr::BstrToUtf8(path);
    SysFreeString(path);
    EXPECT_EQ(defaultPath, vr::ProgramFolder() + "/HwConfigStore.cfs");
    ASSERT_TRUE(std::filesystem::exists(defaultPath)) << defaultPath;
    // The build's copy may hold records that a user saved since (scripts/demo saves one): a new station is
    // served by the store as the build ships it.
    std::ifstream shipped(VR_SHIPPED_STORE, std::ios::binary);
    UseStore(std::string(std::istreambuf_iterator<char>(shipped), std::istreambuf_iterator<char>()));
    EXPECT_TRUE(RecordNames(u"connection").empty());
    EXPECT_TRUE(RecordNames(u"socket").empty());
    Bstr server, resource(u"ASRL1::INSTR"), setup;
    ASSERT_EQ(manager_->LoadRecord(Bstr(u"connection"), Bstr(u"_default"), Bstr(u""), server.ptr(),
                                   resource.ptr(), setup.ptr()),
              S_OK);
    EXPECT_EQ(server.str(), u"Vornic.CnVISA");
    EXPECT_EQ(resource.str(), u"ASRL1::INSTR");
    ASSERT_EQ(manager_->LoadRecord(Bstr(u"socket"), Bstr(u"_default"), Bstr(u""), server.ptr(),
                                   resource.ptr(), setup.ptr()),
              S_OK);
    EXPECT_EQ(server.str(), u"Vornic.Socket");
}

} // namespace
} // namespace rigmonttest
