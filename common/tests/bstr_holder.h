// A BSTR owned by a test: freed at scope exit, lent as an in/out or out argument, read as a view.
#pragma once

#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <optional>
#include <string>
#include <utility>

namespace commontest {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text) : text_(vr::AllocBstr(text)) {}
    explicit Bstr(BSTR adopted, bool /*adopt*/) : text_(adopted) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(text_); }

    BSTR get() const { return text_; }
    BSTR* ptr() { return &text_; }
    bool isNull() const { return text_ == nullptr; }
    std::u16string str() const { return std::u16string(vr::U16View(text_)); }
    // The text, or none for a null BSTR (the parser's "no value").
    std::optional<std::string> value() const {
        return text_ ? std::optional<std::string>(utf8()) : std::nullopt;
    }
    // UTF-8, so that a failing expectation prints readable text.
    std::string utf8() const { return vr::ToUtf8(vr::U16View(text_)); }

private:
    BSTR text_ = nullptr;
};

inline std::string U8(std::u16string_view text) {
    return vr::ToUtf8(text);
}

// Takes ownership of a returned BSTR.
inline Bstr Adopt(BSTR text) {
    return Bstr(text, true);
}

} // namespace commontest
