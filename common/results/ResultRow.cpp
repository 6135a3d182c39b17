// The texts of one row of the TestResults table.
#include "common/results/ResultRow.h"

#include "common/trace/Trace.h"
#include "platform/base/c_locale.h"
#include "platform/base/format.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

#include <cmath>

namespace {

constexpr const OLECHAR* kStatusWords[] = {u"Unknown",     u"Passed",     u"Failed",   u"Warning",
                                           u"Interrupted", u"Processing", u"Oncoming", u"Error"};

// The shortest "%.<n>G" text of a number that reads back to it: n up to maxDigits, which always does.
template <class Number>
std::u16string ShortestText(Number number, int maxDigits) {
    std::u16string text;
    for (int digits = 1; digits <= maxDigits; ++digits) {
        text = vr::FormatWString(u"%.*G", digits, static_cast<double>(number));
        if (static_cast<Number>(vr::Wcstod(text.c_str(), nullptr)) == number) {
            break;
        }
    }
    return text;
}

std::u16string DisplayText(const VARIANT& value) {
    BSTR text = VariantToTextBstr(&value);
    std::u16string result(vr::U16View(text));
    SysFreeString(text);
    return result;
}

std::u16string FormatLocal(const std::tm& local, const char* format) {
    char buffer[128];
    size_t length = strftime_l(buffer, sizeof buffer, format, &local, vr::detail::CLocale());
    return vr::FromUtf8(std::string_view(buffer, length));
}

} // namespace

const OLECHAR* TestStatusWord(LONG status) {
    return status >= 0 && status < static_cast<LONG>(std::size(kStatusWords)) ? kStatusWords[status]
                                                                              : nullptr;
}

bool IsResultStorageSkipped(const OLECHAR* sn) {
    std::u16string_view text = vr::U16View(sn);
    return text.empty() || vr::EqualsNoCase(text, u"test") || vr::EqualsNoCase(text, u"<Undefined>");
}

bool IsMissingArgument(const VARIANT& value) {
    return vr::IsMissingArgument(UnwrapVariantRef(value));
}

std::u16string ResultValueText(const VARIANT& value) {
    VARIANT unwrapped = UnwrapVariantRef(value);
    // 9 significant digits always bring a float back, 17 a double; infinities and NaN keep their display.
    if (unwrapped.vt == VT_R4 && std::isfinite(unwrapped.fltVal)) {
        return ShortestText(unwrapped.fltVal, 9);
    }
    if (unwrapped.vt == VT_R8 && std::isfinite(unwrapped.dblVal)) {
        return ShortestText(unwrapped.dblVal, 17);
    }
    return DisplayText(value);
}

std::u16string CleanDescription(std::u16string_view description) {
    std::u16string cleaned;
    cleaned.reserve(description.size());
    for (char16_t c : description) {
        if (c != u'\r' && c != u'\n' && c != u'\'' && c != u'"') {
            cleaned += c;
        }
    }
    return cleaned;
}

ResultTimestamp FormatResultTimestamp(std::time_t when) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) {
        return {};
    }
    return {FormatLocal(local, "%B %d, %Y"), FormatLocal(local, "%I:%M:%S %p")};
}
