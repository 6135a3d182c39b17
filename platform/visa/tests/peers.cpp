// Starting and stopping the tests' real peers.
#include "peers.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vrvisatest {

ChildProcess::~ChildProcess() {
    Stop();
}

void ChildProcess::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

bool ChildProcess::Start(const std::vector<std::string>& arguments, std::string* firstLine) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return false;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a test process that crashed
        ::dup2(output[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    if (!firstLine) {
        ::close(output[0]);
        return pid_ > 0;
    }
    firstLine->clear();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool complete = false;
    while (!complete && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{output[0], POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0) {
            continue;
        }
        char c;
        if (::read(output[0], &c, 1) != 1) {
            break;
        }
        complete = c == '\n';
        if (!complete) {
            *firstLine += c;
        }
    }
    ::close(output[0]);
    return pid_ > 0 && complete;
}

bool LoopbackInstrument::Start(const std::string& answerEnd, bool ipv6,
                               const std::vector<std::string>& more) {
    std::vector<std::string> arguments = {VR_LOOPBACK_INSTRUMENT, "--answer-end", answerEnd};
    if (ipv6) {
        arguments.push_back("--ipv6");
    }
    arguments.insert(arguments.end(), more.begin(), more.end());
    std::string line;
    if (!process_.Start(arguments, &line) || !line.starts_with("PORT ")) {
        return false;
    }
    port_ = std::stoi(line.substr(5));
    return true;
}

bool LoopbackInstrument::StartOnTerminal(const std::string& path, const std::string& answerEnd) {
    std::string line;
    return process_.Start({VR_LOOPBACK_INSTRUMENT, "--tty", path, "--answer-end", answerEnd}, &line) &&
           line == "READY";
}

std::string LoopbackInstrument::SocketResource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

bool TerminalPair::Start(const std::string& folder) {
    left_ = folder + "/left";
    right_ = folder + "/right";
    if (!process_.Start({"socat", "pty,raw,echo=0,link=" + left_, "pty,raw,echo=0,link=" + right_},
                        nullptr)) {
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(left_) && std::filesystem::exists(right_)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace vrvisatest
