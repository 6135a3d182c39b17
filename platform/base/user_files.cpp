// A user's data folders and files: made for the user alone, and the owner and mode checks before use.
#include "platform/base/user_files.h"

#include "platform/base/syserror.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vr {
namespace {

std::string Octal(mode_t mode) {
    char text[8] = {};
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool IsMemberOf(gid_t group) {
    if (::getegid() == group) {
        return true;
    }
    int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    count = ::getgroups(count, groups.data());
    return count > 0 && std::find(groups.begin(), groups.begin() + count, group) != groups.begin() + count;
}

// A folder the group may write but others may not, as the registry's shared folder.
bool IsGroupsFolder(const struct stat& info) {
    return (info.st_mode & S_IWGRP) != 0 && (info.st_mode & S_IWOTH) == 0;
}

bool IsGroupsFolderAt(const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && IsGroupsFolder(info);
}

bool Refuse(std::string* reason, std::string text) {
    *reason = std::move(text);
    return false;
}

// Whether the owner may put a file where this user uses it: the user himself, the superuser, or a member of
// the group in the group's folder.
bool IsTrustedOwner(uid_t owner, bool groupsFolder) {
    return owner == ::geteuid() || owner == 0 || groupsFolder;
}

} // namespace

std::string FolderOfPath(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

mode_t UserFileModeIn(const std::string& folder) {
    return IsGroupsFolderAt(folder) ? 0660 : 0600;
}

bool MakeUserFolder(const std::string& folder, std::string* reason) {
    for (size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        std::string above = folder.substr(0, slash);
        if (::mkdir(above.c_str(), 0700) != 0 && errno != EEXIST) {
            return Refuse(reason, "Couldn't make the folder '" + above + "': " + ErrnoText(errno) + ".");
        }
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return Refuse(reason, "Couldn't make the folder '" + folder + "': " + ErrnoText(errno) + ".");
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return Refuse(reason, "'" + folder + "' is no folder; nothing is made there.");
    }
    if (info.st_uid != ::geteuid()) {
        return IsTrustedUserFolder(folder, {"file", "made"}, reason); // a group's folder another member made
    }
    mode_t wanted = IsGroupsFolderAt(FolderOfPath(folder)) ? 0770 : 0700;
    if ((info.st_mode & 07777) != wanted && ::chmod(folder.c_str(), wanted) != 0) {
        return Refuse(reason, "Couldn't give the folder '" + folder + "' the mode " + Octal(wanted) + ": " +
                                  ErrnoText(errno) + ".");
    }
    return true;
}

bool IsTrustedUserFolder(const std::string& folder, UserFileUse use, std::string* reason) {
    std::string refused = std::string("; no ") + use.noun + " is " + use.action + " from it.";
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return Refuse(reason, "Couldn't look at the folder '" + folder + "': " + ErrnoText(errno) + ".");
    }
    if (!S_ISDIR(info.st_mode)) {
        return Refuse(reason, "'" + folder + "' is no folder (a link or a file)" + refused);
    }
    bool sticky = (info.st_mode & S_ISVTX) != 0 && use.stickyFolderTrusted;
    if ((info.st_mode & S_IWOTH) != 0 && !sticky) {
        return Refuse(reason, "Everyone may write the folder '" + folder + "' (mode " + Octal(info.st_mode) +
                                  ")" + refused);
    }
    bool groupWrites = (info.st_mode & S_IWGRP) != 0;
    if (groupWrites && !sticky && !IsMemberOf(info.st_gid)) {
        return Refuse(reason, "The folder '" + folder +
                                  "' may be written by a group this user is not in (mode " +
                                  Octal(info.st_mode) + ")" + refused);
    }
    if (!sticky && !IsTrustedOwner(info.st_uid, groupWrites)) {
        return Refuse(reason, "The folder '" + folder + "' belongs to another user (uid " +
                                  std::to_string(info.st_uid) + ")" + refused);
    }
    return true;
}

bool IsTrustedUserFile(const std::string& path, UserFileUse use, std::string* reason) {
    std::string folder = FolderOfPath(path);
    struct stat here {};
    if (::stat(folder.c_str(), &here) != 0) {
        return true; // no folder, no file: whoever makes them reports what stands in the way
    }
    if (std::string why; !IsTrustedUserFolder(folder, use, &why)) {
        return Refuse(reason, "The " + std::string(use.noun) + " '" + path + "' is refused: " + why);
    }
    struct stat file {}; // a link's target: the folder, trusted, holds no link another user put there
    if (::stat(path.c_str(), &file) != 0) {
        return true; // nothing there: it is made as the user's own
    }
    std::string refused = std::string("; it is not ") + use.action + ".";
    bool groupsFolder = IsGroupsFolder(here) && IsMemberOf(here.st_gid);
    if (!S_ISREG(file.st_mode)) {
        return Refuse(reason,
                      "The " + std::string(use.noun) + " '" + path + "' is no regular file" + refused);
    }
    if ((file.st_mode & S_IWOTH) != 0 || ((file.st_mode & S_IWGRP) != 0 && !groupsFolder)) {
        return Refuse(reason, "The " + std::string(use.noun) + " '" + path +
                                  "' may be changed by others (mode " + Octal(file.st_mode) + ")" + refused);
    }
    if (!IsTrustedOwner(file.st_uid, groupsFolder)) {
        return Refuse(reason, "The " + std::string(use.noun) + " '" + path +
                                  "' belongs to another user (uid " + std::to_string(file.st_uid) + ")" +
                                  refused);
    }
    return true;
}

} // namespace vr
