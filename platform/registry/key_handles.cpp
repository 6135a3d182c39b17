// The handles the registry gives out: the three predefined roots and the keys opened below them.
#include "platform/registry/key_handles.h"

#include <mutex>
#include <unordered_set>

struct VrRegistryKey {
    vr::registry::OpenedKey key;
};

namespace {

// The predefined roots are identified by address only and never dereferenced, so they are usable from any
// static initializer.
VrRegistryKey g_predefinedKeys[3];

std::mutex g_handlesMutex;
// Never destroyed: handles may be closed from other objects' destructors at exit.
std::unordered_set<HKEY>& LiveHandles() {
    static auto& handles = *new std::unordered_set<HKEY>();
    return handles;
}

} // namespace

HKEY const HKEY_CLASSES_ROOT = &g_predefinedKeys[0];
HKEY const HKEY_CURRENT_USER = &g_predefinedKeys[1];
HKEY const HKEY_LOCAL_MACHINE = &g_predefinedKeys[2];

namespace vr::registry {

const std::string& HiveName(Hive hive) {
    static const std::string kNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
    return kNames[static_cast<int>(hive)];
}

std::string HiveFile(Hive hive) {
    return RegistryRoot() + "/" + HiveName(hive) + ".reg";
}

std::optional<OpenedKey> LookUpHandle(HKEY key) {
    for (Hive hive : {Hive::ClassesRoot, Hive::CurrentUser, Hive::LocalMachine}) {
        if (key == &g_predefinedKeys[static_cast<int>(hive)]) {
            return OpenedKey{hive, HiveFile(hive), {}, KEY_ALL_ACCESS, true};
        }
    }
    std::lock_guard<std::mutex> guard(g_handlesMutex);
    if (key == nullptr || LiveHandles().count(key) == 0) {
        return std::nullopt;
    }
    return key->key;
}

HKEY AddHandle(OpenedKey key) {
    HKEY handle = new VrRegistryKey{std::move(key)};
    std::lock_guard<std::mutex> guard(g_handlesMutex);
    LiveHandles().insert(handle);
    return handle;
}

bool RemoveHandle(HKEY key) {
    {
        std::lock_guard<std::mutex> guard(g_handlesMutex);
        if (LiveHandles().erase(key) == 0) {
            return false;
        }
    }
    delete key;
    return true;
}

} // namespace vr::registry
