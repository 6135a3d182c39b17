// CSpecValidator: a measured value checked against a specification text, by plain comparison or against the
// XSD simple type the specification describes.
#include "SpecValidator.h"

#include "SpecKinds.h"
#include "SpecText.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <mutex>
#include <new>

namespace {

constexpr const char* kSourceFile = "SpecValidator.cpp";

// The lines of the validator's report sites. Fixed numbers rather than __LINE__, so that the site tags of its
// trace lines stay the same as this file changes.
enum SiteLine : int {
    kSiteNullResult = 40,
    kSiteBadSpec = 53,
    kSiteBadValue = 62,
    kSiteEmptySpec = 79,
    kSiteBadPrecision = 94,
    kSiteUnreadableSpec = 155,
    kSiteNoElement = 208,
    kSiteValid = 228,
    kSiteNotValid = 233,
    kSiteSchemaFailure = 241,
};

constexpr const OLECHAR* kIsValidName = u"CSpecValidator::IsValid()";

void Site(SiteLine line) {
    SetTraceSiteAt(kSourceFile, line);
}

// Held by every public method: the library's trace state is shared by all its objects.
std::recursive_mutex& CheckLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::optional<std::u16string> TextOf(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
        return std::nullopt;
    }
    std::u16string result(vr::BstrView(text.bstrVal));
    (void)VariantClear(&text);
    return result;
}

// A missing precision, or an empty text, is no widening at all.
std::optional<double> PrecisionOf(const VARIANT& precision) {
    if (precision.vt == VT_ERROR || (precision.vt == VT_BSTR && SysStringLen(precision.bstrVal) == 0)) {
        return 0.0;
    }
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, &precision, 0, VT_R8))) {
        return std::nullopt;
    }
    return number.dblVal;
}

// Whether a schema attribute text bounds the value (a range or a deviation): a missing or empty value then
// fails, which the schema check alone would let pass (it accepts an empty text for any type).
bool BoundsTheValue(const std::u16string& attributes) {
    for (const OLECHAR* facet : {u"minInclusive", u"minExclusive", u"maxInclusive", u"maxExclusive"}) {
        if (HasParam(nullptr, attributes.c_str(), facet)) {
            return true;
        }
    }
    return false;
}

// Traces an input error naming the argument by its typed display text.
void TraceBadEntry(SiteLine line, const OLECHAR* format, const VARIANT& argument) {
    _bstr_t typed(VariantToTypedText(&argument), false);
    Site(line);
    TraceError(format, static_cast<const OLECHAR*>(typed) ? static_cast<const OLECHAR*>(typed) : u"");
}

std::u16string FormatText(const OLECHAR* format, const std::u16string& first, const std::u16string& second,
                          const std::u16string& third = {}) {
    _bstr_t text(FormatBstr(format, first.c_str(), second.c_str(), third.c_str()), false);
    return std::u16string(text.view());
}

} // namespace

const vr::DispatchTable<CSpecValidator>& CSpecValidator::GetDispatchTable() {
    using D = vr::DispatchTable<CSpecValidator>;
    static const D table(u"IVrSpecValidator",
                         {
                             D::Method<&CSpecValidator::IsValid>(
                                 DISPID_SPECVALIDATOR_ISVALID, u"IsValid",
                                 {u"vValue", u"vSpec", vr::Param(u"vValuePrecision").Optional(),
                                  vr::Param(u"vOptions").Optional(), vr::Param(u"pvbValid").As(VT_BOOL)}),
                             D::Method<&CSpecValidator::GetInfo>(DISPID_SPECVALIDATOR_GETINFO, u"GetInfo",
                                                                 {u"vValue", u"bsInfo"}),
                             D::PropGet<&CSpecValidator::get_lastError>(DISPID_SPECVALIDATOR_LASTERROR,
                                                                        u"lastError", {u"pVal"}),
                         });
    return table;
}

HRESULT CSpecValidator::FinalConstruct() {
    std::lock_guard<std::recursive_mutex> guard(CheckLock());
    SetTraceMethodName(u"CSpecValidator::FinalConstruct()");
    TraceFunction(u"CSpecValidator::FinalConstruct()", +1);
    return S_OK;
}

void CSpecValidator::FinalRelease() {
    std::lock_guard<std::recursive_mutex> guard(CheckLock());
    SetTraceMethodName(u"CSpecValidator::FinalRelease()");
    TraceFunction(u"CSpecValidator::FinalConstruct()", -1);
}

HRESULT CSpecValidator::IsValid(VARIANT vValue, VARIANT vSpec, VARIANT vValuePrecision, VARIANT /*vOptions*/,
                                VARIANT_BOOL* pvbValid) {
    std::lock_guard<std::recursive_mutex> guard(CheckLock());
    try {
        SetTraceMethodName(kIsValidName);
        lastError_ = std::u16string();
        return FailWithErrorInfo(CLSID_SpecValidator, Check(vValue, vSpec, vValuePrecision, pvbValid));
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CSpecValidator::Check(const VARIANT& valueArgument, const VARIANT& specArgument,
                              const VARIANT& precisionArgument, VARIANT_BOOL* valid) {
    if (valid == nullptr) {
        Site(kSiteNullResult);
        TraceError(u"Invalid entry pvbValid = 0.");
        return E_POINTER;
    }
    std::optional<std::u16string> spec = TextOf(specArgument);
    if (!spec) {
        TraceBadEntry(kSiteBadSpec, u"Invalid entry Spec '%s'.", specArgument);
        return E_INVALIDARG;
    }
    // A null value has no text, as a null specification has none: both are input errors.
    std::optional<std::u16string> value = TextOf(valueArgument);
    if (!value) {
        TraceBadEntry(kSiteBadValue, u"Invalid entry Value '%s'.", valueArgument);
        return E_INVALIDARG;
    }
    CheckTexts texts{*value, *spec};
    std::u16string_view decisive = limitor::WithoutInformativePart(texts.spec);
    if (decisive.empty()) {
        *valid = VARIANT_TRUE;
        Site(kSiteEmptySpec);
        TraceInfo(u"Return TRUE: Value '%s' valid for empty Spec '%s'.", texts.value.c_str(),
                  texts.spec.c_str());
        return S_OK;
    }
    std::optional<double> precision = PrecisionOf(precisionArgument);
    if (!precision) {
        TraceBadEntry(kSiteBadPrecision, u"Invalid entry ValuePrecision '%s'.", precisionArgument);
        return E_INVALIDARG;
    }

    limitor::SpecParts parts = limitor::SplitSpec(decisive);
    std::optional<std::u16string> attributes;
    if (HRESULT hr = ChooseSchemaAttributes(parts.keyword, parts.body, &attributes); FAILED(hr)) {
        return hr;
    }
    bool isValid = false;
    HRESULT checkResult = S_OK;
    if (attributes && texts.value.empty() && BoundsTheValue(*attributes)) {
        isValid = false; // no measurement is within no bounds
    } else if (attributes) {
        if (HRESULT hr = CheckAgainstSchema(*attributes, texts.value, &isValid, &checkResult); FAILED(hr)) {
            return hr;
        }
    } else {
        isValid = limitor::PlainMatch(texts.value, texts.spec, *precision);
    }
    return Verdict(isValid, checkResult, texts, attributes.value_or(u""), valid);
}

HRESULT CSpecValidator::ChooseSchemaAttributes(std::u16string_view keyword, std::u16string_view body,
                                               std::optional<std::u16string>* attributes) {
    if (vr::EqualsNoCase(keyword, u"schema") || (keyword.empty() && body.find(u"type=") != body.npos)) {
        *attributes = std::u16string(body);
        return S_OK;
    }
    const limitor::SpecKindRegistry& kinds = limitor::SpecKinds();
    for (size_t index = 0; index < kinds.Count(); ++index) {
        const limitor::SpecKind& kind = kinds.At(index);
        limitor::SpecMatch match;
        std::u16string error;
        if (!kind.Matches(body, keyword, match, error)) {
            continue;
        }
        std::u16string text;
        HRESULT hr = error.empty() ? kind.BuildSchemaAttributes(body, match, text, error) : E_INVALIDARG;
        if (FAILED(hr)) {
            if (error.empty()) {
                return TraceInternalError();
            }
            std::u16string bodyText(body);
            Site(kSiteUnreadableSpec);
            TraceError(u"Invalid entry Spec '%s': %s.", bodyText.c_str(), error.c_str());
            return hr;
        }
        *attributes = std::move(text);
        return S_OK;
    }
    return S_OK;
}

HRESULT CSpecValidator::CheckAgainstSchema(std::u16string& attributes, const std::u16string& value,
                                           bool* valid, HRESULT* checkResult) {
    _bstr_t text(attributes.c_str());
    if (!HasParam(nullptr, text, u"name")) {
        (void)AppendParam(&text.GetBSTR(), u"name", u"Value", u" ", false);
    }
    attributes = text.view();
    vr::xml::Node element;
    HRESULT created = factory_.CreateElement(&element, text);
    // The factory names its own methods while it works; the check goes on in this one.
    SetTraceMethodName(kIsValidName);
    if (FAILED(created)) {
        Site(kSiteNoElement);
        TraceError(u"Vornic Error: A%d (%hs)", static_cast<int>(kSiteNoElement), kSourceFile);
        return E_FAIL;
    }
    _bstr_t errorText;
    *checkResult = factory_.IsValidElement(element, value.c_str(), errorText.GetAddress());
    SetTraceMethodName(kIsValidName);
    *valid = *checkResult == S_OK;
    if (!*valid) {
        lastError_ = std::u16string(errorText.view());
    }
    return S_OK;
}

HRESULT CSpecValidator::Verdict(bool valid, HRESULT checkResult, const CheckTexts& texts,
                                const std::u16string& attributes, VARIANT_BOOL* result) {
    if (valid) {
        *result = VARIANT_TRUE;
        Site(kSiteValid);
        TraceInfo(u"Return TRUE: Value '%s' valid for Spec '%s'; bstrSchemaExtAttributes='%s'.",
                  texts.value.c_str(), texts.spec.c_str(), attributes.c_str());
        return S_OK;
    }
    *result = VARIANT_FALSE;
    std::u16string reason = lastError_.value_or(u"");
    Site(kSiteNotValid);
    TraceInfo(u"Return FALSE: Value '%s', Spec '%s'; Error: '%s'; bstrSchemaExtAttributes='%s'.",
              texts.value.c_str(), texts.spec.c_str(), reason.c_str(), attributes.c_str());
    if (reason.empty()) {
        lastError_ =
            FormatText(u"Value '%s' is not valid according to the Spec '%s'.", texts.value, texts.spec);
        return S_OK;
    }
    lastError_ = FormatText(u"Value '%s', Spec '%s': '%s'.", texts.value, texts.spec, reason);
    Site(kSiteSchemaFailure);
    TraceError(u"%s", lastError_->c_str());
    return checkResult;
}

HRESULT CSpecValidator::GetInfo(VARIANT vValue, BSTR* bsInfo) {
    std::lock_guard<std::recursive_mutex> guard(CheckLock());
    SetTraceMethodName(u"CSpecValidator::GetInfo()");
    if (bsInfo == nullptr) {
        return E_POINTER;
    }
    std::optional<std::u16string> text = TextOf(vValue);
    *bsInfo = vr::AllocBstr(text ? limitor::InformativeText(*text) : std::u16string());
    return *bsInfo != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CSpecValidator::get_lastError(BSTR* pVal) {
    std::lock_guard<std::recursive_mutex> guard(CheckLock());
    SetTraceMethodName(u"CSpecValidator::get_lastError()");
    if (pVal == nullptr) {
        return E_POINTER;
    }
    if (!lastError_) {
        *pVal = nullptr;
        return S_OK;
    }
    *pVal = vr::AllocBstr(*lastError_);
    return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}
