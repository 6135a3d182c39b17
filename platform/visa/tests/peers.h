// Real peers for the VISA tests: the loopback instrument as a child process, and socat pseudo-terminal pairs.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace vrvisatest {

// A child process whose first line of output is read back; killed and reaped when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program; with firstLine, waits for its first line of output (false when none comes within 10
    // seconds).
    bool Start(const std::vector<std::string>& arguments, std::string* firstLine);
    void Stop();

private:
    pid_t pid_ = -1;
};

// The loopback instrument program on a free loopback TCP port.
class LoopbackInstrument {
public:
    // answerEnd as the program takes it ("\\n", "\\r\\n"); further arguments of the program ("--mute",
    // "--delay-ms", "1500") after it.
    bool Start(const std::string& answerEnd = "\\n", bool ipv6 = false,
               const std::vector<std::string>& more = {});
    // Serves a terminal device instead of a TCP port.
    bool StartOnTerminal(const std::string& path, const std::string& answerEnd = "\\n");
    void Stop() { process_.Stop(); }
    int Port() const { return port_; }
    // "TCPIP0::127.0.0.1::<port>::SOCKET"
    std::string SocketResource() const;

private:
    ChildProcess process_;
    int port_ = 0;
};

// Two connected pseudo-terminals made by socat: a cable between Left() and Right().
class TerminalPair {
public:
    bool Start(const std::string& folder);
    const std::string& Left() const { return left_; }
    const std::string& Right() const { return right_; }

private:
    ChildProcess process_;
    std::string left_;
    std::string right_;
};

// A loopback TCP port that nothing listens on (bound, then released).
int UnusedPort();

} // namespace vrvisatest
