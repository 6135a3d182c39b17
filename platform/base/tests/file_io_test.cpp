// Saving a file whole under real faults (links, read-only folders, a full disk, planted names) and reading
// input files that are no regular files.
#include "platform/base/file_read.h"
#include "platform/base/file_write.h"
#include "tests/support/file_faults.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using vrtest::FileBytes;
using vrtest::FolderNames;
using vrtest::PutFileBytes;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(WriteFileWhole, ReplacesTheFileKeepingItsModeAndLeavesNothingElse) {
    std::string folder = vrtest::MakeFreshFolder("save-plain");
    std::string file = folder + "/panel.pnx";
    PutFileBytes(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    vr::FileWriteResult saved = vr::WriteFileWhole(file, "new content");
    ASSERT_TRUE(saved) << saved.reason;
    EXPECT_EQ(FileBytes(file), "new content");
    EXPECT_EQ(ModeOf(file), 0640u);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"panel.pnx"});
}

// The link stays a link; the temporary file is made beside the target, so the link's own folder need not be
// writable.
TEST(WriteFileWhole, ThroughALinkReplacesItsTargetBesideTheTarget) {
    std::string links = vrtest::MakeFreshFolder("save-links");
    std::string targets = vrtest::MakeFreshFolder("save-targets");
    PutFileBytes(targets + "/board.tsq", "old");
    std::filesystem::create_symlink("../" + std::filesystem::path(targets).filename().string() + "/board.tsq",
                                    links + "/alias.tsq");
    std::filesystem::create_symlink(links + "/alias.tsq", links + "/alias2.tsq");
    ASSERT_EQ(::chmod(links.c_str(), 0555), 0);
    vr::FileWriteResult saved;
    {
        vrtest::PermissionsBind binding;
        saved = vr::WriteFileWhole(links + "/alias2.tsq", "new");
    }
    ASSERT_EQ(::chmod(links.c_str(), 0755), 0);
    ASSERT_TRUE(saved) << saved.reason;
    EXPECT_EQ(saved.writtenPath,
              links + "/../" + std::filesystem::path(targets).filename().string() + "/board.tsq");
    EXPECT_TRUE(std::filesystem::is_symlink(links + "/alias.tsq"));
    EXPECT_EQ(FileBytes(targets + "/board.tsq"), "new");
    EXPECT_EQ(FolderNames(targets), std::vector<std::string>{"board.tsq"});
}

// A writable file in a folder the user may not write: no temporary file can be made, and the file is never
// written in place instead.
TEST(WriteFileWhole, IntoAReadOnlyFolderIsRefusedWithTheReasonAndTheFileStays) {
    std::string folder = vrtest::MakeFreshFolder("save-readonly");
    std::string file = folder + "/adapter.daf";
    PutFileBytes(file, "the old adapter");
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    vr::FileWriteResult saved;
    {
        vrtest::PermissionsBind binding;
        saved = vr::WriteFileWhole(file, "x");
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_FALSE(saved);
    EXPECT_EQ(saved.error, EACCES);
    EXPECT_NE(saved.reason.find("no temporary file can be made in '" + folder + "'"), std::string::npos)
        << saved.reason;
    EXPECT_NE(saved.reason.find("the file is left as it was"), std::string::npos) << saved.reason;
    EXPECT_EQ(FileBytes(file), "the old adapter");

    // A read-only file in a folder that would let a rename replace it: left alone too.
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    {
        vrtest::PermissionsBind binding;
        saved = vr::WriteFileWhole(file, "x");
    }
    EXPECT_EQ(saved.error, EACCES) << saved.reason;
    EXPECT_EQ(FileBytes(file), "the old adapter");
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"adapter.daf"});
}

TEST(WriteFileWhole, OntoAFullDiskLeavesTheOldFileByteForByte) {
    std::string folder = vrtest::TestRoot() + "/small-disk";
    vrtest::SmallDisk disk(folder, 64 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.WhyNot();
    }
    std::string file = folder + "/board.tsq";
    std::string old(20000, 'o');
    ASSERT_TRUE(vr::WriteFileWhole(file, old));
    vr::FileWriteResult saved = vr::WriteFileWhole(file, std::string(100000, 'n'));
    EXPECT_FALSE(saved);
    EXPECT_EQ(saved.error, ENOSPC);
    EXPECT_EQ(FileBytes(file), old);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"board.tsq"});
    // What fits is saved whole.
    ASSERT_TRUE(vr::WriteFileWhole(file, std::string(30000, 'n')));
    EXPECT_EQ(FileBytes(file), std::string(30000, 'n'));
}

// Another user's link in a sticky folder everyone may write (as /tmp) is not followed, as the kernel would
// not follow it; and a name taken by a link or a file is never replaced by a new file.
TEST(WriteFileWhole, NeverFollowsPlantedLinksNorReplacesWhatANewFileFinds) {
    std::string shared = vrtest::MakeFreshFolder("save-shared");
    std::string victim = vrtest::MakeFreshFolder("save-victim") + "/precious";
    PutFileBytes(victim, "precious");
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    std::string planted = shared + "/board.tsq";
    std::filesystem::create_symlink(victim, planted);
    vr::FileWriteResult created = vr::WriteFileWhole(planted, "x", {vr::FileWriteMode::CreateNew, {}});
    EXPECT_EQ(created.error, EEXIST) << created.reason;
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
        vr::FileWriteResult saved = vr::WriteFileWhole(planted, "x");
        EXPECT_EQ(saved.error, EACCES);
        EXPECT_NE(saved.reason.find("is a link that another user put into a folder everyone may write"),
                  std::string::npos)
            << saved.reason;
    }
    EXPECT_EQ(FileBytes(victim), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(planted));

    std::string fifo = shared + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    vr::FileWriteResult onFifo = vr::WriteFileWhole(fifo, "x");
    EXPECT_NE(onFifo.reason.find("is a FIFO; it is not replaced"), std::string::npos) << onFifo.reason;
}

// A FIFO nobody writes and an endless device are refused at once; a file larger than the limit too.
TEST(ReadInputFile, RefusesWhatIsNoRegularFileOrTooLargeWithoutBlocking) {
    std::string folder = vrtest::MakeFreshFolder("read-inputs");
    std::string fifo = folder + "/code.js";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto start = std::chrono::steady_clock::now();
    std::string bytes;
    vr::FileReadResult read = vr::ReadInputFile(fifo, &bytes);
    EXPECT_TRUE(read.refused);
    EXPECT_EQ(read.reason, "'" + fifo + "' is a FIFO, not a file that can be read.");
    read = vr::ReadInputFile("/dev/zero", &bytes);
    EXPECT_TRUE(read.refused);
    EXPECT_EQ(read.reason, "'/dev/zero' is a device, not a file that can be read.");
    EXPECT_EQ(vr::ReadInputFile(folder, &bytes).error, EISDIR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    PutFileBytes(folder + "/big", std::string(2048, 'b'));
    read = vr::ReadInputFile(folder + "/big", &bytes, 2047);
    EXPECT_EQ(read.error, EFBIG);
    EXPECT_TRUE(bytes.empty());
    ASSERT_TRUE(vr::ReadInputFile(folder + "/big", &bytes, 2048));
    EXPECT_EQ(bytes.size(), 2048u);
    read = vr::ReadInputFile(folder + "/missing", &bytes);
    EXPECT_FALSE(read.refused);
    EXPECT_EQ(read.error, ENOENT);
}

} // namespace
