// The error object of CreateErrorInfo, the per-thread error slot, and the helpers that report with them.
#include "platform/com/errorinfo.h"

#include "platform/base/text.h"

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <utility>

namespace {

// An error object: what a failing method tells its caller beyond the HRESULT. Fields are guarded by a mutex
// because the object may be handed from the thread that made it to another one.
class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IErrorInfo
    HRESULT GetGUID(GUID* guid) override {
        if (!guid) {
            return E_POINTER;
        }
        std::lock_guard lock(mutex_);
        *guid = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return CopyOut(source_, source); }
    HRESULT GetDescription(BSTR* description) override { return CopyOut(description_, description); }
    HRESULT GetHelpFile(BSTR* helpFile) override { return CopyOut(helpFile_, helpFile); }
    HRESULT GetHelpContext(DWORD* helpContext) override {
        if (!helpContext) {
            return E_POINTER;
        }
        std::lock_guard lock(mutex_);
        *helpContext = helpContext_;
        return S_OK;
    }

    // ICreateErrorInfo
    HRESULT SetGUID(REFGUID guid) override {
        std::lock_guard lock(mutex_);
        guid_ = guid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR source) override { return CopyIn(source, source_); }
    HRESULT SetDescription(LPOLESTR description) override { return CopyIn(description, description_); }
    HRESULT SetHelpFile(LPOLESTR helpFile) override { return CopyIn(helpFile, helpFile_); }
    HRESULT SetHelpContext(DWORD helpContext) override {
        std::lock_guard lock(mutex_);
        helpContext_ = helpContext;
        return S_OK;
    }

private:
    HRESULT CopyOut(const std::u16string& field, BSTR* out) {
        if (!out) {
            return E_POINTER;
        }
        std::lock_guard lock(mutex_);
        *out = vr::AllocBstr(field);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT CopyIn(const OLECHAR* text, std::u16string& field) {
        try {
            std::u16string copy(vr::U16View(text));
            std::lock_guard lock(mutex_);
            field = std::move(copy);
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    GUID guid_ = GUID_NULL;
    std::u16string source_;
    std::u16string description_;
    std::u16string helpFile_;
    DWORD helpContext_ = 0;
};

// The thread's error slot. Releasing the held object may run code that sets a new one (an error object of
// another module), hence the loop.
struct ErrorSlot {
    IErrorInfo* info = nullptr;
    ~ErrorSlot() {
        while (IErrorInfo* held = std::exchange(info, nullptr)) {
            held->Release();
        }
    }
};
thread_local ErrorSlot t_slot;

// Takes a string out of an error object; null when it has none or the copy fails.
template <class Getter>
BSTR TakeString(IErrorInfo* info, Getter getter) {
    BSTR text = nullptr;
    if (FAILED((info->*getter)(&text))) {
        return nullptr;
    }
    return text;
}

} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
    if (!info) {
        return E_POINTER;
    }
    auto* object = new (std::nothrow) ErrorObject();
    *info = object ? static_cast<ICreateErrorInfo*>(object) : nullptr;
    return object ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
    if (reserved != 0) {
        return E_INVALIDARG;
    }
    if (info) {
        info->AddRef();
    }
    // Swap first, release after: the old object's release may call back into SetErrorInfo.
    if (IErrorInfo* old = std::exchange(t_slot.info, info)) {
        old->Release();
    }
    return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) {
    if (!info) {
        return E_POINTER;
    }
    *info = nullptr;
    if (reserved != 0) {
        return E_INVALIDARG;
    }
    *info = std::exchange(t_slot.info, nullptr);
    return *info ? S_OK : S_FALSE;
}

namespace vr {

HRESULT ReportError(HRESULT hr, const GUID& iid, std::u16string_view source,
                    std::u16string_view description) {
    ICreateErrorInfo* create = nullptr;
    IErrorInfo* info = nullptr;
    try {
        std::u16string sourceText(source);
        std::u16string descriptionText(description);
        if (SUCCEEDED(CreateErrorInfo(&create)) && SUCCEEDED(create->SetGUID(iid)) &&
            SUCCEEDED(create->SetSource(sourceText.data())) &&
            SUCCEEDED(create->SetDescription(descriptionText.data()))) {
            (void)create->QueryInterface(&info);
        }
    } catch (const std::bad_alloc&) {
        // Reported below as "no information" rather than letting the failure escape a COM method.
    }
    (void)SetErrorInfo(0, info); // null clears what an earlier failure left
    if (info) {
        info->Release();
    }
    if (create) {
        create->Release();
    }
    return hr;
}

void FillExcepInfo(EXCEPINFO* excep, HRESULT hr) {
    if (!excep) {
        return;
    }
    *excep = EXCEPINFO{};
    excep->scode = hr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK) {
        excep->bstrSource = TakeString(info, &IErrorInfo::GetSource);
        excep->bstrDescription = TakeString(info, &IErrorInfo::GetDescription);
        excep->bstrHelpFile = TakeString(info, &IErrorInfo::GetHelpFile);
        (void)info->GetHelpContext(&excep->dwHelpContext);
        info->Release();
        return;
    }
    try {
        std::u16string text = HResultMessage(hr);
        excep->bstrDescription = text.empty() ? nullptr : AllocBstr(text);
    } catch (const std::bad_alloc&) {
        // The caller still gets the scode; a description is not worth failing Invoke over.
    }
}

std::u16string TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) {
        return {};
    }
    BSTR description = TakeString(info, &IErrorInfo::GetDescription);
    info->Release();
    std::u16string text(BstrView(description));
    SysFreeString(description);
    return text;
}

void ClearExcepInfo(EXCEPINFO* excep) {
    if (!excep) {
        return;
    }
    SysFreeString(excep->bstrSource);
    SysFreeString(excep->bstrDescription);
    SysFreeString(excep->bstrHelpFile);
    *excep = EXCEPINFO{};
}

} // namespace vr
