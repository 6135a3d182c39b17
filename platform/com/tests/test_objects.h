// Small hand-written objects for the error and smart-type tests: they count their references and releases.
#pragma once

#include "platform/com/errorinfo.h"

#include <atomic>

namespace vrtest {

// An object that answers IUnknown and, when asked to, ISupportErrorInfo for one interface. Never deleted by
// Release, so that tests can read its count after the last reference is gone.
class SupportErrorObject final : public ISupportErrorInfo {
public:
    SupportErrorObject(bool offersSupport, const IID& supportedIid)
        : offersSupport_(offersSupport), supportedIid_(supportedIid) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid == IID_IUnknown || (offersSupport_ && riid == IID_ISupportErrorInfo)) {
            *ppv = static_cast<ISupportErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        return failQueries_ ? E_UNEXPECTED : E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == supportedIid_ ? S_OK : S_FALSE;
    }

    // Makes failed queries answer E_UNEXPECTED instead of E_NOINTERFACE.
    void FailQueries() { failQueries_ = true; }
    ULONG References() const { return refs_; }

private:
    std::atomic<ULONG> refs_{0};
    bool offersSupport_;
    IID supportedIid_;
    bool failQueries_ = false;
};

// Counts how often an error object was released to zero: stands in for the error object of another module.
class CountedErrorInfo final : public IErrorInfo {
public:
    // successor, when given, is made the thread's error information while this object is destroyed, as an
    // error object whose cleanup reports a failure of its own would do.
    explicit CountedErrorInfo(std::atomic<int>* destroyed, IErrorInfo* successor = nullptr)
        : destroyed_(destroyed), successor_(successor) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            ++*destroyed_;
            if (successor_) {
                (void)SetErrorInfo(0, successor_);
                successor_->Release();
            }
            delete this;
        }
        return left;
    }
    HRESULT GetGUID(GUID* guid) override {
        *guid = GUID_NULL;
        return S_OK;
    }
    HRESULT GetSource(BSTR* text) override { return Empty(text); }
    HRESULT GetDescription(BSTR* text) override { return Empty(text); }
    HRESULT GetHelpFile(BSTR* text) override { return Empty(text); }
    HRESULT GetHelpContext(DWORD* context) override {
        *context = 0;
        return S_OK;
    }

private:
    static HRESULT Empty(BSTR* text) {
        *text = nullptr;
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    std::atomic<int>* destroyed_;
    IErrorInfo* successor_; // owned
};

} // namespace vrtest
