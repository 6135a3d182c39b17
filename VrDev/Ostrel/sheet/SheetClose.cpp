// The adapter file sheet's closing step: the device libraries are rebuilt from the saved file.
#include "VrDev/Ostrel/sheet/SheetClose.h"

#include "common/trace/Trace.h"
#include "platform/ui/message_box.h"

namespace ostrel {

HRESULT RebuildNotAvailable(const std::u16string& /*adapterFile*/, std::u16string* error) {
    *error = u"Device libraries cannot be rebuilt yet";
    return E_NOTIMPL;
}

bool QueryCloseFile(SheetContext& context) {
    if (!context.HasUnsavedChanges()) {
        return true;
    }
    switch (context.Message(u"Save changes to '" + context.FileName() + u"'?", u"Warning",
                            MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return SUCCEEDED(context.SaveFile()); // a failure is shown, and the window stays with the edits
    case IDNO:
        return true;
    default:
        return false;
    }
}

HRESULT RebuildAfterClose(SheetContext& context, const RebuildLibraries& rebuild) {
    if (!context.HasFile()) {
        return S_FALSE;
    }
    std::u16string error;
    HRESULT hr =
        rebuild ? rebuild(context.FileName(), &error) : RebuildNotAvailable(context.FileName(), &error);
    if (FAILED(hr)) {
        if (error.empty()) {
            error = HResultText(hr);
        }
        TraceError(u"Rebuilding the device libraries of '%ls' failed, Code: 0x%08X.",
                   context.FileName().c_str(), static_cast<unsigned>(hr));
        context.Error(u"The device libraries of '" + context.FileName() + u"' were not rebuilt: " + error);
    }
    return hr;
}

} // namespace ostrel
