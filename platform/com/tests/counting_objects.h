// Test objects for the automation value tests: an IUnknown that counts references, an IDispatch with a value.
#pragma once

#include "platform/com/dispatch.h"

namespace vrtest {

// Lives on the test's stack and never deletes itself: the test checks Refs() to see that every AddRef was
// matched by a Release. Starts with the one reference the test holds.
class CountingUnknown final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    ULONG Refs() const { return refs_; }

private:
    ULONG refs_ = 1;
};

// An object whose value property (DISPID_VALUE, property get) returns a copy of Value(); any other call
// fails with DISP_E_MEMBERNOTFOUND. Counted like CountingUnknown.
class ValueObject final : public IDispatch {
public:
    ValueObject() { VariantInit(&value_); }
    ~ValueObject() { static_cast<void>(VariantClear(&value_)); }

    VARIANT& Value() { return value_; }
    ULONG Refs() const { return refs_; }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }

    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT*) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || params->cArgs != 0 || !result) {
            return DISP_E_MEMBERNOTFOUND;
        }
        return VariantCopy(result, &value_);
    }

private:
    ULONG refs_ = 1;
    VARIANT value_;
};

} // namespace vrtest
