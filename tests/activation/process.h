// Running a program as a real child process and collecting what it printed.
#pragma once

#include <string>
#include <vector>

namespace vrtest {

struct ProcessResult {
    int exitCode = -1;  // -1 when the program could not be run or did not exit normally
    std::string output; // standard output and standard error, interleaved
};

// Runs program with arguments in folder (empty: the current one), with this process's environment.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder = "");

} // namespace vrtest
