// libFuzzer target: arbitrary option strings (UTF-8 input), read item by item and rewritten in normal form.
// Oracle: the normal form keeps every item with its name and value and is its own normal form; a text it
// cannot hold (an item with all of ' " } ]) is refused and stays as it was, and that item is one AppendParam
// refuses too.
//
// CI runs it for a bounded time through ctest (test "param_fuzz", built when clang++ is at hand and the build
// is not a sanitizer build). A longer run by hand, from the build folder:
//   mkdir -p fuzz-corpus
//   bin/param_fuzz fuzz-corpus <source>/common/options/fuzz/seeds -max_len=512 -max_total_time=600
// A crash leaves its input in the working folder (crash-*); replay it with bin/param_fuzz crash-<hash>.
#include "common/options/ParamParser.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Read {
    std::u16string name;
    std::optional<std::u16string> value;
    bool quoted = false;
};

// Fails the run with what went wrong.
void Check(bool holds, const char* what, const std::u16string& text) {
    if (!holds) {
        std::fprintf(stderr, "param_fuzz: %s for '%s'\n", what, vr::ToUtf8(text).c_str());
        std::abort();
    }
}

std::vector<Read> Items(const std::u16string& text) {
    std::vector<Read> items;
    int count = ParamCount(text.c_str());
    for (int index = 0; index < count; ++index) {
        BSTR name = nullptr;
        BSTR value = nullptr;
        Read item;
        Check(GetParamAt(&name, &value, text.c_str(), index, false, &item.quoted), "an item is not found",
              text);
        item.name = vr::BstrView(name);
        if (value != nullptr) {
            item.value = std::u16string(vr::BstrView(value));
        }
        SysFreeString(name);
        SysFreeString(value);
        items.push_back(std::move(item));
    }
    return items;
}

bool Writable(const Read& item) {
    BSTR text = SysAllocString(u"");
    bool written =
        AppendParam(&text, item.name.c_str(), item.value ? item.value->c_str() : nullptr, u" ", item.quoted);
    SysFreeString(text);
    return written;
}

// The text after GetParamRaw, and whether it was rewritten.
std::pair<bool, std::u16string> Normalised(const std::u16string& text) {
    BSTR copy = vr::AllocBstr(text);
    bool rewritten = GetParamRaw(&copy);
    std::u16string result(vr::BstrView(copy));
    SysFreeString(copy);
    return {rewritten, result};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text = vr::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (text.find(u'\0') != std::u16string::npos) {
        return 0; // a BSTR's text ends at its first zero for these functions
    }
    std::vector<Read> items = Items(text);
    auto [rewritten, normal] = Normalised(text);
    if (!rewritten) {
        Check(normal == text, "a refused text was changed", text);
        bool unwritable = false;
        for (const Read& item : items) {
            unwritable = unwritable || !Writable(item);
        }
        Check(unwritable, "the normal form was refused though every item can be written", text);
        return 0;
    }
    std::vector<Read> again = Items(normal);
    Check(again.size() == items.size(), "the normal form lost or added items", text);
    for (size_t i = 0; i < items.size(); ++i) {
        Check(again[i].name == items[i].name, "an item's name changed", text);
        Check(again[i].value == items[i].value, "an item's value changed", text);
        Check(!items[i].quoted || again[i].quoted, "a quoted value lost its quotes", text);
    }
    auto [stable, twice] = Normalised(normal);
    Check(stable && twice == normal, "the normal form is not its own normal form", text);
    return 0;
}
