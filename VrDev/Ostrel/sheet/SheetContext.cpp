// The adapter file sheet's shared context: its document, connection and hardware manager.
#include "VrDev/Ostrel/sheet/SheetContext.h"

#include "VrDev/Ostrel/model/SocketCheck.h"
#include "common/trace/Trace.h"
#include "platform/com/activation.h"
#include "platform/com/comutil.h"
#include "platform/ui/message_box.h"

namespace ostrel {

namespace {

// A loaded document is an adapter document when its root is the definitions element.
bool IsAdapterDocument(CDeviceAdapterFile& document) {
    vr::xml::Node root;
    return SUCCEEDED(document.GetElement(u"/definitions", &root)) && root;
}

} // namespace

SheetContext::SheetContext(SheetMessages& messages, IVrRigmont* rigmont)
    : messages_(messages), rigmont_(rigmont) {}

HRESULT SheetContext::SetAdapterFile(const std::u16string& path) {
    if (hasFile_) {
        return E_UNEXPECTED; // the sheet edits exactly one file
    }
    HRESULT hr = document_.SetFileName(path.c_str());
    if (SUCCEEDED(hr)) {
        (void)document_.ReleaseDocument(); // nothing is loaded yet or under another name: nothing to lose
        hr = document_.Load();
    }
    if (SUCCEEDED(hr) && !IsAdapterDocument(document_)) {
        hr = E_FAIL;
    }
    if (FAILED(hr)) {
        (void)document_.SetFileName(u""); // empties the name and drops the document: always succeeds
        Error(u"File '" + path + u"' is not valid Device Adapter File.");
        return hr;
    }
    hasFile_ = true;
    savedXml_ = document_.GetDocument().xml();
    return S_OK;
}

bool SheetContext::HasUnsavedChanges() const {
    return hasFile_ && document_.GetDocument() && document_.GetDocument().xml() != savedXml_;
}

HRESULT SheetContext::SaveFile(SaveKind kind) {
    HRESULT hr = hasFile_ ? document_.Save() : E_UNEXPECTED;
    if (SUCCEEDED(hr)) {
        (void)document_.ReleaseDocument(); // the load below reads what was written
        hr = document_.Load();
    }
    if (FAILED(hr)) {
        Error(u"Error during saving '" + FileName() + u"' file.");
        return hr;
    }
    savedXml_ = document_.GetDocument().xml();
    // Written is not yet usable: the file is checked the way the socket loads it for a script.
    std::u16string reason;
    if (SUCCEEDED(CheckSocketLoads(FileName(), &reason))) {
        toldRefusal_.clear();
        return S_OK;
    }
    TraceError(u"The saved file '%ls' does not load in the instrument socket: %ls", FileName().c_str(),
               reason.c_str());
    if (kind == SaveKind::Explicit || (reason != toldRefusal_ && HasMessageTypes())) {
        Error(u"'" + FileName() + u"' was saved, but the instrument socket can't load it:\n" + reason);
        toldRefusal_ = reason;
    }
    return S_FALSE;
}

bool SheetContext::HasMessageTypes() {
    std::vector<std::u16string> names;
    return SUCCEEDED(document_.GetInputMessageNames(names, nullptr)) && !names.empty();
}

HRESULT SheetContext::ChooseConnection(const std::u16string& name) {
    connection_ = nullptr;
    IVrRigmont* rigmont = Rigmont();
    HRESULT hr = rigmont
                     ? rigmont->CreateConnection(_bstr_t(name.c_str()), _variant_t(u""), connection_.Put())
                     : REGDB_E_CLASSNOTREG;
    if (SUCCEEDED(hr) && !connection_) {
        hr = E_POINTER;
    }
    if (FAILED(hr)) {
        connection_ = nullptr;
        TraceError(u"Couldn't create '%ls' Connection, Code: 0x%08X.", name.c_str(),
                   static_cast<unsigned>(hr));
        Error(u"Couldn't create '" + name + u"' Connection.");
    }
    return hr;
}

IVrRigmont* SheetContext::Rigmont() {
    if (!rigmont_) {
        HRESULT hr =
            CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_ALL, IID_IVrRigmont, rigmont_.PutVoid());
        if (FAILED(hr)) {
            TraceError(u"Error while working with VrRigmont; Code: 0x%08X.", static_cast<unsigned>(hr));
        }
    }
    return rigmont_.Get();
}

bool SheetContext::CanUseDevice() {
    if (!hasFile_) {
        Error(u"Device Adapter File is not specified!");
        return false;
    }
    if (!connection_) {
        Error(u"Device Connection is not specifed!");
        return false;
    }
    return true;
}

int SheetContext::Message(std::u16string_view text, std::u16string_view caption, UINT type) {
    return messages_.Show(text, caption, type);
}

void SheetContext::Error(std::u16string_view text) {
    (void)Message(text, u"Error", MB_OK | MB_ICONERROR); // one button: the answer is always OK
}

} // namespace ostrel
