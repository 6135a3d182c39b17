// Private folders for one test run: registry root, data home and runtime folder, removed at exit.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <utility>

namespace vrtest {

// The temporary folder created for this test process (holds registry/, home/ and run/).
const std::string& TestRoot();

// Points VORNIC_REGISTRY, VORNIC_HOME and XDG_RUNTIME_DIR at fresh folders under TestRoot().
// Called by the test main before any test runs; safe to call again (does nothing the second time).
void SetUpPrivateFolders();

// A new empty folder under TestRoot(), for a test that needs a fresh registry root of its own.
std::string MakeFreshFolder(const std::string& hint);

// The build tree's binary folder (where servers, tools and programs are built).
std::string BuildBinFolder();

// Runs this test binary again with only `testName` (a disabled test is run too), the `environment`
// variables added to this process's own, and its output written to `log`. Returns the child's process id,
// or -1 when it could not be started.
pid_t StartSelfTest(const std::string& testName, const std::map<std::string, std::string>& environment,
                    const std::string& log);

// Waits for a child: its exit status, 128 plus the signal's number when a signal ended it, -1 when it is
// no child of this process.
int WaitForChild(pid_t pid);

// The text as one word of a shell command line, in single quotes.
std::string ShellQuoted(const std::string& text);

// Runs the shell command line with its standard input empty and its errors joined to its output: its exit
// code (-1 when it did not start or a signal ended it) and all it wrote.
std::pair<int, std::string> RunShellCapturing(const std::string& commandLine);

} // namespace vrtest
