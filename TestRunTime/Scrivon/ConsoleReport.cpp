// The script executive's lines on its standard streams when it runs without a display.
#include "TestRunTime/Scrivon/ConsoleReport.h"

#include <array>

namespace scrivon {

std::string StatusWord(int32_t status) {
    static constexpr std::array<const char*, 8> kWords = {"Unknown",     "Passed",     "Failed",   "Warning",
                                                          "Interrupted", "Processing", "Oncoming", "Error"};
    if (status >= 0 && status < static_cast<int32_t>(kWords.size())) {
        return kWords[static_cast<size_t>(status)];
    }
    return std::to_string(status);
}

std::string OneLine(std::string_view text) {
    if (text.ends_with("\r\n")) {
        text.remove_suffix(2);
    } else if (text.ends_with('\n') || text.ends_with('\r')) {
        text.remove_suffix(1);
    }
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            line += "\\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i; // one break, not two
            }
        } else {
            line += text[i];
        }
    }
    return line;
}

void ConsoleReport::Output(int32_t status, std::string_view text) {
    Write(out_, "output " + StatusWord(status) + ": " + OneLine(text));
}

void ConsoleReport::RunEnded(std::string_view returnValue, int32_t verdict) {
    Write(out_, "return value: " + OneLine(returnValue));
    Write(out_, "verdict: " + StatusWord(verdict));
}

void ConsoleReport::Error(std::string_view caption, std::string_view text) {
    Write(err_, std::string(caption) + ": " + std::string(text));
}

// A reader of a pipe sees each line as soon as it is written.
void ConsoleReport::Write(std::FILE* stream, const std::string& line) {
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace scrivon
