// A real telnet server for tests: Debian's telnetd behind socat on a free loopback port, running a program
// of the test's choice for each connection. Header-only, so that any test folder can include it.
//
//   wirelotest::TelnetServer server;
//   std::string why;
//   ASSERT_TRUE(server.Start("/path/to/program", &why)) << why;
//   ... open server.SocketResource() ...
//   server.Stop();   // also when the object goes
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace wirelotest {

// Where the telnet server program is installed (inetutils-telnetd), or "" when it is not.
inline std::string TelnetdPath() {
    for (const char* path : {"/usr/sbin/telnetd", "/usr/bin/telnetd", "/usr/sbin/in.telnetd"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

class TelnetServer {
public:
    TelnetServer() = default;
    TelnetServer(const TelnetServer&) = delete;
    TelnetServer& operator=(const TelnetServer&) = delete;
    ~TelnetServer() { Stop(); }

    // Starts socat listening on 127.0.0.1 and waits (up to 10 s) until it accepts connections. Each
    // connection gets its own telnetd, which runs program (a path without blanks) in place of a login.
    bool Start(const std::string& program, std::string* why) {
        std::string telnetd = TelnetdPath();
        if (telnetd.empty()) {
            *why = "telnetd is not installed (package inetutils-telnetd; scripts/setup installs it)";
            return false;
        }
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = FreePort();
            if (port_ > 0 && Launch(telnetd, program) && WaitUntilAccepting()) {
                return true;
            }
            Stop();
        }
        *why = "socat with telnetd did not start listening on a loopback port";
        return false;
    }

    // Ends socat and every telnetd and program it started (they share its process group).
    void Stop() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
    }

    int Port() const { return port_; }
    std::string SocketResource() const { return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }

private:
    static int FreePort() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = -1;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return port;
    }

    bool Launch(const std::string& telnetd, const std::string& program) {
        std::string listen = "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork";
        std::string exec = "EXEC:" + telnetd + " -h -E " + program;
        pid_ = ::fork();
        if (pid_ < 0) {
            return false;
        }
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::execlp("socat", "socat", "-lf/dev/null", listen.c_str(), exec.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setpgid(pid_, pid_);
        return true;
    }

    // A probe connection that socat accepts; it starts a telnetd that ends when the probe closes.
    bool WaitUntilAccepting() {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1; // socat gave up (the port was taken meanwhile)
                return false;
            }
            int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port_));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            ::close(fd);
            if (connected) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace wirelotest
