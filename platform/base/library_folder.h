// The folder of the generated device libraries ("c:\Ostrel\Adapter\bin" under the data home): made so that
// nobody else can put a library there, and checked before a library is loaded from it.
//
// The registry's InprocServer32 paths of generated devices point into this folder, so whoever may write it
// runs code as every user who creates such a device. It is made with mode 0700 whatever the umask, or 0770
// where the folder above it is a group's shared folder (the group may write it, others may not), as the
// registry's own files follow their folder; an existing folder of the user's own is set to that mode.
//
// The checks are those of every user data file (platform/base/user_files.h).
//
// Threads: any. Failures: false with *reason, one sentence naming the folder or file.
#pragma once

#include <string>
#include <sys/types.h>

namespace vr {

// MapWindowsPath("c:\\Ostrel\\Adapter\\bin").
std::string GeneratedLibraryFolder();

// Makes the folder (and the missing folders above it, each 0700) and gives it the library folder's mode.
// False when the place is taken by something that is no folder of the user's own, or it cannot be made.
[[nodiscard]] bool MakeLibraryFolder(const std::string& folder, std::string* reason);

// The mode of a library file made in the folder: 0700, or 0770 in a group's folder.
mode_t LibraryFileModeIn(const std::string& folder);

// Whether a library in the folder may be loaded: a folder (not a link) that others may not write, owned by
// the user or the superuser; one the group may write only when the user belongs to that group (then another
// member may own it too).
[[nodiscard]] bool IsTrustedLibraryFolder(const std::string& folder, std::string* reason);

// Whether the library file may be loaded: anywhere but the generated libraries' folder, always; there, only
// from a trusted folder (above), as a regular file that others may not write, owned by the user, the
// superuser, or in a group's folder a member.
[[nodiscard]] bool MayLoadLibrary(const std::string& path, std::string* reason);

} // namespace vr
