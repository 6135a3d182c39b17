// The option-string parser's fixed examples, run by TestParamParser (the studio runs it at start-up).
#include "common/ParamParser.h"

#include "common/BstrText.h"
#include "platform/base/text.h"

#include <optional>
#include <string>

namespace {

// Owns a BSTR for the length of one check and lends it as an in/out argument.
class Text {
public:
    explicit Text(std::u16string_view text) : text_(vrcommon::NewBstr(text)) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(text_); }
    BSTR get() const { return text_; }
    BSTR* inout() { return &text_; }

private:
    BSTR text_;
};

bool Is(BSTR text, std::u16string_view expected) {
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
    Text t(kT);
    return ParamCount(t.get()) == 5 && !ReadAt(t.get(), 5).found &&
           Holds(ReadAt(t.get(), 2), u"Param3", u"\"'1'\"") &&
           Holds(ReadAt(t.get(), 4), u"som'e' option\\ \"X\"", std::nullopt) &&
           Holds(Read(t.get(), u"Param3"), u"Param3", u"3") &&
           Holds(Read(t.get(), u"Param1"), u"Param1", u"1555.0") &&
           Holds(Read(t.get(), u"Param2"), u"Param2", std::nullopt);
}

bool EditingT() {
    Text t(kT);
    bool ok = AppendParam(t.inout(), u"_name", u"_value", u" ", false) &&
              Is(t.get(), std::u16string(kT) + u" _name=_value");
    ok = ok && AppendParam(t.inout(), u"_name", u"_value", u";", true) &&
         vr::U16View(t.get()).ends_with(u";_name='_value'");
    std::u16string bothQuotes(kBothQuotes);
    ok = ok && AppendParam(t.inout(), u"_name", bothQuotes.c_str(), u" ", false) &&
         vr::U16View(t.get()).ends_with(u" _name={" + bothQuotes + u"}") &&
         Holds(ReadAt(t.get(), 7), u"_name", kBothQuotes);
    ok = ok && ParamCount(t.get()) == 8 && TruncateParams(t.inout(), 7) && ParamCount(t.get()) == 7 &&
         ReadAt(t.get(), 0).name == u"Param2";
    ok = ok && FindParamAt(nullptr, nullptr, t.inout(), 1) && Holds(ReadAt(t.get(), 1), u"Param3", u"3");
    ok = ok && EnsureParam(t.inout(), u"Option1") && GetBoolParam(t.inout(), u"Option1", false);
    ok = ok && IsParamFalse(t.inout(), u"Option1") && !GetBoolParam(t.inout(), u"Option1", false);
    ok = ok && !GetBoolParam(t.inout(), u"Option1", true) && GetBoolParam(t.inout(), u"Option1", true) &&
         !GetBoolParam(t.inout(), u"Option1", true);
    return ok;
}

bool ScopedNamesU() {
    Text u(kU);
    bool ok = Holds(Read(u.get(), u"Param1"), u"Param1", u"\"'1'\"") &&
              Holds(Read(u.get(), u"A:Param1"), u"A:Param1", u"1555.0") &&
              Holds(Read(u.get(), u"Param1", true), u"C:Param1", u"3");
    for (std::u16string_view expected : {u"C:Param1", u"Param1", u"B:Param1", u"A:Param1"}) {
        BSTR name = nullptr;
        ok = ok && FindParamValue(&name, nullptr, u.inout(), u"Param1", true) && Is(name, expected);
        SysFreeString(name);
    }
    return ok && ParamCount(u.get()) == 0;
}

bool Rewritten(std::u16string_view text, std::u16string_view expected) {
    Text t(text);
    return GetParamRaw(t.inout()) && Is(t.get(), expected);
}

bool Removed(std::u16string_view text, int index, std::u16string_view expected) {
    Text t(text);
    return FindParamAt(nullptr, nullptr, t.inout(), index) && vr::U16View(t.get()) == expected;
}

bool LongValue(std::u16string_view text, LONG expected) {
    Text t(text);
    LONG number = 0;
    return TextToLong(&number, t.get(), 0, true, true) && number == expected;
}

bool FurtherEdges() {
    Text falseWord(u"Param1=FALSE");
    return Rewritten(u" a='1',     b=3  ; 'c'   {d 6}", u"a='1' b=3 c 'd 6'") &&
           Removed(u"A=1, B=2", 0, u" B=2") && Removed(u"A=1, B=2", 1, u"A=1") &&
           Holds(ReadAt(u"A=", 0), u"A", u"") && Rewritten(u"A=", u"A=''") &&
           Holds(ReadAt(u"A", 0), u"A", std::nullopt) && IsParamTrue(u"A", u"A") && LongValue(u"010", 8) &&
           LongValue(u"0x1F", 31) && !LongValue(u"12abc", 12) && Holds(ReadAt(u"A='ab'cd", 0), u"A", u"ab") &&
           !Read(u"Param1=1", u"param1").found && !IsParamTrue(falseWord.get(), u"Param1");
}

} // namespace

bool TestParamParser() {
    bool ok = ReadingT();
    ok = EditingT() && ok;
    ok = ScopedNamesU() && ok;
    ok = FurtherEdges() && ok;
    return ok;
}
