// Mapping of the system's paths, and the data home and runtime folders.
#include "platform/base/paths.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets an environment variable for the length of a scope, and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnvironment() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
    std::string folder = vr::ProgramFolder();
    EXPECT_EQ(folder, std::filesystem::canonical("/proc/self/exe").parent_path().string());
    EXPECT_NE(folder.back(), '/');
}

TEST(DataHome, ComesFromTheEnvironmentElseTheHomeFolder) {
    {
        ScopedEnvironment home("VORNIC_HOME", "/srv/station/");
        EXPECT_EQ(vr::DataHome(), "/srv/station");
    }
    ScopedEnvironment noHome("VORNIC_HOME", "");
    ScopedEnvironment userHome("HOME", "/home/operator");
    EXPECT_EQ(vr::DataHome(), "/home/operator/vornic");
}

TEST(ExpandHomeFolder, TakesATildeNameInTheHomeFolderAndLeavesOthers) {
    ScopedEnvironment userHome("HOME", "/home/operator");
    EXPECT_EQ(vr::ExpandHomeFolder("~/bench/rails.tsq"), "/home/operator/bench/rails.tsq");
    EXPECT_EQ(vr::ExpandHomeFolder("~"), "/home/operator");
    for (const char* kept : {"~other/x.tsq", "a~/b.tsq", "/abs/~/c.tsq", "rel.tsq", ""}) {
        EXPECT_EQ(vr::ExpandHomeFolder(kept), kept);
    }
}

struct MappingCase {
    const char* windows;
    const char* base; // "P" program folder, "D" data home, "" none
    const char* rest;
};

TEST(MapWindowsPath, MapsTheSystemsFolders) {
    ScopedEnvironment home("VORNIC_HOME", "/data/home");
    const std::string program = vr::ProgramFolder();
    const MappingCase cases[] = {
        {R"(C:\Ostrel\bin\Panolix.exe)", "P", "/panolix"},
        {R"(c:\ostrel\BIN\Tabrisk.DLL)", "P", "/libtabrisk.so"},
        {R"(C:\Ostrel\bin\Blank.JScript.ts)", "P", "/blank.jscript.ts"},
        {R"(C:\Ostrel\bin\Sub\Tool.EXE)", "P", "/sub/tool"},
        {R"(C:\Ostrel\bin)", "P", ""},
        {R"(C:\Ostrel\bin\)", "P", "/"},
        {R"(C:\Ostrel\Test\a.ts)", "D", "/Test/a.ts"},
        {R"(C:/Ostrel/Adapter/Dev.daf)", "D", "/Adapter/Dev.daf"},
        {R"(C:\OSTREL\Test\Run.DLL)", "D", "/Test/Run.DLL"},
        {R"(C:\Ostrel\Test\)", "D", "/Test/"},
        {R"(C:\Ostrel)", "D", ""},
        {R"(D:\Data\x.csv)", "D", "/Data/x.csv"},
        {R"(D:\Ostrel\bin\x.exe)", "D", "/Ostrel/bin/x.exe"},
        {R"(C:\Other\x)", "D", "/Other/x"},
        {R"(\Ostrel\Test\a.ts)", "D", "/Test/a.ts"},
        {R"(C:\Ostrel\Test\.\sub\\x.ts)", "D", "/Test/sub/x.ts"},
        {R"(C:\Ostrel\Test\..\bin\Scrivon.exe)", "P", "/scrivon"},
        {R"(C:\Ostrel\Test\..\..\..\etc\passwd)", "D", "/etc/passwd"},
        {R"(C:\Ostrel\bin\..\..\..\x)", "D", "/x"},
        {R"(/usr/share/x\y)", "", "/usr/share/x/y"},
        {R"(Test\a.ts)", "", "Test/a.ts"},
        {R"(..\up.ts)", "", "../up.ts"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string base = c.base[0] == 'P' ? program : c.base[0] == 'D' ? "/data/home" : "";
        EXPECT_EQ(vr::MapWindowsPath(std::string_view(c.windows)), base + c.rest) << c.windows;
    }
}

TEST(MapWindowsPath, WideTextKeepsNonAsciiNames) {
    ScopedEnvironment home("VORNIC_HOME", "/data/home");
    EXPECT_EQ(vr::MapWindowsPath(std::u16string_view(u"C:\\Ostrel\\Test\\\u00c9t\u00e9.ts")),
              u"/data/home/Test/\u00c9t\u00e9.ts");
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

TEST(RuntimeFolder, IsMadePrivateUnderTheRuntimeDirectory) {
    std::string root = vrtest::MakeFreshFolder("runtime");
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", root.c_str());
    EXPECT_EQ(vr::RuntimeFolder(), root + "/vornic");
    EXPECT_EQ(ModeOf(root + "/vornic"), 0700u);
    EXPECT_EQ(vr::RuntimeFolder(), root + "/vornic"); // a second call finds it

    chmod((root + "/vornic").c_str(), 0755);
    EXPECT_EQ(vr::RuntimeFolder(), root + "/vornic");
    EXPECT_EQ(ModeOf(root + "/vornic"), 0700u);
}

TEST(RuntimeFolder, RefusesAPlaceTakenByALinkOrAFile) {
    std::string root = vrtest::MakeFreshFolder("runtime");
    std::string elsewhere = vrtest::MakeFreshFolder("elsewhere");
    ASSERT_EQ(symlink(elsewhere.c_str(), (root + "/vornic").c_str()), 0);
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", root.c_str());
    EXPECT_EQ(vr::RuntimeFolder(), "");

    std::string fileRoot = vrtest::MakeFreshFolder("runtime");
    std::filesystem::path file = std::filesystem::path(fileRoot) / "vornic";
    { std::ofstream(file.string()) << "x"; }
    ScopedEnvironment fileRuntime("XDG_RUNTIME_DIR", fileRoot.c_str());
    EXPECT_EQ(vr::RuntimeFolder(), "");
}

TEST(RuntimeFolder, FallsBackToAFolderOfTheUserInTmp) {
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnvironment tmp("TMPDIR", nullptr);
    ScopedEnvironment home("HOME", vrtest::MakeFreshFolder("home").c_str());
    std::string expected = "/tmp/vornic-" + std::to_string(getuid());
    EXPECT_EQ(vr::RuntimeFolder(), expected);
    EXPECT_EQ(ModeOf(expected), 0700u);
}

// Without XDG_RUNTIME_DIR, someone who takes the user's name in the temporary folder first cannot deny the
// station its runtime folder: it moves to a private folder under the user's home, and stays there for every
// process of the user even when the name in the temporary folder is given up.
TEST(RuntimeFolder, TakenInTmpItMovesUnderTheHomeForGood) {
    std::string tmp = vrtest::MakeFreshFolder("tmp");
    std::string home = vrtest::MakeFreshFolder("home");
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnvironment tmpdir("TMPDIR", tmp.c_str());
    ScopedEnvironment homeVariable("HOME", home.c_str());
    ScopedEnvironment cache("XDG_CACHE_HOME", nullptr);
    std::string taken = tmp + "/vornic-" + std::to_string(getuid());
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    std::string moved = home + "/.cache/vornic-runtime-" + host;
    if (getuid() == 0) { // another user's folder, as they would leave it
        ASSERT_EQ(mkdir(taken.c_str(), 0777), 0);
        ASSERT_EQ(chown(taken.c_str(), 65534, 65534), 0);
        EXPECT_EQ(vr::RuntimeFolder(), moved);
        ASSERT_EQ(rmdir(taken.c_str()), 0);
        ASSERT_EQ(rmdir(moved.c_str()), 0);
    }
    ASSERT_EQ(symlink(vrtest::MakeFreshFolder("elsewhere").c_str(), taken.c_str()), 0);
    EXPECT_EQ(vr::RuntimeFolder(), moved);
    EXPECT_EQ(ModeOf(moved), 0700u);
    EXPECT_EQ(ModeOf(home + "/.cache"), 0700u);

    ASSERT_EQ(unlink(taken.c_str()), 0);
    EXPECT_EQ(vr::RuntimeFolder(), moved);
    EXPECT_FALSE(std::filesystem::exists(taken));
}

} // namespace
