// The option-string parser's fixed examples, run by TestParamParser (the studio runs it at start-up).
#include "common/options/ParamParser.h"

#include "common/comtext/BstrText.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <optional>
#include <string>

namespace {

// A BSTR owned for the length of one check (non-null also for an empty text); &GetBSTR() lends it as an
// in/out argument.
_bstr_t Owned(std::u16string_view text) {
    return _bstr_t(vrcommon::NewBstr(text), false);
}

bool Is(const OLECHAR* text, std::u16string_view expected) {
    return text != nullptr && vr::U16View(text) == expected;
}

// What a lookup found: the name and the value (none when absent).
struct Found {
    bool found = false;
    std::u16string name;
    std::optional<std::u16string> value;
};

Found ReadAt(const OLECHAR* text, int index) {
    BSTR name = nullptr;
    BSTR value = nullptr;
    Found result;
    result.found = GetParamAt(&name, &value, text, index);
    result.name = vr::U16View(name);
    if (value != nullptr) {
        result.value = std::u16string(vr::U16View(value));
    }
    SysFreeString(name);
    SysFreeString(value);
    return result;
}

Found Read(const OLECHAR* text, const OLECHAR* wanted, bool unscoped = false) {
    BSTR name = nullptr;
    BSTR value = nullptr;
    Found result;
    result.found = GetParam(&name, &value, text, wanted, unscoped);
    result.name = vr::U16View(name);
    if (value != nullptr) {
        result.value = std::u16string(vr::U16View(value));
    }
    SysFreeString(name);
    SysFreeString(value);
    return result;
}

bool Holds(const Found& found, std::u16string_view name, std::optional<std::u16string_view> value) {
    return found.found && found.name == name && found.value == value;
}

constexpr std::u16string_view kT =
    u" Param1='1555.0',Param2  Param3=[\"'1'\"]  Param3=3;{som'e' option\\ \"X\"}  ";
constexpr std::u16string_view kU = u" A:Param1='1555.0',B:Param1  Param1=[\"'1'\"]  C:Param1=3;  ";
constexpr std::u16string_view kBothQuotes = u"\"'_value\"'";

bool ReadingT() {
    _bstr_t t = Owned(kT);
    return ParamCount(t) == 5 && !ReadAt(t, 5).found && Holds(ReadAt(t, 2), u"Param3", u"\"'1'\"") &&
           Holds(ReadAt(t, 4), u"som'e' option\\ \"X\"", std::nullopt) &&
           Holds(Read(t, u"Param3"), u"Param3", u"3") && Holds(Read(t, u"Param1"), u"Param1", u"1555.0") &&
           Holds(Read(t, u"Param2"), u"Param2", std::nullopt);
}

bool EditingT() {
    _bstr_t t = Owned(kT);
    bool ok = AppendParam(&t.GetBSTR(), u"_name", u"_value", u" ", false) &&
              Is(t, std::u16string(kT) + u" _name=_value");
    ok = ok && AppendParam(&t.GetBSTR(), u"_name", u"_value", u";", true) &&
         vr::U16View(t).ends_with(u";_name='_value'");
    std::u16string bothQuotes(kBothQuotes);
    ok = ok && AppendParam(&t.GetBSTR(), u"_name", bothQuotes.c_str(), u" ", false) &&
         vr::U16View(t).ends_with(u" _name={" + bothQuotes + u"}") &&
         Holds(ReadAt(t, 7), u"_name", kBothQuotes);
    ok = ok && ParamCount(t) == 8 && TruncateParams(&t.GetBSTR(), 7) && ParamCount(t) == 7 &&
         ReadAt(t, 0).name == u"Param2";
    ok = ok && FindParamAt(nullptr, nullptr, &t.GetBSTR(), 1) && Holds(ReadAt(t, 1), u"Param3", u"3");
    ok = ok && EnsureParam(&t.GetBSTR(), u"Option1") && GetBoolParam(&t.GetBSTR(), u"Option1", false);
    ok = ok && IsParamFalse(&t.GetBSTR(), u"Option1") && !GetBoolParam(&t.GetBSTR(), u"Option1", false);
    ok = ok && !GetBoolParam(&t.GetBSTR(), u"Option1", true) &&
         GetBoolParam(&t.GetBSTR(), u"Option1", true) && !GetBoolParam(&t.GetBSTR(), u"Option1", true);
    return ok;
}

bool ScopedNamesU() {
    _bstr_t u = Owned(kU);
    bool ok = Holds(Read(u, u"Param1"), u"Param1", u"\"'1'\"") &&
              Holds(Read(u, u"A:Param1"), u"A:Param1", u"1555.0") &&
              Holds(Read(u, u"Param1", true), u"C:Param1", u"3");
    for (std::u16string_view expected : {u"C:Param1", u"Param1", u"B:Param1", u"A:Param1"}) {
        BSTR name = nullptr;
        ok = ok && FindParamValue(&name, nullptr, &u.GetBSTR(), u"Param1", true) && Is(name, expected);
        SysFreeString(name);
    }
    return ok && ParamCount(u) == 0;
}

bool Rewritten(std::u16string_view text, std::u16string_view expected) {
    _bstr_t t = Owned(text);
    return GetParamRaw(&t.GetBSTR()) && Is(t, expected);
}

bool Removed(std::u16string_view text, int index, std::u16string_view expected) {
    _bstr_t t = Owned(text);
    return FindParamAt(nullptr, nullptr, &t.GetBSTR(), index) && vr::U16View(t) == expected;
}

bool LongValue(std::u16string_view text, LONG expected) {
    _bstr_t t = Owned(text);
    LONG number = 0;
    return TextToLong(&number, t, 0, true, true) && number == expected;
}

bool FurtherEdges() {
    _bstr_t falseWord = Owned(u"Param1=FALSE");
    return Rewritten(u" a='1',     b=3  ; 'c'   {d 6}", u"a='1' b=3 c 'd 6'") &&
           Removed(u"A=1, B=2", 0, u" B=2") && Removed(u"A=1, B=2", 1, u"A=1") &&
           Holds(ReadAt(u"A=", 0), u"A", u"") && Rewritten(u"A=", u"A=''") &&
           Holds(ReadAt(u"A", 0), u"A", std::nullopt) && IsParamTrue(u"A", u"A") && LongValue(u"010", 8) &&
           LongValue(u"0x1F", 31) && !LongValue(u"12abc", 12) && Holds(ReadAt(u"A='ab'cd", 0), u"A", u"ab") &&
           !Read(u"Param1=1", u"param1").found && !IsParamTrue(falseWord, u"Param1");
}

} // namespace

bool TestParamParser() {
    bool ok = ReadingT();
    ok = EditingT() && ok;
    ok = ScopedNamesU() && ok;
    ok = FurtherEdges() && ok;
    return ok;
}
