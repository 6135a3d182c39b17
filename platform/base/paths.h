// The mapping of the system's Windows paths onto this machine's folders.
#pragma once

#include <string>
#include <string_view>

namespace vr {

// The folder of the running executable (the program folder "C:\Ostrel\bin" of the system).
std::string ProgramFolder();

// The data home: $VORNIC_HOME, else ~/vornic. The system's data folders live under it.
std::string DataHome();

// Maps a path of the system onto this machine:
// - "C:\Ostrel\bin\X.exe" and other paths in the program folder map into ProgramFolder(), the name folded to
//   lower case, ".exe" dropped and ".dll" mapped to "lib<name>.so";
// - other absolute Windows paths "C:\Ostrel\<Folder>\..." map under DataHome() ("<data home>/<Folder>/...");
//   a drive-letter path outside C:\Ostrel maps under DataHome() too, without the drive letter;
// - backslashes become slashes; a Linux path (starting with "/") or a relative path is kept, with its
//   backslashes turned into slashes.
std::string MapWindowsPath(std::string_view path);
std::u16string MapWindowsPath(std::u16string_view path);

// The runtime folder of the station: $XDG_RUNTIME_DIR/vornic (made with mode 0700 when missing).
std::string RuntimeFolder();

} // namespace vr
