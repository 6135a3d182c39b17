// The generation of device socket libraries: for a device (a socket record of the hardware manager that names
// a device adapter file) a copy of the template library, stamped with the device's registration script and
// type library and registered, so scripts create the device by its own class ("Vornic.Device.<device>").
//
// Usage (the studio's window thread):
//     ostrel::RebuildAdapterSockets(u"", adapterFile);     // every device that uses this adapter file
//     ostrel::CreateSocketDll(u"dmm", adapterFile);        // one device
//     ostrel::RebuildAdapterLibraries(adapterFile, &error); // the adapter sheet's steps when it closes
//
// The places are the system's fixed ones mapped onto this machine (vr::MapWindowsPath): the generated
// "<device>.dll" and "<device>.tlb" in "c:\Ostrel\Adapter\bin", the template "c:\Ostrel\bin\Templon.dll".
// A device's GUIDs are derived from its name (TypeLibBuilder.h), so two devices whose names add up alike
// would share them: the second one is refused while the first one's registered library exists.
//
// Threads: the thread that owns the studio's apartment; one generation at a time (registrations of the
// same device from two threads would race).
// Failures: every failure is traced and kept as LastErrorText() (common/trace/Trace.h), which the functions
// that take an error text also hand back. A failed stamping leaves the device's earlier library (if any) in
// place and registers nothing; nothing shows a message box.
#pragma once

#include "platform/base/types.h"
#include "platform/com/hresult.h"

#include <string>

namespace ostrel {

// Where generation reads and writes (Linux paths).
struct SocketLibraryPlaces {
    std::string outputFolder; // the generated libraries and type libraries
    std::string templatePath; // the template library each device's library is copied from
};
// The system's places, mapped onto this machine.
SocketLibraryPlaces DefaultSocketLibraryPlaces();

// "<output folder>/<device>.tlb" and "<output folder>/<device>.dll".
std::string SocketTypeLibraryPath(const SocketLibraryPlaces& places, const std::u16string& device);
std::string SocketLibraryPath(const SocketLibraryPlaces& places, const std::u16string& device);

// Copies the template into "<outputFolder>/<device>.dll" with its resources REGISTRY 102 (the template's
// script with "<DEVICE>" replaced by the device name, each apostrophe doubled for the script's quoted
// strings, "<CLSID>" and "<LIBID>" by the type library's class and library GUIDs) and TYPELIB 1 (the bytes
// of the type library file), both in language 0x1009. The copy is stamped under a temporary name and renamed
// into place, so the path never holds an unstamped library. *libraryPath receives the library's path first.
// Failures: E_INVALIDARG for a name that cannot name a file, the type library's load failure, else E_FAIL
// (file, resource and folder failures).
[[nodiscard]] HRESULT UpdateSocketDllResources(const std::u16string& device,
                                               const std::string& typeLibraryPath,
                                               const std::string& templatePath,
                                               const std::string& outputFolder, std::string* libraryPath);

// Builds the device's type library from the adapter file's member description (the socket's GetInfo), stamps
// its library and registers it (the library's DllRegisterServer). Failures: the socket's, the builder's, the
// stamping's and the registration's HRESULT (E_FAIL when the library cannot be loaded or has no
// DllRegisterServer); E_INVALIDARG for a name that cannot name a file; CO_E_CLASSSTRING when the device's
// GUIDs belong to another device's registered library.
[[nodiscard]] HRESULT CreateSocketDll(const std::u16string& device, const std::u16string& adapterFile,
                                      const SocketLibraryPlaces& places = DefaultSocketLibraryPlaces());

// With a device name: CreateSocketDll for it. Without: CreateSocketDll for every socket record of the
// hardware manager whose setup string's AdapterFile item names the same file as adapterFile (also through a
// symbolic link or a relative path, from the studio's folder); a device that fails does not
// stop the others, and the first device's failure is returned (LastErrorText says it). E_FAIL when the
// hardware manager fails; S_OK also when no record uses the file.
[[nodiscard]] HRESULT RebuildAdapterSockets(const std::u16string& device, const std::u16string& adapterFile,
                                            const SocketLibraryPlaces& places = DefaultSocketLibraryPlaces());

// What the adapter file's sheet does once it is closed with a file: the adapter's own type library (named
// after the file, in the folder "bin" beside it, as the socket describes it), then every device library that
// uses the file (RebuildAdapterSockets(u"", adapterFile)). S_OK, or the first failure with *error (optional)
// saying what went wrong; a failed device's library does not keep the others from being generated.
[[nodiscard]] HRESULT
RebuildAdapterLibraries(const std::u16string& adapterFile, std::u16string* error,
                        const SocketLibraryPlaces& places = DefaultSocketLibraryPlaces());

// Unregisters the device's library (its DllUnregisterServer, when it loads) and deletes its library and
// type library. A name that cannot name a file deletes nothing.
void RemoveSocketDll(const std::u16string& device,
                     const SocketLibraryPlaces& places = DefaultSocketLibraryPlaces());

// True when name can stand as one file name in a folder: not empty, no "/" or "\", not "." or "..", and no
// ".." anywhere.
bool IsFileSafeName(std::u16string_view name);

} // namespace ostrel
