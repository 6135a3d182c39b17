// The mapping of the system's Windows paths onto this machine's folders.
#pragma once

#include <string>
#include <string_view>

namespace vr {

// Threads: every function may be called from any thread; DataHome and RuntimeFolder read the environment
// on each call, so a change of VORNIC_HOME or XDG_RUNTIME_DIR takes effect at once (not while another
// thread changes the environment).

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
//   backslashes turned into slashes;
// - in a Windows path "." and ".." are resolved first, as Windows does (".." at the root stays there), so a
//   mapped path stays inside the program folder or the data home; a path starting with "\" is taken as on
//   drive C:, a trailing separator is kept.
std::string MapWindowsPath(std::string_view path);
std::u16string MapWindowsPath(std::u16string_view path);

// A file named on a command line: a leading "~" or "~/" stands for the home folder ($HOME, else the user
// database's), as a shell would have expanded it had the name not come quoted; any other name, or one whose
// home folder cannot be found, is given back unchanged.
std::string ExpandHomeFolder(std::string_view file);

// The runtime folder of the station: $XDG_RUNTIME_DIR/vornic; made with mode 0700 when missing, tightened to
// 0700 when looser. The folder holds the station's sockets, so a folder someone else controls is never used:
// a place taken by something that is not this user's own directory (a link, a file, another user's folder)
// gives an empty path.
// Without XDG_RUNTIME_DIR: $TMPDIR/vornic-<uid> ($TMPDIR when absolute, else /tmp). Anyone may take that name
// first; then the folder is made under the user's home instead, as $XDG_CACHE_HOME/vornic-runtime-<host>
// (~/.cache/... when XDG_CACHE_HOME is not absolute), and from then on every process of the user takes that
// one first, whatever becomes of the name in the temporary folder. Empty only when neither can be had.
std::string RuntimeFolder();

} // namespace vr
