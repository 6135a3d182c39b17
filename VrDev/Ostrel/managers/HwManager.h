// HwManager: the logic of the studio's connection and device management windows without widgets. It shows
// one record of the hardware manager's store at a time (name, server, resource), makes the connection or
// socket object of that record for the attribute editor, and saves, removes and creates records.
//
// Usage (window thread):
//     HwManager logic(HwKind::kConnection, rigmont, nullptr);
//     logic.SelectName(u"Meter");          // loads the record and makes its object
//     logic.SetServer(u"Vornic.CnVISA");   // stores the changed field at once
//     logic.Save(attributeString);         // the editor control's attributes
//
// Device records name generated library files, so a device's name must be usable as a file name: a name with
// a path separator or ".." never reaches the file system (see IsFileSafeName).
// Threads: the window thread; the hardware manager is another process reached through COM.
// Failures: every failure ends in Status(); nothing throws, no message box opens.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "VrDev/Ostrel/typelib/SocketLibraries.h"
#include "common/attrvalues/RecentValues.h"
#include "platform/com/comptr.h"

#include <string>
#include <vector>

namespace ostrel {

inline constexpr const char16_t* kUndefined = u"<Undefined>";

// What the device window does with the generated device libraries, which live beside the studio's adapter
// files. Rebuild regenerates one device's library from its adapter file; Remove deletes what was generated.
// Threads: the window thread. Failures: Rebuild's text says what went wrong.
class DeviceLibraries {
public:
    virtual ~DeviceLibraries() = default;
    // S_OK, or a failure with *error describing it.
    virtual HRESULT Rebuild(const std::u16string& device, const std::u16string& adapterFile,
                            std::u16string* error) = 0;
    virtual void Remove(const std::u16string& device) = 0;
};

// The generated files of each device in one folder: <device>.dll and <device>.tlb (SocketLibraries.h).
// Rebuilding generates them anew from the adapter file and registers the library; removing unregisters the
// library when it can and deletes both files, never a file outside the folder.
class DeviceLibraryFolder final : public DeviceLibraries {
public:
    // The system's folder and template library.
    DeviceLibraryFolder() : places_(DefaultSocketLibraryPlaces()) {}
    // Another folder, with the system's template library.
    explicit DeviceLibraryFolder(std::string folder);
    HRESULT Rebuild(const std::u16string& device, const std::u16string& adapterFile,
                    std::u16string* error) override;
    void Remove(const std::u16string& device) override;

private:
    SocketLibraryPlaces places_; // fixed at construction
};

enum class HwKind { kConnection, kDevice };

// What the Server field's text is: "<Undefined>", a registered ProgID (a class can be found for it), or
// neither.
enum class ServerCheck { kUndefined, kRegistered, kUnknown };
ServerCheck CheckServer(const std::u16string& server);

// The new-name dialog's texts for a kind word ("Connection", "Device", "Operation", ...).
std::u16string NewNameCaption(std::u16string_view kind);
std::u16string NewNamePrompt(std::u16string_view kind);

class HwManager {
public:
    // rigmont is held; libraries (devices only, may be null: nothing rebuilt or removed) is borrowed.
    HwManager(HwKind kind, IVrRigmont* rigmont, DeviceLibraries* libraries);

    HwKind Kind() const { return kind_; }
    const char16_t* CaptionWord() const;
    const char16_t* RecordType() const;
    const char16_t* ResourceLabel() const;
    const char* EditorOptions() const;
    const char* AttributeOptions() const;

    // The names of the records of a type, those beginning with "_" left out; a failure shows in Status().
    std::vector<std::u16string> RecordNames(const char16_t* type);
    // The choices of the third field: connection records for a device; for a connection the resources the
    // hardware manager finds for the current server.
    std::vector<std::u16string> ResourceChoices();

    // The first field chose a name (kUndefined: none): loads the record and makes its object.
    void SelectName(const std::u16string& name);
    // The second or third field changed: stores the record at once when it differs from the store. A
    // server that is no registered ProgID is refused (false, the status says so); a stored one becomes
    // the newest of the recent servers.
    bool SetServer(const std::u16string& server);
    // The Server field's choices: the servers stored recently from this kind of window, newest first.
    std::vector<std::u16string> ServerChoices() const;
    void SetResource(const std::u16string& resource);
    // The attribute editor changed an attribute: a device stores a chosen, existing adapter file.
    void AttributeChanged(const std::u16string& name, const std::u16string& value);
    // The editor control could not show the object's attributes.
    void AttributesNotShown();

    void Save(const std::u16string& attributes);
    void Remove();
    // New with the name the new-name dialog gave: selects an existing record, else stores a copy of
    // "_default" under the name and selects it.
    void New(const std::u16string& name);

    const std::u16string& Name() const { return name_; }
    const std::u16string& Server() const { return server_; }
    const std::u16string& Resource() const { return resource_; }
    const std::u16string& Setup() const { return setup_; }
    const std::u16string& Status() const { return status_; }
    bool RecordLoaded() const { return recordLoaded_; }
    // The object made from the record (a connection or a socket); null when none.
    IUnknown* Object() const { return object_.Get(); }
    // Counts the loads of a record (or of none), so a view knows when the object changed.
    unsigned LoadCount() const { return loadCount_; }
    // The attribute collection of the object, which the attribute editor edits; null when none.
    vr::ComPtr<IVrAttributeCollection> Attributes() const;
    // The connection to test; null for a device or when no object was made.
    vr::ComPtr<IVrConnection> TestConnection() const;

private:
    void Load();
    HRESULT CreateObject();
    // Stores name, server and resource with the setup string, adding the items of addition (quoted values):
    // S_OK when stored, S_FALSE when nothing was to store, a failure (the status says so).
    HRESULT ApplyFields(const std::u16string& addition);
    std::u16string Said(const char* format, const std::u16string& name, HRESULT hr = S_OK) const;

    HwKind kind_;                          // fixed
    vr::ComPtr<IVrRigmont> rigmont_;       // window thread
    DeviceLibraries* libraries_;           // borrowed, window thread; may be null
    std::u16string name_ = kUndefined;     // window thread: the record shown
    std::u16string server_ = kUndefined;   // window thread: second field
    std::u16string resource_ = kUndefined; // window thread: third field
    std::u16string setup_;                 // window thread: the record's joined setup string
    std::u16string status_;                // window thread
    bool recordLoaded_ = false;            // window thread
    vr::ComPtr<IUnknown> object_;          // window thread
    unsigned loadCount_ = 0;               // window thread
    RecentValues recentServers_{5};        // window thread: oldest first
};

} // namespace ostrel
