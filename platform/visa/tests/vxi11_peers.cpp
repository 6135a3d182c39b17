// Starting the port mapper and the VXI-11 instrument for the tests.
#include "vxi11_peers.h"

#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// libtirpc and liblxi keep a few small blocks per link for good (their own allocations, not this project's):
// the leak checker of sanitizer builds is told so, and still checks everything else.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libtirpc.so\nleak:liblxi.so\n";
}

namespace vrvisatest {

namespace {

bool PortMapperAnswers() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(111);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return connected;
}

std::string RpcbindPath() {
    for (const char* path : {"/usr/sbin/rpcbind", "/sbin/rpcbind", "/usr/bin/rpcbind"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

} // namespace

Vxi11TestLock::Vxi11TestLock() {
    fd_ = ::open("/tmp/vornic-vxi11-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        (void)::flock(fd_, LOCK_EX);
    }
}

Vxi11TestLock::~Vxi11TestLock() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
    }
}

bool PortMapper::Ensure(std::string* why) {
    if (PortMapperAnswers()) {
        return true;
    }
    std::string rpcbind = RpcbindPath();
    if (rpcbind.empty()) {
        *why = "no port mapper runs and rpcbind is not installed (scripts/setup installs it)";
        return false;
    }
    if (!process_.Start({rpcbind, "-f"}, nullptr)) {
        *why = "rpcbind could not be started";
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (PortMapperAnswers()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process_.Stop();
    *why = "rpcbind did not answer on port 111 (it needs the right to bind that port)";
    return false;
}

bool Vxi11Instrument::Start(std::string* why) {
    std::string line;
    if (!process_.Start({VR_VXI11_INSTRUMENT}, &line) || !line.starts_with("PORT ")) {
        *why = "the VXI-11 instrument did not start: '" + line + "'";
        return false;
    }
    return true;
}

} // namespace vrvisatest
