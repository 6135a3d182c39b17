// SheetContext: what the pages of the device adapter file sheet share, without widgets: the adapter document,
// the device connection, the hardware manager, the checks and the saving every page uses, and the sheet's
// message boxes. The sheet window owns one; its pages hold a reference to it for their whole life.
//
// Usage (window thread):
//     RecordingMessages messages;                 // a test's; the sheet window shows real boxes
//     ostrel::SheetContext context(messages, rigmont);
//     context.SetAdapterFile(u"/data/Adapter/Meter.daf");
//     context.ChooseConnection(u"Meter");
//     if (context.CanUseDevice()) { ... context.Document() ... context.SaveFile(); }
//
// The document is fixed once a file is chosen: a sheet edits exactly one file. A file that does not load
// (not an adapter document) leaves no file chosen, so the engineer can choose another one.
// Threads: the window thread only; the hardware manager and the connection are objects of other apartments or
// processes reached through COM.
// Failures: every failure the engineer must see goes through SheetMessages (caption "Error", the error icon),
// and the HRESULT is returned; COM failures of queries are traced (common/trace/Trace.h).
#pragma once

#include "Rigmont/include/rigmont.h"
#include "VrDev/Ostrel/model/DeviceAdapterFile.h"
#include "platform/com/comptr.h"

#include <string>
#include <string_view>

namespace ostrel {

// Where the sheet's message boxes go: a window shows them (vr::ui::MessageBox, which tests answer), a
// headless test records them. Show returns the button chosen (IDOK, IDYES, ... of platform/ui/message_box.h).
class SheetMessages {
public:
    virtual ~SheetMessages() = default;
    virtual int Show(std::u16string_view text, std::u16string_view caption, UINT type) = 0;
};

// Why the sheet writes its file: the engineer asked for it (Save File, Save Operation), or a page writes each
// edit as it is made.
enum class SaveKind { Explicit = 0, Edit = 1 };

class SheetContext {
public:
    // messages is borrowed and outlives the context. rigmont: the hardware manager to use (held), or null to
    // create one (class VrRigmont) on first use.
    explicit SheetContext(SheetMessages& messages, IVrRigmont* rigmont = nullptr);
    SheetContext(const SheetContext&) = delete;
    SheetContext& operator=(const SheetContext&) = delete;

    // ---- The adapter document ----
    // The sheet's document; its file name is empty until a file is chosen.
    CDeviceAdapterFile& Document() { return document_; }
    // True once a file that loads was chosen (SetAdapterFile succeeded).
    bool HasFile() const { return hasFile_; }
    const std::u16string& FileName() const { return document_.FileName(); }
    // Gives the document the file path and loads it. On failure shows "File '<path>' is not valid Device
    // Adapter File." and returns the loader's HRESULT; no file is chosen then (another may be chosen), and a
    // file already chosen is never replaced (E_UNEXPECTED, no box).
    HRESULT SetAdapterFile(const std::u16string& path);
    // Saves the document and loads it again from the file. On failure shows "Error during saving '<file>'
    // file." and returns the failure; E_UNEXPECTED with the same box when no file is chosen. A written file
    // that the instrument socket does not load is no success either: S_FALSE, and a box says why. A save the
    // engineer asked for always says it; a save that follows an edit (kind Edit) says a reason once, and not
    // for a file that has no message type yet (it is still being started).
    HRESULT SaveFile(SaveKind kind = SaveKind::Explicit);
    // True when the document differs from what was last loaded or saved (edits the file does not hold yet).
    bool HasUnsavedChanges() const;

    // ---- The device connection ----
    // The connection operations are tried on; null until one is chosen (a page must test it).
    IVrConnection* Connection() const { return connection_.Get(); }
    // Replaces the connection by one the hardware manager makes from the connection record name. On failure
    // shows "Couldn't create '<name>' Connection.", traces the code, holds no connection and returns it.
    HRESULT ChooseConnection(const std::u16string& name);
    // The hardware manager, created on first use; null (traced) when it cannot be created.
    IVrRigmont* Rigmont();

    // ---- Checks and messages ----
    // False with the box "Device Adapter File is not specified!" without a file, with "Device Connection is
    // not specifed!" without a connection; true otherwise.
    bool CanUseDevice();
    // A message box through the sheet's SheetMessages; returns the button chosen.
    int Message(std::u16string_view text, std::u16string_view caption, UINT type);
    // A box with caption "Error", the error icon and OK.
    void Error(std::u16string_view text);

private:
    // Whether the document names any message type (a file the socket can load needs one).
    bool HasMessageTypes();

    SheetMessages& messages_;              // borrowed; outlives the context
    std::u16string toldRefusal_;           // window thread: why the socket refused the file, last told
    CDeviceAdapterFile document_;          // window thread
    bool hasFile_ = false;                 // window thread: a file was chosen and loaded
    std::u16string savedXml_;              // window thread: the document as last loaded or saved
    vr::ComPtr<IVrRigmont> rigmont_;       // window thread; made on first use
    vr::ComPtr<IVrConnection> connection_; // window thread; null until one is chosen
};

} // namespace ostrel
