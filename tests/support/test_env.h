// Private folders for one test run: registry root, data home and runtime folder, removed at exit.
#pragma once

#include <string>

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

} // namespace vrtest
