// Option values as numbers: text to long and double with the runtime's rules, strictness and error traces.
#include "common/options/ParamParser.h"

#include "common/trace/Trace.h"
#include "platform/base/numbers.h"

#include <cmath>

namespace {

void TraceWrongCharacters(const OLECHAR* text, const OLECHAR* rest) {
    SetTraceSite();
    TraceError(u"('%s'): The value cannot be represented because of wrong character(s): '%s'.", text, rest);
}

} // namespace

bool TextToLong(LONG* out, const OLECHAR* text, int base, bool strict, bool quiet) {
    const OLECHAR* begin = text ? text : u"";
    const OLECHAR* end = begin;
    LONG number = vr::Wcstol(begin, &end, base);
    if (!strict || *end == 0) {
        if (out != nullptr) {
            *out = number;
        }
        return true;
    }
    if (!quiet) {
        TraceWrongCharacters(begin, end);
    }
    return false;
}

bool TextToDouble(double* out, const OLECHAR* text, bool strict, bool quiet) {
    const OLECHAR* begin = text ? text : u"";
    const OLECHAR* end = begin;
    double number = vr::Wcstod(begin, &end);
    if (number == HUGE_VAL || number == -HUGE_VAL) {
        if (!quiet) {
            SetTraceSite();
            TraceError(u"('%s'): The value cannot be represented because of an overflow: HUGE_VAL.", begin);
        }
        return false;
    }
    if (strict && *end != 0) {
        if (!quiet) {
            TraceWrongCharacters(begin, end);
        }
        return false;
    }
    if (out != nullptr) {
        *out = number;
    }
    return true;
}

bool GetLongParam(LONG* out, const OLECHAR* text, const OLECHAR* name, bool unscoped, bool* quoted) {
    BSTR value = nullptr;
    bool found = HasParam(&value, text, name, unscoped, quoted) && TextToLong(out, value, 0, true, false);
    SysFreeString(value);
    return found;
}
