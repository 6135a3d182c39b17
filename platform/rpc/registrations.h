// The active objects that other processes published in the runtime folder, looked up through a generation
// counter shared by every process of the user, so that an unchanged table costs one memory read.
//
// Every registration, revocation and removal of a dead registrant's file bumps a 64-bit counter in the small
// file "rot-generation" of the runtime folder (mapped into each process). A process remembers what it found
// for a class together with the generation it saw, and reads the folder again only when the generation moved.
// The counter is read before the folder, and bumped after a file was written or removed, so a registration
// that a reader's scan missed always moves the generation past the one remembered with that scan.
//
// Failures: when the counter file cannot be had (missing and not creatable, not a regular file of this user,
// not mappable) nothing is remembered: every lookup reads the folder, as it did before the counter existed.
// Where the folder or its counter file is replaced under a running process (the folder emptied, the
// environment changed), the process takes the new one at its next lookup after an environment change, and at
// the latest kRevalidation after the change otherwise.
//
// Threads: every function may be called from any thread; one lock guards the remembered lookups and the
// mapping. A forked child forgets the lookups of its parent (its own registrations are not the parent's).
#pragma once

#include "platform/com/guid.h"

#include <chrono>
#include <string>
#include <vector>

namespace vr::rpc::detail {

// How long a process trusts the identity of its runtime folder and counter file without looking again.
inline constexpr std::chrono::milliseconds kRevalidation{200};

// The files of a class's active objects published by other processes, in the order they are tried.
struct PublishedElsewhere {
    std::string folder;             // empty: no usable runtime folder
    std::vector<std::string> names; // file names in folder, oldest registration first
};

// The start of the file names of clsid's active objects: "active-{clsid}-", followed by the publishing
// process's id, "-" and the registration's cookie.
std::string ActiveObjectFilePrefix(const CLSID& clsid);

// True when the last lookup of clsid found no other process's registration and the generation has not moved
// since: the common case of a trace line with no tracer running. False when unknown (then call Find).
[[nodiscard]] bool KnownAbsentElsewhere(const CLSID& clsid);

// The registrations of clsid by other processes: remembered ones while the generation stands, else read from
// the folder afresh (and remembered with the generation seen before the read).
PublishedElsewhere FindPublishedElsewhere(const CLSID& clsid);

// Tells every process that the folder's registrations changed: after this process wrote or removed one of
// its files, or removed the file of a registrant that no longer runs.
void BumpRegistrationGeneration(const std::string& folder);

} // namespace vr::rpc::detail
