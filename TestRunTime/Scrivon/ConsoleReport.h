// What the script executive writes to its standard streams when nobody sees its window (offscreen): engine
// output and each run's end on standard output, in line forms that other programs parse, and error boxes on
// standard error.
//
// Standard output, one line each, flushed at once:
//     output <StatusWord>: <text>    an engine output line with its status
//     return value: <text>           at the end of each run: what "Test" returned ("Error" when the run
//     failed) verdict: <StatusWord>          at the end of each run: Passed, Failed or Error
// Status words: 0 Unknown, 1 Passed, 2 Failed, 3 Warning, 4 Interrupted, 5 Processing, 6 Oncoming, 7 Error;
// another number is written as the number. A text loses its own trailing line end, and line breaks inside it
// are written as the two characters \n; nothing else is changed.
// Standard error: "<caption>: <text>" for each error box, which counts as answered OK.
//
// Threads: the window thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace scrivon {

// The word of a test status; the number itself for a status outside 0 to 7.
std::string StatusWord(int32_t status);
// The text on one line: without its trailing line end, inner line breaks (\n, \r\n, \r) as "\n".
std::string OneLine(std::string_view text);

class ConsoleReport {
public:
    // Both streams stay the caller's.
    ConsoleReport(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    void Output(int32_t status, std::string_view text);
    void RunEnded(std::string_view returnValue, int32_t verdict);
    void Error(std::string_view caption, std::string_view text);

private:
    void Write(std::FILE* stream, const std::string& line);

    std::FILE* out_; // window thread
    std::FILE* err_; // window thread
};

} // namespace scrivon
