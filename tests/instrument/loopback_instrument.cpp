// A stand-in instrument for tests: answers SCPI-like queries on a loopback TCP port or a terminal device.
//
//   vrloopback_instrument [--ipv6] [--port N] [--tty PATH] [--answer-end TEXT] [--lifetime SECONDS]
//                         [--set HEADER TEXT]... [--garbage | --mute] [--delay-ms MS]
//
// Over TCP it listens on 127.0.0.1 (::1 with --ipv6; port N, else a free one) and prints "PORT <n>" once
// ready; with
// --tty it prints "READY". Commands end with a line feed (carriage returns are ignored); answers end with
// --answer-end (backslash escapes \r \n \t \\; default "\n"). Commands, first word in any case:
//   *IDN?               "VORNIC,LOOPBACK,0,1.0"
//   ECHO <text>         <text>
//   DELAY <ms> <text>   <text> after ms milliseconds
//   PARTIAL <text>      <text> without the answer end
//   SPLIT <ms> <a> <b>  <a>, then after ms milliseconds <b> and the answer end
//   TRICKLE <ms> <text> <text> one character every ms milliseconds, then the answer end
//   SILENT              no answer
//   CHUNK?              the number of bytes the read that brought this command received
//   COUNT?              how many commands this connection has received, this one included
//   CLOSE               closes the connection (a terminal: the program exits)
//   RESET               TCP: aborts the connection with a reset
//   EXIT                the program exits (with every connection)
// Any other command is a setting: "<header> <text>" keeps the text under the header (in any case), and
// "<header>?" answers the text kept, "0" before the first; so "VOLT1 12.5" makes "VOLT1?" answer "12.5".
// "--set HEADER TEXT" gives every connection that setting from its start (what a meter's inputs measure).
// Two hostile modes answer every query (a command whose first word ends in "?") differently: --garbage with
// text that no response format reads ("#GARBAGE#"), --mute not at all. --delay-ms makes a slow instrument:
// every query is answered that many milliseconds after its command is taken (commands are taken in order).
// With --lifetime the program exits by itself after that many seconds, so that it never outlives a test run;
// without it, it runs until EXIT, SIGTERM or Ctrl+C.
#include "platform/base/program_conventions.h"
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

std::string Unescape(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        char next = text[++i];
        result += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
    }
    return result;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (count < 0 && errno == ENOTSOCK) {
            count = ::write(fd, bytes.data() + done, bytes.size() - done);
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

void Sleep(const std::string& milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(milliseconds.c_str())));
}

// The first blank-separated word and the rest of text.
std::pair<std::string, std::string> Split(const std::string& text) {
    size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        return {text, ""};
    }
    return {text.substr(0, blank), text.substr(blank + 1)};
}

enum class Outcome { Continue, Close, Reset, Exit };

// How queries are answered: from the settings and the built-in commands, with garbage, or never.
enum class QueryAnswers { Kept, Garbage, None };

// What the command line asks of every connection; written by main before the first connection is served and
// only read after that, so the connection threads share it without a lock.
struct Behaviour {
    std::string answerEnd = "\n";
    QueryAnswers queries = QueryAnswers::Kept;
    std::map<std::string, std::string> presets{};
    int queryDelayMs = 0;
};

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// One connection's state, used by the one thread that serves it.
struct Connection {
    Connection(int descriptor, const Behaviour& behaviour)
        : fd(descriptor), answerEnd(behaviour.answerEnd), queries(behaviour.queries),
          queryDelayMs(behaviour.queryDelayMs), settings(behaviour.presets) {}

    int fd;
    std::string answerEnd;
    QueryAnswers queries;
    int queryDelayMs;
    int commands = 0;
    size_t lastChunk = 0;
    std::map<std::string, std::string> settings;

    // A setting's query or assignment; an empty command does nothing.
    void Setting(const std::string& header, const std::string& rest) {
        if (header.empty()) {
            return;
        }
        if (header.back() == '?') {
            auto found = settings.find(header.substr(0, header.size() - 1));
            SendAll(fd, (found == settings.end() ? std::string("0") : found->second) + answerEnd);
        } else {
            settings[header] = rest;
        }
    }

    Outcome Handle(const std::string& line) {
        ++commands;
        auto [firstWord, rest] = Split(line);
        std::string word = UpperCase(firstWord);
        if (queryDelayMs > 0 && word.ends_with('?')) {
            std::this_thread::sleep_for(std::chrono::milliseconds(queryDelayMs));
        }
        if (queries != QueryAnswers::Kept && word.ends_with('?')) {
            if (queries == QueryAnswers::Garbage) {
                (void)SendAll(fd,
                              "#GARBAGE#" + answerEnd); // a peer that left ends the connection on its read
            }
            return Outcome::Continue;
        }
        if (word == "*IDN?") {
            SendAll(fd, "VORNIC,LOOPBACK,0,1.0" + answerEnd);
        } else if (word == "ECHO") {
            SendAll(fd, rest + answerEnd);
        } else if (word == "DELAY") {
            auto [ms, text] = Split(rest);
            Sleep(ms);
            SendAll(fd, text + answerEnd);
        } else if (word == "PARTIAL") {
            SendAll(fd, rest);
        } else if (word == "SPLIT") {
            auto [ms, parts] = Split(rest);
            auto [first, second] = Split(parts);
            SendAll(fd, first);
            Sleep(ms);
            SendAll(fd, second + answerEnd);
        } else if (word == "TRICKLE") {
            auto [ms, text] = Split(rest);
            for (char c : text + answerEnd) {
                Sleep(ms);
                if (!SendAll(fd, std::string(1, c))) {
                    break;
                }
            }
        } else if (word == "CHUNK?") {
            SendAll(fd, std::to_string(lastChunk) + answerEnd);
        } else if (word == "COUNT?") {
            SendAll(fd, std::to_string(commands) + answerEnd);
        } else if (word == "CLOSE") {
            return Outcome::Close;
        } else if (word == "RESET") {
            return Outcome::Reset;
        } else if (word == "EXIT") {
            return Outcome::Exit;
        } else {
            Setting(word, rest);
        }
        return Outcome::Continue;
    }

    // Serves until the peer leaves or a command ends the connection.
    Outcome Serve() {
        std::string line;
        char buffer[4096];
        for (;;) {
            ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return Outcome::Close;
            }
            lastChunk = static_cast<size_t>(count);
            for (ssize_t i = 0; i < count; ++i) {
                char c = buffer[i];
                if (c == '\r') {
                    continue;
                }
                if (c != '\n') {
                    line += c;
                    continue;
                }
                Outcome outcome = Handle(line);
                line.clear();
                if (outcome != Outcome::Continue) {
                    return outcome;
                }
            }
        }
    }
};

// Listens on the loopback address of the family; returns the socket, or -1.
// *port: the one to take, 0 for a free one; the one taken.
int Listen(bool ipv6, int* port) {
    int listener = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    int reuse = 1;
    (void)::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse); // a restart takes its port
    const auto wanted = htons(static_cast<uint16_t>(*port));
    sockaddr_storage storage{};
    socklen_t length = ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (ipv6) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_addr = in6addr_loopback;
        address->sin6_port = wanted;
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address->sin_port = wanted;
    }
    auto* address = reinterpret_cast<sockaddr*>(&storage);
    if (::bind(listener, address, length) != 0 || ::listen(listener, 4) != 0 ||
        ::getsockname(listener, address, &length) != 0) {
        return -1;
    }
    *port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                       : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    return listener;
}

int ServeTcp(bool ipv6, int port, const Behaviour& behaviour) {
    const int wanted = port;
    int listener = Listen(ipv6, &port);
    if (listener < 0) {
        std::fprintf(stderr, "vrloopback_instrument: cannot listen on %s port %d: %s\n",
                     ipv6 ? "::1" : "127.0.0.1", wanted, std::strerror(errno));
        return 1;
    }
    std::printf("PORT %d\n", port);
    std::fflush(stdout);
    // Each connection is served on a thread of its own, so several clients can talk to the one instrument at
    // once; every connection keeps its own settings and counters.
    for (;;) {
        int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) {
            continue;
        }
        std::thread([client, &behaviour] {
            Connection connection(client, behaviour);
            Outcome outcome = connection.Serve();
            if (outcome == Outcome::Reset) {
                linger abort{1, 0};
                ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            ::close(client);
            if (outcome == Outcome::Exit) {
                std::fflush(stdout);
                std::_Exit(0); // other connections end with the program
            }
        }).detach();
    }
}

int ServeTty(const std::string& path, const Behaviour& behaviour) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror(path.c_str());
        return 1;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    std::printf("READY\n");
    std::fflush(stdout);
    Connection connection(fd, behaviour);
    connection.Serve();
    ::close(fd);
    return 0;
}

constexpr const char* kUsage =
    "usage: vrloopback_instrument [--ipv6] [--port N] [--tty PATH] [--answer-end TEXT] [--lifetime SECONDS]\n"
    "                             [--set HEADER TEXT]... [--garbage | --mute] [--delay-ms MS]\n"
    "A stand-in SCPI instrument: listens on a free loopback TCP port and prints \"PORT <n>\" (with --tty:\n"
    "serves the terminal device and prints \"READY\"). \"<header> <text>\" sets a value, \"<header>?\" "
    "answers\n"
    "it (\"0\" before it was set), \"*IDN?\" answers VORNIC,LOOPBACK,0,1.0, \"EXIT\" ends the program.\n"
    "  --ipv6              listen on ::1 instead of 127.0.0.1\n"
    "  --port N            listen on port N (default: a free port)\n"
    "  --tty PATH          serve a terminal device instead of a TCP port\n"
    "  --answer-end TEXT   what ends each answer (escapes \\r \\n \\t \\\\; default \\n)\n"
    "  --lifetime SECONDS  exit after this long (default: run until EXIT, SIGTERM or Ctrl+C)\n"
    "  --set HEADER TEXT   a setting every connection starts with (repeatable)\n"
    "  --garbage           answer every query with text that does not parse\n"
    "  --mute              never answer a query\n"
    "  --delay-ms MS       answer each query MS milliseconds after taking its command\n"
    "  --help              show this text\n"
    "  --version           show the build it comes from\n"
    "exit code 64: a command line it does not take\n";

struct Options {
    std::string tty;
    Behaviour behaviour;
    unsigned lifetime = 0; // no end of its own
    int port = 0;
    bool ipv6 = false;
    bool help = false;
};

// False, after saying why on standard error, when the command line is not one the program takes.
bool ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--ipv6") {
            options->ipv6 = true;
            continue;
        }
        if (option == "--help" || option == "-h") {
            options->help = true;
            continue;
        }
        if (option == "--garbage" || option == "--mute") {
            options->behaviour.queries = option == "--garbage" ? QueryAnswers::Garbage : QueryAnswers::None;
            continue;
        }
        if (option == "--set" && i + 2 < argc) {
            options->behaviour.presets[UpperCase(argv[i + 1])] = argv[i + 2];
            i += 2;
            continue;
        }
        bool takesValue = option == "--tty" || option == "--answer-end" || option == "--lifetime" ||
                          option == "--port" || option == "--delay-ms";
        if (!takesValue || i + 1 == argc) {
            std::fprintf(stderr, "vrloopback_instrument: %s '%s'\n%s",
                         takesValue ? "no value after" : "unknown argument", option.c_str(), kUsage);
            return false;
        }
        std::string value = argv[++i];
        if (option == "--tty") {
            options->tty = value;
        } else if (option == "--answer-end") {
            options->behaviour.answerEnd = Unescape(value);
        } else if (option == "--port") {
            char* end = nullptr;
            long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || port < 0 || port > 65535) {
                std::fprintf(stderr, "vrloopback_instrument: --port takes 0 to 65535, not '%s'\n%s",
                             value.c_str(), kUsage);
                return false;
            }
            options->port = static_cast<int>(port);
        } else if (option == "--delay-ms") {
            options->behaviour.queryDelayMs = std::atoi(value.c_str());
        } else {
            options->lifetime = static_cast<unsigned>(std::atoi(value.c_str()));
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (vr::AnswerVersion(argc, argv, "vrloopback_instrument")) {
        return 0;
    }
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        return vr::kExitBadCommandLine;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    ::alarm(options.lifetime); // 0: no alarm
    return options.tty.empty() ? ServeTcp(options.ipv6, options.port, options.behaviour)
                               : ServeTty(options.tty, options.behaviour);
}
