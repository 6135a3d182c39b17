// Owned BSTRs for the tests' arguments and results, their texts, the VARIANT of an argument left out, and
// the description of the error information a failed call left.
#pragma once

#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "platform/com/variant.h"

#include <optional>
#include <string>
#include <utility>

namespace vrtest {

// A BSTR owned by a test, freed at scope exit. Made from a text it passes as a BSTR argument; default-made it
// is null (a null argument, or the slot of an out-argument). Null and empty stay apart.
class Bstr {
public:
    Bstr() = default;
    Bstr(std::u16string_view text) : text_(vr::AllocBstr(text)) {}
    Bstr(const std::string& utf8) : text_(vr::AllocBstr(vr::FromUtf8(utf8))) {}
    Bstr(BSTR adopted, bool /*adopt*/) : text_(adopted) {}
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(text_, other.text_);
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(text_); }

    operator BSTR() const { return text_; }
    BSTR get() const { return text_; }
    // For an [in, out] argument: the callee sees the text and may replace it.
    BSTR* ptr() { return &text_; }
    // For an [out] argument: the text held so far is freed first, so a holder can be filled again.
    BSTR* out() {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }

    bool isNull() const { return text_ == nullptr; }
    std::u16string str() const { return std::u16string(vr::BstrView(text_)); }
    // The text, or none for a null BSTR (the parser's "no value").
    std::optional<std::string> value() const {
        return text_ ? std::optional<std::string>(utf8()) : std::nullopt;
    }
    // UTF-8, so that a failing expectation prints readable text.
    std::string utf8() const { return vr::ToUtf8(vr::BstrView(text_)); }

private:
    BSTR text_ = nullptr;
};

// Takes ownership of a returned BSTR.
inline Bstr Adopt(BSTR text) {
    return Bstr(text, true);
}

// The text of a BSTR the caller keeps ("" for null).
inline std::u16string TextOf(BSTR text) {
    return std::u16string(vr::BstrView(text));
}

// The text of a returned BSTR, which is freed.
inline std::u16string TakeText(BSTR text) {
    return Adopt(text).str();
}

inline std::string U8(std::u16string_view text) {
    return vr::ToUtf8(text);
}

// An optional argument the caller leaves out (VT_ERROR, DISP_E_PARAMNOTFOUND).
inline VARIANT Missing() {
    return vr::MissingArgument();
}

// The description of the calling thread's error information, empty when there is none (or it has no
// description).
inline std::u16string ErrorDescription() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return {};
    }
    BSTR description = nullptr;
    if (FAILED(info->GetDescription(&description))) {
        return {};
    }
    std::u16string text(vr::BstrView(description));
    SysFreeString(description);
    return text;
}

} // namespace vrtest
