// errno values of real failing calls as Windows error codes and HRESULTs, and the codes' texts.
#include "platform/base/program_conventions.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/base/win32errors.h"
#include "platform/com/hresult.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(Win32ErrorFromErrno, MapsTheCommonFailures) {
    struct Case {
        int err;
        DWORD code;
    };
    const Case cases[] = {
        {0, ERROR_SUCCESS},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {EEXIST, ERROR_ALREADY_EXISTS},
        {ENOSPC, ERROR_DISK_FULL},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EBADF, ERROR_INVALID_HANDLE},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {EBUSY, ERROR_BUSY},
        {ETIMEDOUT, ERROR_TIMEOUT},
        {ECONNREFUSED, ERROR_CONNECTION_REFUSED},
        {ECONNRESET, WSAECONNRESET},
        {EPIPE, ERROR_BROKEN_PIPE},
        {EIO, ERROR_GEN_FAILURE},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
        {EAGAIN, ERROR_RETRY},
        {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
        {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
        {EHOSTUNREACH, ERROR_HOST_UNREACHABLE},
        {ENOTTY, ERROR_INVALID_FUNCTION},
        {EPROTO, ERROR_GEN_FAILURE}, // no closer code
        {-1, ERROR_GEN_FAILURE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vr::Win32ErrorFromErrno(c.err), c.code) << "errno " << c.err;
    }
}

TEST(Win32ErrorFromErrno, EveryCodeItGivesHasASystemText) {
    for (int err = 1; err < 200; ++err) {
        DWORD code = vr::Win32ErrorFromErrno(err);
        EXPECT_FALSE(vr::Win32ErrorMessage(code).empty()) << "errno " << err << " gives " << code;
    }
}

TEST(HResultFromErrno, IsAlwaysAFailure) {
    EXPECT_EQ(vr::HResultFromErrno(ENOENT), static_cast<HRESULT>(0x80070002u));
    EXPECT_EQ(vr::HResultFromErrno(ECONNRESET), static_cast<HRESULT>(0x80072746u));
    EXPECT_EQ(vr::HResultFromErrno(0), E_FAIL);
    for (int err = 0; err < 200; ++err) {
        EXPECT_TRUE(FAILED(vr::HResultFromErrno(err))) << "errno " << err;
    }
}

TEST(Win32ErrorMessage, TextsEndInCrLfAndUseTheLowSixteenBits) {
    EXPECT_EQ(vr::Win32ErrorMessage(ERROR_FILE_NOT_FOUND), u"The system cannot find the file specified.\r\n");
    EXPECT_EQ(vr::Win32ErrorMessage(0x80070005u), u"Access is denied.\r\n");
    EXPECT_EQ(vr::Win32ErrorMessage(9999), u"");
    EXPECT_EQ(vr::HResultMessage(vr::HResultFromErrno(EPIPE)), u"The pipe has been ended.\r\n");
}

// Real calls that fail, and what their errno becomes.
TEST(Win32ErrorFromErrno, RealFileFailures) {
    std::string folder = vrtest::MakeFreshFolder("errno");
    errno = 0;
    EXPECT_EQ(open((folder + "/missing.txt").c_str(), O_RDONLY), -1);
    EXPECT_EQ(vr::Win32ErrorFromErrno(errno), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(mkdir(folder.c_str(), 0700), -1);
    EXPECT_EQ(vr::Win32ErrorFromErrno(errno), ERROR_ALREADY_EXISTS);

    int file = open((folder + "/file").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(file, 0);
    close(file);
    EXPECT_EQ(open((folder + "/file/below").c_str(), O_RDONLY), -1);
    EXPECT_EQ(vr::Win32ErrorFromErrno(errno), ERROR_PATH_NOT_FOUND);

    EXPECT_EQ(read(file, &file, 1), -1); // closed handle
    EXPECT_EQ(vr::Win32ErrorFromErrno(errno), ERROR_INVALID_HANDLE);
}

TEST(Win32ErrorFromErrno, RealPipeAndSocketFailures) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    auto previous = signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(write(ends[1], "x", 1), -1);
    EXPECT_EQ(vr::Win32ErrorFromErrno(errno), ERROR_BROKEN_PIPE);
    signal(SIGPIPE, previous);
    close(ends[1]);

    // What every program does first: a write to a pipe nobody reads fails with EPIPE and the program lives
    // (called twice, as a second call changes nothing); a program it starts gets the default back.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        vr::IgnoreBrokenPipes();
        vr::IgnoreBrokenPipes();
        int gone[2];
        bool failed =
            pipe(gone) == 0 && close(gone[0]) == 0 && write(gone[1], "x", 1) == -1 && errno == EPIPE;
        int shell = std::system("kill -PIPE $$");
        _exit(failed && WIFSIGNALED(shell) && WTERMSIG(shell) == SIGPIPE ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // A port that was just bound and closed again has no listener: the connection is refused.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    close(probe);
    int client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(client, 0);
    EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), -1);
    EXPECT_EQ(vr::Win32ErrorFromErrno(errno), ERROR_CONNECTION_REFUSED);
    close(client);
}

} // namespace
