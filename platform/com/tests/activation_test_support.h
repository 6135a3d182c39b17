// Shared pieces of the activation tests: a fresh registry per test, registry reads, and counted objects.
#pragma once

#include "platform/com/activation.h"
#include "platform/com/dispatch.h"
#include "platform/registry/registry.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace vrtest {

// Each test starts on an empty registry root of its own and in a single-threaded apartment.
class FreshRegistryTest : public testing::Test {
protected:
    void SetUp() override {
        previousRoot_ = std::getenv("VORNIC_REGISTRY");
        setenv("VORNIC_REGISTRY", MakeFreshFolder("registry").c_str(), 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        setenv("VORNIC_REGISTRY", previousRoot_.c_str(), 1);
    }

private:
    std::string previousRoot_;
};

// A text value under HKEY_CLASSES_ROOT, or nothing when the key or value is missing.
inline std::optional<std::u16string> ReadClassesText(const std::u16string& key, const char16_t* value = u"") {
    HKEY handle = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    OLECHAR buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(OLECHAR);
    DWORD type = REG_NONE;
    LONG status = RegQueryValueEx(handle, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    return std::u16string(buffer);
}

inline bool ClassesKeyExists(const std::u16string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

inline void WriteClassesText(const std::u16string& key, const char16_t* value, const std::u16string& text) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                             nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(handle, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR))),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

// An IDispatch object that counts its references and reports its destruction. DISPID 1 ("Answer") returns
// 7 as VT_I4; a hook may run inside Invoke.
class CountedDispatch final : public IDispatch {
public:
    explicit CountedDispatch(std::atomic<bool>* destroyed = nullptr) : destroyed_(destroyed) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            if (onDestroy) {
                onDestroy();
            }
            if (destroyed_) {
                *destroyed_ = true;
            }
            delete this;
        }
        return left;
    }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1 || std::u16string_view(names[0]) != u"Answer") {
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = 1;
        return S_OK;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != 1) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (duringInvoke) {
            duringInvoke();
        }
        if (result) {
            result->vt = VT_I4;
            result->lVal = 7;
        }
        return S_OK;
    }

    ULONG References() const { return refs_.load(); }

    std::function<void()> duringInvoke;
    std::function<void()> onDestroy;

private:
    ~CountedDispatch() = default;

    std::atomic<ULONG> refs_{1};
    std::atomic<bool>* destroyed_;
};

// Calls DISPID 1 through IDispatch and returns the HRESULT.
inline HRESULT CallAnswer(IDispatch* dispatch, LONG* answer = nullptr) {
    VARIANT result{};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = dispatch->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    if (answer && SUCCEEDED(hr) && result.vt == VT_I4) {
        *answer = result.lVal;
    }
    return hr;
}

} // namespace vrtest
