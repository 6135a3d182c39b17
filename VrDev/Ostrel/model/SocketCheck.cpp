// The check of an adapter file against the instrument socket's loading.
#include "VrDev/Ostrel/model/SocketCheck.h"

#include "common/options/ParamParser.h"
#include "instruments/Plugmar/include/plugmar.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/com/errorinfo.h"

namespace {

// The description the failing call left, without the location line the socket puts first.
std::u16string FailureDescription() {
    vr::ComPtr<IErrorInfo> info;
    _bstr_t description;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info ||
        FAILED(info->GetDescription(description.GetAddress()))) {
        return {};
    }
    std::u16string text(description.view());
    const size_t lineEnd = text.find(u'\n');
    if (lineEnd != std::u16string::npos && text.substr(0, lineEnd).ends_with(u")") &&
        lineEnd + 1 < text.size()) {
        text.erase(0, lineEnd + 1);
    }
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) {
        text.pop_back();
    }
    return text;
}

} // namespace

HRESULT CheckSocketLoads(const std::u16string& adapterFile, std::u16string* reason) {
    reason->clear();
    vr::ComPtr<IVrSocketProcessor> processor;
    HRESULT hr = CoCreateInstance(CLSID_Socket, nullptr, CLSCTX_INPROC_SERVER,
                                  vr::uuidof<IVrSocketProcessor>(), processor.PutVoid());
    if (FAILED(hr)) {
        *reason = u"The instrument socket can't be created to check the file.";
        return hr;
    }
    // Quoted: a path may hold blanks, commas or semicolons, which would end the item.
    _bstr_t options(u"");
    if (!AppendParam(options.GetAddress(), u"AdapterFile", adapterFile.c_str(), u" ", true)) {
        *reason = u"The file's path holds every kind of quote, so no socket can be told it.";
        return E_INVALIDARG;
    }
    (void)SetErrorInfo(0, nullptr); // cannot fail: clears what an earlier call left
    if (hr = processor->LoadInfo(options); FAILED(hr)) {
        *reason = FailureDescription();
        if (reason->empty()) {
            *reason = u"The socket refuses the file without saying why.";
        }
    }
    return hr;
}
