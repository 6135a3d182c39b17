// CTestScriptExecutive::ScriptLanguages: the installed script parsers less the configured exclusions.
#include "ScriptExecutive.h"

#include "common/config/VrConfigData.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/com/activation.h"
#include "platform/scripting/comcat.h"

namespace scripvane {

namespace {

constexpr ULONG kBatchSize = 20;
constexpr const char16_t* kDefaultExclusions = u"XML VBScript.Encode JScript.Encode";

std::u16string ExcludedLanguages() {
    CVrConfigData config;
    BSTR value = nullptr;
    if (!config.GetItem("ExcludedScriptLanguages", &value, false)) {
        return kDefaultExclusions;
    }
    std::u16string text(vr::BstrView(value));
    SysFreeString(value);
    return text;
}

// Grows the 1-D VARIANT array by one VT_BSTR element.
bool AppendText(SAFEARRAY** array, std::u16string_view text) {
    LONG count = 0;
    if (*array) {
        LONG upper = -1;
        (void)SafeArrayGetUBound(*array, 1, &upper);
        count = upper + 1;
        SAFEARRAYBOUND bound{static_cast<ULONG>(count + 1), 0};
        if (FAILED(SafeArrayRedim(*array, &bound))) {
            return false;
        }
    } else {
        *array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
        if (!*array) {
            return false;
        }
    }
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_BSTR;
    element.bstrVal = vr::AllocBstr(text);
    HRESULT hr = SafeArrayPutElement(*array, &count, &element);
    (void)VariantClear(&element);
    return SUCCEEDED(hr);
}

} // namespace

HRESULT CTestScriptExecutive::get_ScriptLanguages(VARIANT* pVal) {
    SetTraceMethodName(u"IScrivon::get_ScriptLanguages()");
    if (!pVal) {
        return E_POINTER;
    }
    VariantInit(pVal);
    vr::ComPtr<ICatInformation> categories;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr,
                                  CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                  vr::uuidof<ICatInformation>(), categories.PutVoid());
    if (FAILED(hr)) {
        SetTraceSite();
        TraceError(u"Couldn't load the COM's Category Manager.");
        return Fail(hr);
    }
    SAFEARRAY* result = nullptr;
    std::u16string all;
    CollectLanguages(categories.Get(), ExcludedLanguages(), &result, &all);
    if (!result) {
        result = SafeArrayCreateVector(VT_VARIANT, 0, 0); // no language: an empty list, not a missing one
    }
    pVal->vt = VT_ARRAY | VT_VARIANT;
    pVal->parray = result;
    BSTR text = VariantToTextBstr(pVal);
    TraceInfo(u"varResult = '%s'; (All available Script Languages: '%s')", text ? text : u"", all.c_str());
    SysFreeString(text);
    return S_OK;
}

void CTestScriptExecutive::CollectLanguages(ICatInformation* categories, const std::u16string& excluded,
                                            SAFEARRAY** result, std::u16string* all) {
    vr::ComPtr<IEnumCLSID> classes;
    CATID parsers = CATID_ActiveScriptParse;
    if (FAILED(categories->EnumClassesOfCategories(1, &parsers, 0, nullptr, classes.Put())) || !classes) {
        return;
    }
    CLSID batch[kBatchSize];
    ULONG fetched = kBatchSize;
    while (fetched == kBatchSize) {
        fetched = 0;
        if (FAILED(classes->Next(kBatchSize, batch, &fetched))) {
            return;
        }
        for (ULONG i = 0; i < fetched; ++i) {
            LPOLESTR progId = nullptr;
            if (FAILED(ProgIDFromCLSID(batch[i], &progId)) || !progId) {
                continue;
            }
            if (!all->empty()) {
                *all += u", ";
            }
            *all += progId;
            if (!IsParamTrue(excluded.c_str(), progId)) {
                (void)AppendText(result, progId);
            }
            CoTaskMemFree(progId);
        }
    }
}

} // namespace scripvane
