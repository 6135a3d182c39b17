// Folders and files that hold a user's data (data home, results, recordings, traces, generated libraries):
// made for the user alone whatever the umask, and checked before they are used, so that another user can
// neither read them, nor change them, nor put their own in their place.
//
// A folder is made with mode 0700, or 0770 where the folder above it is a group's shared folder (the group
// may write it, others may not); a file with 0600, or 0660 in a group's folder. A file or folder is trusted
// when others may not write it (its group only in a group's folder whose group the user is in) and it belongs
// to the user, the superuser, or in a group's folder a member; a folder must be a real folder (not a link),
// a file a regular one.
//
// Usage:
//     if (!vr::MakeUserFolder(folder, &reason)) { report reason; }
//     int fd = open(path, O_CREAT | ..., vr::UserFileModeIn(folder)); // then fchmod to it: exact whatever
//     if (!vr::IsTrustedUserFile(path, {"results database", "opened"}, &reason)) { report reason; }
//
// Threads: any. Failures: false with *reason, one sentence naming the folder or file and what is wrong.
#pragma once

#include <string>
#include <sys/types.h>

namespace vr {

// What a checked file is to its user, for the refusal's words: "<noun> '<path>' ...; it is not <action>."
struct UserFileUse {
    const char* noun;   // "library", "results database", "recording"
    const char* action; // "loaded", "opened", "written"
    // A folder everyone may write but only a file's owner may rename in (sticky, as /tmp) is trusted: the
    // file itself is checked. Not for code (a library), whose folder nobody else may write at all.
    bool stickyFolderTrusted = true;
};

// Makes the folder (and the missing folders above it, each 0700) and gives it its mode (above). False when
// the place is taken by something that is no folder of the user's own (or a trusted group's), or it cannot be
// made.
[[nodiscard]] bool MakeUserFolder(const std::string& folder, std::string* reason);

// The mode of a data file made in the folder: 0600, or 0660 in a group's folder.
mode_t UserFileModeIn(const std::string& folder);

// Whether files of the folder may be used: a trusted folder (above).
[[nodiscard]] bool IsTrustedUserFolder(const std::string& folder, UserFileUse use, std::string* reason);

// Whether the file may be used: its folder trusted, and the file, when it exists, a trusted regular file.
// A missing file is trusted (whoever makes it makes it the user's own).
[[nodiscard]] bool IsTrustedUserFile(const std::string& path, UserFileUse use, std::string* reason);

// The folder a path lies in ("." for a bare name).
std::string FolderOfPath(const std::string& path);

} // namespace vr
