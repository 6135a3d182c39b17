// pyvisa-py's own timing of a loop of queries (bench/pyvisa_query.py), the baseline of the benchmarks that
// compare a query with a bare PyVISA one.
#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace vrbench {

enum class PyVisaOutcome {
    Timed,        // secondsPerQuery holds pyvisa-py's time per query
    NotInstalled, // the script found no pyvisa-py (Debian package python3-pyvisa-py)
    Failed,       // the script ran but printed no time
};

struct PyVisaTiming {
    PyVisaOutcome outcome = PyVisaOutcome::Failed;
    double secondsPerQuery = 0;
};

// Debian's interpreter, which sees Debian's python3-pyvisa-py, before whatever python3 the path names first.
inline std::string PyVisaPython() {
    return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

// Runs the script against the loopback instrument at port for the given number of timed queries.
inline PyVisaTiming TimePyVisaQueries(const char* script, int port, int queries) {
    std::string command =
        PyVisaPython() + " " + script + " " + std::to_string(port) + " " + std::to_string(queries) + " 2>&1";
    FILE* output = ::popen(command.c_str(), "r");
    char line[512] = {};
    PyVisaTiming timing;
    bool timed = false;
    while (output && std::fgets(line, sizeof line, output)) {
        timed = timed || std::sscanf(line, "seconds_per_query %lf", &timing.secondsPerQuery) == 1;
    }
    int status = output ? ::pclose(output) : -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
        timing.outcome = PyVisaOutcome::NotInstalled;
    } else if (timed) {
        timing.outcome = PyVisaOutcome::Timed;
    }
    return timing;
}

} // namespace vrbench
