// The specification validator server's public contract: its class, its dual interface and their identifiers.
// Other deliverables include only this header.
#pragma once

#include "platform/com/dispatch.h"

// Decides whether a measured value satisfies a specification text (dual; DISPIDs in brackets).
//
// A specification is a plain value (equal numerically within a precision, else as identical text), or a type:
// "schema:<schema attribute text>" (also without the keyword when the text holds "type="),
// "pattern:<XSD regular expression>", or a range "[1..5]", "1..5", "10+-0.5", "range:[0..2.5[" (brackets
// pointing inwards make a bound inclusive; any keyword but "schema" and "pattern" may stand before a range).
// Text from the first "{" on is informative and takes no part (in a pattern a quantifier such as "{3}" or
// "{2,5}" belongs to the pattern); an empty specification accepts every value.
struct IVrSpecValidator : IDispatch {
    // [0x60020000] *pvbValid receives the verdict. vValuePrecision (optional, missing or "" for 0) widens a
    // numeric plain comparison; vOptions (optional) has no effect. S_OK for both verdicts; a specification
    // whose schema cannot be used fails with the schema processor's error (lastError and the error
    // information tell it) and a false verdict; input errors fail with E_POINTER or E_INVALIDARG.
    [[nodiscard]] virtual HRESULT IsValid(VARIANT vValue, VARIANT vSpec, VARIANT vValuePrecision,
                                          VARIANT vOptions, VARIANT_BOOL* pvbValid) = 0;
    // [0x60020001] The informative part of a specification: the text between its first "{" (a pattern's
    // quantifiers passed over) and the first "}" after it; empty when there is none.
    [[nodiscard]] virtual HRESULT GetInfo(VARIANT vValue, BSTR* bsInfo) = 0;
    // [0x60020002] Why the last IsValid gave a false verdict; empty after a true one, null before the first.
    [[nodiscard]] virtual HRESULT get_lastError(BSTR* pVal) = 0;

protected:
    ~IVrSpecValidator() = default;
};
VR_DECLARE_INTERFACE_ID(IVrSpecValidator, "83BA5590-5530-40F8-B3A3-B0E3F3803AAD")

inline constexpr DISPID DISPID_SPECVALIDATOR_ISVALID = 0x60020000;
inline constexpr DISPID DISPID_SPECVALIDATOR_GETINFO = 0x60020001;
inline constexpr DISPID DISPID_SPECVALIDATOR_LASTERROR = 0x60020002;

inline constexpr CLSID CLSID_SpecValidator = vr::MakeGuid("2BE8BFDB-35BF-44F6-BBEC-18FF77CEE9EF");

inline constexpr const char16_t* kSpecValidatorProgId = u"Vornic.SpecValidator.1";
inline constexpr const char16_t* kSpecValidatorIndependentProgId = u"Vornic.SpecValidator";
