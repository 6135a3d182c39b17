// The generated libraries' folder: its mode whatever the umask, and the owner and mode checks before loading.
#include "platform/base/library_folder.h"

#include "platform/base/paths.h"
#include "platform/base/syserror.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vr {
namespace {

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

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

bool Refuse(std::string* reason, std::string text) {
    *reason = std::move(text);
    return false;
}

// Whether the owner may put a library where this user loads it: the user himself, the superuser, or a member
// of the group in the group's folder.
bool IsTrustedOwner(uid_t owner, bool groupsFolder) {
    return owner == ::geteuid() || owner == 0 || groupsFolder;
}

} // namespace

std::string GeneratedLibraryFolder() {
    return MapWindowsPath("c:\\Ostrel\\Adapter\\bin");
}

mode_t LibraryFileModeIn(const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && IsGroupsFolder(info) ? 0770 : 0700;
}

bool MakeLibraryFolder(const std::string& folder, std::string* reason) {
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
        return Refuse(reason, "'" + folder + "' is no folder; no library is made there.");
    }
    if (info.st_uid != ::geteuid()) {
        return IsTrustedLibraryFolder(folder, reason); // a group's folder that another member made
    }
    struct stat above {};
    mode_t wanted = ::stat(ParentOf(folder).c_str(), &above) == 0 && IsGroupsFolder(above) ? 0770 : 0700;
    if ((info.st_mode & 07777) != wanted && ::chmod(folder.c_str(), wanted) != 0) {
        return Refuse(reason, "Couldn't give the folder '" + folder + "' the mode " + Octal(wanted) + ": " +
                                  ErrnoText(errno) + ".");
    }
    return true;
}

bool IsTrustedLibraryFolder(const std::string& folder, std::string* reason) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return Refuse(reason, "Couldn't look at the folder '" + folder + "': " + ErrnoText(errno) + ".");
    }
    if (!S_ISDIR(info.st_mode)) {
        return Refuse(reason,
                      "'" + folder + "' is no folder (a link or a file); no library is loaded from it.");
    }
    if ((info.st_mode & S_IWOTH) != 0) {
        return Refuse(reason, "Everyone may write the folder '" + folder + "' (mode " + Octal(info.st_mode) +
                                  "); no library is loaded from it.");
    }
    bool groupWrites = (info.st_mode & S_IWGRP) != 0;
    if (groupWrites && !IsMemberOf(info.st_gid)) {
        return Refuse(reason, "The folder '" + folder +
                                  "' may be written by a group this user is not in (mode " +
                                  Octal(info.st_mode) + "); no library is loaded from it.");
    }
    if (!IsTrustedOwner(info.st_uid, groupWrites)) {
        return Refuse(reason, "The folder '" + folder + "' belongs to another user (uid " +
                                  std::to_string(info.st_uid) + "); no library is loaded from it.");
    }
    return true;
}

bool MayLoadLibrary(const std::string& path, std::string* reason) {
    std::string folder = ParentOf(path);
    struct stat here {};
    struct stat generated {};
    if (::stat(folder.c_str(), &here) != 0 || ::stat(GeneratedLibraryFolder().c_str(), &generated) != 0 ||
        here.st_dev != generated.st_dev || here.st_ino != generated.st_ino) {
        return true; // not the generated libraries' folder: a missing file is the loader's to report
    }
    if (!IsTrustedLibraryFolder(folder, reason)) {
        return false;
    }
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        return true; // nothing there: the loader reports it
    }
    bool groupsFolder = IsGroupsFolder(here);
    if (!S_ISREG(file.st_mode)) {
        return Refuse(reason, "'" + path + "' is no regular file; it is not loaded.");
    }
    if ((file.st_mode & S_IWOTH) != 0 || ((file.st_mode & S_IWGRP) != 0 && !groupsFolder)) {
        return Refuse(reason, "The library '" + path + "' may be changed by others (mode " +
                                  Octal(file.st_mode) + "); it is not loaded.");
    }
    if (!IsTrustedOwner(file.st_uid, groupsFolder)) {
        return Refuse(reason, "The library '" + path + "' belongs to another user (uid " +
                                  std::to_string(file.st_uid) + "); it is not loaded.");
    }
    return true;
}

} // namespace vr
