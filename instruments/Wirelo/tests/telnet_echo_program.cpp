// A program for the telnet tests to run behind telnetd: answers each line it receives on its terminal.
//
// On start it waits until telnetd has made its own change to the terminal (see below), turns the terminal's
// echo and input stripping off and prints "READY". Then, for each line (carriage returns dropped): "ANSI"
// answers "RED" wrapped in colour escape sequences, "FF" answers "A", a byte 255 and "B", "QUIT" ends the
// program, and every other line is answered "HEX " with the line's bytes in hexadecimal.
// Every answer ends with a line feed (the terminal sends it as CR LF).
#include <chrono>
#include <cstdio>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// telnetd strips the eighth bit of input (ISTRIP) when the client refuses binary transmission, as the
// converter does. It does so when the refusal arrives, which may be after this program started: clearing the
// flag before that would be undone, and a byte 255 would reach the program as 127 (the erase character,
// which takes the byte before it along). So the program waits for the flag to appear first; the client
// answers while it waits for the greeting. A server that never sets it costs the bounded wait only.
void WaitForServerInputStripping() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        termios settings{};
        if (::tcgetattr(STDIN_FILENO, &settings) != 0 || (settings.c_iflag & ISTRIP) != 0) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void EchoOff() {
    termios settings{};
    if (::tcgetattr(STDIN_FILENO, &settings) == 0) {
        settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        settings.c_iflag &= ~static_cast<tcflag_t>(ISTRIP | IXON);
        (void)::tcsetattr(STDIN_FILENO, TCSANOW, &settings);
    }
}

void Say(const std::string& text) {
    std::string line = text + "\n";
    (void)::write(STDOUT_FILENO, line.data(), line.size());
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// One line from standard input without its CR and LF; false at the end of input.
bool ReadLine(std::string* line) {
    line->clear();
    char c;
    for (;;) {
        ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got <= 0) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        if (c != '\r') {
            line->push_back(c);
        }
    }
}

} // namespace

int main() {
    WaitForServerInputStripping();
    EchoOff();
    Say("READY");
    std::string line;
    while (ReadLine(&line)) {
        if (line == "QUIT") {
            break;
        }
        if (line == "ANSI") {
            Say("\x1b[1;31mRED\x1b[0m");
        } else if (line == "FF") {
            Say("A\xff"
                "B");
        } else {
            Say("HEX " + Hex(line));
        }
    }
    return 0;
}
