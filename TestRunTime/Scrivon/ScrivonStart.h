// What the script executive program does at start before it opens its window: registering or unregistering
// its automation class, and handing its script file to an instance that already runs.
#pragma once

#include "platform/com/hresult.h"

#include <string>
#include <sys/types.h>

namespace scrivon {

// Registers the class VrTestLoader (ProgID "Vornic.TestLoader", the program as its local server) and its type
// library key; Unregister removes both.
[[nodiscard]] HRESULT RegisterScrivon(const std::string& programPath);
[[nodiscard]] HRESULT UnregisterScrivon(const std::string& programPath);

// The file name as another process must see it: a relative name is made absolute against the current
// folder (the running instance has its own); an empty name stays empty.
std::string AbsoluteScriptPath(const std::string& file);

enum class ForwardOutcome {
    NoInstance, // no running instance was found: this one opens its window
    Forwarded,  // the running instance loaded (or tried to load) the file and came to the front
    Failed,     // a running instance was found but the calls failed; *errorText says why
};
// Finds the running instance in the running object table and, when a serial number is given, types it into
// the instance's field (its SN); then calls its Load with the file, then Popup.
// *runningProcess: the running instance's process id when it was found (0 when not known).
ForwardOutcome ForwardToRunningInstance(const std::string& file, const std::string* serialNumber,
                                        std::string* errorText, pid_t* runningProcess);

// What a start that handed its file to the running instance tells its user on standard output: that the file
// went there, not to a new window, and which process that is (its environment, not this one's, runs it).
std::string ForwardedText(const std::string& file, pid_t runningProcess);

} // namespace scrivon
