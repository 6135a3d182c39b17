// The generated libraries' folder: its mode whatever the umask, and the owner and mode checks before loading
// (those of every user data file, platform/base/user_files.h).
#include "platform/base/library_folder.h"

#include "platform/base/paths.h"
#include "platform/base/user_files.h"

#include <sys/stat.h>

namespace vr {
namespace {

constexpr UserFileUse kLibrary{"library", "loaded", false};

} // namespace

std::string GeneratedLibraryFolder() {
    return MapWindowsPath("c:\\Ostrel\\Adapter\\bin");
}

mode_t LibraryFileModeIn(const std::string& folder) {
    return UserFileModeIn(folder) == 0660 ? 0770 : 0700; // a data file's, executable
}

bool MakeLibraryFolder(const std::string& folder, std::string* reason) {
    return MakeUserFolder(folder, reason);
}

bool IsTrustedLibraryFolder(const std::string& folder, std::string* reason) {
    return IsTrustedUserFolder(folder, kLibrary, reason);
}

bool MayLoadLibrary(const std::string& path, std::string* reason) {
    std::string folder = FolderOfPath(path);
    struct stat here {};
    struct stat generated {};
    if (::stat(folder.c_str(), &here) != 0 || ::stat(GeneratedLibraryFolder().c_str(), &generated) != 0 ||
        here.st_dev != generated.st_dev || here.st_ino != generated.st_ino) {
        return true; // not the generated libraries' folder: a missing file is the loader's to report
    }
    // The folder's own refusal first: it is what the user has to put right.
    return IsTrustedLibraryFolder(folder, reason) && IsTrustedUserFile(path, kLibrary, reason);
}

} // namespace vr
