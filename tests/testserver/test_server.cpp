// CTestServer: arithmetic, a property, an indexed property, optional arguments and a failure with error
// information.
#include "test_server.h"

#include "platform/base/format.h"
#include "platform/com/activation.h"

namespace {

constexpr LONG kMaxTimes = 10;

bool IsMissing(const VARIANT& value) {
    return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

} // namespace

const vr::DispatchTable<CTestServer>& CTestServer::GetDispatchTable() {
    using D = vr::DispatchTable<CTestServer>;
    static const D table(u"IVrTestServer",
                         {
                             D::Method<&CTestServer::Add>(1, u"Add", {u"a", u"b", u"sum"}),
                             D::PropGet<&CTestServer::get_Name>(2, u"Name", {u"name"}),
                             D::PropPut<&CTestServer::put_Name>(2, u"Name", {u"name"}),
                             D::PropGet<&CTestServer::get_Item>(3, u"Item", {u"index", u"value"}),
                             D::PropPut<&CTestServer::put_Item>(3, u"Item", {u"index", u"value"}),
                             D::Method<&CTestServer::Greet>(4, u"Greet",
                                                            {u"name", vr::Param(u"title").Optional(),
                                                             vr::Param(u"times").Optional(LONG{1}), u"text"}),
                             D::Method<&CTestServer::Fail>(5, u"Fail", {u"description"}),
                         });
    return table;
}

HRESULT CTestServer::Add(LONG a, LONG b, LONG* sum) {
    if (!sum) {
        return E_POINTER;
    }
    // Wraps as 32-bit arithmetic does, without the undefined signed overflow.
    *sum = static_cast<LONG>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
    return S_OK;
}

HRESULT CTestServer::get_Name(BSTR* name) {
    return CopyOut(name_, name);
}

HRESULT CTestServer::put_Name(BSTR name) {
    name_ = vr::BstrView(name);
    return S_OK;
}

HRESULT CTestServer::get_Item(LONG index, BSTR* value) {
    if (!value) {
        return E_POINTER;
    }
    if (index < 0 || index >= static_cast<LONG>(items_.size())) {
        return Report(DISP_E_BADINDEX, vr::FormatWString(u"Index %d is out of range.", index));
    }
    return CopyOut(items_[index], value);
}

HRESULT CTestServer::put_Item(LONG index, BSTR value) {
    if (index < 0 || index >= static_cast<LONG>(items_.size())) {
        return Report(DISP_E_BADINDEX, vr::FormatWString(u"Index %d is out of range.", index));
    }
    items_[index] = vr::BstrView(value);
    return S_OK;
}

HRESULT CTestServer::Greet(BSTR name, VARIANT title, LONG times, BSTR* text) {
    if (!text) {
        return E_POINTER;
    }
    if (times < 1 || times > kMaxTimes) {
        return Report(E_INVALIDARG, vr::FormatWString(u"Times must be 1 to %d, not %d.", kMaxTimes, times));
    }
    std::u16string greeting = u"Hello, ";
    if (!IsMissing(title)) {
        VARIANT titleText;
        VariantInit(&titleText);
        if (HRESULT hr = VariantChangeType(&titleText, &title, 0, VT_BSTR); FAILED(hr)) {
            return Report(hr, u"The title cannot be read as text.");
        }
        greeting += std::u16string(vr::BstrView(titleText.bstrVal)) + u" ";
        (void)VariantClear(&titleText);
    }
    greeting += vr::BstrView(name);
    std::u16string all = greeting;
    for (LONG i = 1; i < times; ++i) {
        all += u" " + greeting;
    }
    return CopyOut(all, text);
}

HRESULT CTestServer::Fail(BSTR description) {
    return Report(E_FAIL, vr::BstrView(description));
}

HRESULT CTestServer::Report(HRESULT hr, std::u16string_view description) {
    LPOLESTR progId = nullptr;
    std::u16string source;
    if (SUCCEEDED(ProgIDFromCLSID(CLSID_VrTestServer, &progId))) {
        source = progId;
        CoTaskMemFree(progId);
    }
    return vr::ReportError(hr, GUID_NULL, source, description);
}

HRESULT CTestServer::CopyOut(const std::u16string& text, BSTR* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = vr::AllocBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}
