// The handles the registry gives out: the three predefined roots and the keys opened below them.
#pragma once

#include "platform/registry/hive_tree.h"
#include "platform/registry/registry.h"

#include <optional>
#include <string>

namespace vr::registry {

enum class Hive { ClassesRoot, CurrentUser, LocalMachine };

// "HKEY_CLASSES_ROOT", ...: the name that begins every section of the hive's file.
const std::string& HiveName(Hive hive);

// The hive's file under the current registry root: "<root>/HKEY_CURRENT_USER.reg".
std::string HiveFile(Hive hive);

// What a handle stands for. A key opened below a root stays in the hive file it was opened in, even when
// the registry root changes later; the predefined roots always mean the current root's hives.
struct OpenedKey {
    Hive hive = Hive::CurrentUser;
    std::string file;
    KeyPath path;
    REGSAM access = 0;
    bool predefined = false;
};

// Thread contract: any thread may add, look up and remove handles at any time. A look-up returns a copy, so a
// call that races with RegCloseKey of its own handle never touches freed memory.

// The key behind a handle, or nothing when it is not a live handle (never opened, or already closed).
std::optional<OpenedKey> LookUpHandle(HKEY key);
HKEY AddHandle(OpenedKey key);
// False when the handle is not live.
bool RemoveHandle(HKEY key);

} // namespace vr::registry
