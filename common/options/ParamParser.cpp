// Option strings: the lookup at the core, its reading and removing wrappers, appending and normal form.
#include "common/options/ParamParser.h"

#include "common/comtext/BstrText.h"
#include "common/options/ParamGrammar.h"
#include "platform/base/text.h"

#include <algorithm>

using vrcommon::param::Item;
using vrcommon::param::Scanner;

namespace {

struct Search {
    bool found = false;
    int count = 0; // items examined
    Item match;
    std::u16string normalForm; // filled when asked for
    bool unwritable = false;   // an item that cannot be written was left out of the normal form
};

std::u16string_view AfterColon(std::u16string_view name) {
    size_t colon = name.find(u':');
    return colon == std::u16string_view::npos ? name : name.substr(colon + 1);
}

bool Matches(const Item& item, const OLECHAR* name, int number, int index, bool unscoped) {
    if (number == index) {
        return true;
    }
    if (name == nullptr) {
        return false;
    }
    std::u16string_view wanted = vr::U16View(name);
    return item.name == wanted || (unscoped && AfterColon(item.name) == wanted);
}

std::optional<std::u16string_view> ValueOf(const Item& item) {
    return item.value ? std::optional<std::u16string_view>(*item.value) : std::nullopt;
}

Search SearchItems(std::u16string_view text, const OLECHAR* name, int index, bool normalise, bool unscoped) {
    Search search;
    if (index < 0) {
        return search;
    }
    Scanner scanner(text);
    Item item;
    while (scanner.Next(item)) {
        if (Matches(item, name, search.count, index, unscoped)) {
            search.found = true;
            search.match = item;
        }
        if (normalise) {
            // An item that cannot be written is left out of the normal form (GetParamRaw then refuses).
            search.unwritable |= !vrcommon::param::AppendItem(search.normalForm, !search.normalForm.empty(),
                                                              item.name, ValueOf(item), u" ", item.quoted);
        }
        ++search.count;
        if (search.count > index) {
            break;
        }
    }
    return search;
}

std::u16string NormalForm(std::u16string_view text) {
    return SearchItems(text, nullptr, kNoParamIndex, true, false).normalForm;
}

// The text without the item: one terminator goes with it; a last item takes the gap before it along.
std::u16string CutItem(std::u16string_view text, const Item& item) {
    std::u16string result(text.substr(0, item.start));
    if (item.end < text.size()) {
        result += text.substr(item.end + 1);
        return result;
    }
    while (!result.empty() && vrcommon::param::IsGap(result.back())) {
        result.pop_back();
    }
    return result;
}

void StoreMatch(const Search& search, BSTR* outName, BSTR* outValue, bool* quoted) {
    vrcommon::StoreBstr(outName, search.match.name);
    vrcommon::StoreBstr(outValue, ValueOf(search.match));
    if (quoted != nullptr) {
        *quoted = search.match.quoted;
    }
}

// Reads without changing the text: the wrappers that promise an unchanged text use this directly.
bool Lookup(BSTR* outName, BSTR* outValue, const OLECHAR* text, const OLECHAR* name, int index, bool unscoped,
            bool* quoted) {
    Search search = SearchItems(vr::U16View(text), name, index, false, unscoped);
    if (search.found) {
        StoreMatch(search, outName, outValue, quoted);
    }
    return search.found;
}

bool ReadsTrue(const Search& search) {
    if (!search.found || !search.match.value || search.match.value->empty()) {
        return search.found;
    }
    std::u16string_view value = *search.match.value;
    return !vr::EqualsNoCase(value, u"false") && value != u"0";
}

} // namespace

bool FindParam(BSTR* outName, BSTR* outValue, BSTR* text, const OLECHAR* name, int index, bool remove,
               bool normalise, int* count, bool* quoted, bool unscoped) {
    if (text == nullptr) {
        if (count != nullptr) {
            *count = 0;
        }
        return false;
    }
    std::u16string_view source = vr::U16View(*text);
    Search search = SearchItems(source, name, index, false, unscoped);
    if (search.found) {
        StoreMatch(search, outName, outValue, quoted);
    }
    // The normal form is made from the whole text in a pass of its own: a scan that stopped at the index
    // has not seen the items after it, and a copy made from it would lose them.
    if (remove && search.found) {
        std::u16string shortened = CutItem(source, search.match);
        vrcommon::ReplaceBstr(text, normalise ? NormalForm(shortened) : shortened);
    } else if (normalise) {
        vrcommon::ReplaceBstr(text, NormalForm(source));
    }
    if (count != nullptr) {
        *count = search.count;
    }
    return search.found;
}

int ParamCount(const OLECHAR* text) {
    return vrcommon::param::CountItems(vr::U16View(text));
}

bool GetParam(BSTR* outName, BSTR* outValue, const OLECHAR* text, const OLECHAR* name, bool unscoped,
              bool* quoted) {
    return Lookup(outName, outValue, text, name, kNoParamIndex, unscoped, quoted);
}

bool GetParamAt(BSTR* outName, BSTR* outValue, const OLECHAR* text, int index, bool unscoped, bool* quoted) {
    return Lookup(outName, outValue, text, nullptr, index, unscoped, quoted);
}

bool HasParam(BSTR* outValue, const OLECHAR* text, const OLECHAR* name, bool unscoped, bool* quoted) {
    return Lookup(nullptr, outValue, text, name, kNoParamIndex, unscoped, quoted);
}

bool FindParamValue(BSTR* outName, BSTR* outValue, BSTR* text, const OLECHAR* name, bool unscoped,
                    bool* quoted) {
    return FindParam(outName, outValue, text, name, kNoParamIndex, true, false, nullptr, quoted, unscoped);
}

bool FindParamAt(BSTR* outName, BSTR* outValue, BSTR* text, int index, bool unscoped, bool* quoted) {
    return FindParam(outName, outValue, text, nullptr, index, true, false, nullptr, quoted, unscoped);
}

bool HasParamValue(BSTR* outValue, BSTR* text, const OLECHAR* name, bool unscoped, bool* quoted) {
    return FindParam(nullptr, outValue, text, name, kNoParamIndex, true, false, nullptr, quoted, unscoped);
}

bool GetBoolParam(BSTR* text, const OLECHAR* name, bool remove) {
    if (text == nullptr) {
        return false;
    }
    Search search = SearchItems(vr::U16View(*text), name, kNoParamIndex, false, false);
    bool result = ReadsTrue(search);
    if (remove && search.found) {
        vrcommon::ReplaceBstr(text, CutItem(vr::U16View(*text), search.match));
    }
    return result;
}

bool IsParamTrue(const OLECHAR* text, const OLECHAR* name) {
    return ReadsTrue(SearchItems(vr::U16View(text), name, kNoParamIndex, false, false));
}

bool EnsureParam(BSTR* text, const OLECHAR* name) {
    return IsParamTrue(text ? *text : nullptr, name) || AppendParam(text, name, nullptr, u" ", false);
}

bool IsParamFalse(BSTR* text, const OLECHAR* name) {
    return !IsParamTrue(text ? *text : nullptr, name) || AppendParam(text, name, u"false", u" ", false);
}

bool AppendParam(BSTR* text, const OLECHAR* name, const OLECHAR* value, const OLECHAR* separator,
                 bool forceQuote) {
    if (text == nullptr) {
        return false;
    }
    std::u16string result(vr::U16View(*text));
    std::optional<std::u16string_view> valueText;
    if (value != nullptr) {
        valueText = vr::U16View(value);
    }
    bool hasItems = vrcommon::param::CountItems(result) > 0;
    if (!vrcommon::param::AppendItem(result, hasItems, vr::U16View(name), valueText, vr::U16View(separator),
                                     forceQuote)) {
        return false;
    }
    vrcommon::ReplaceBstr(text, result);
    return true;
}

bool GetParamRaw(BSTR* text) {
    if (text == nullptr) {
        return true; // nothing to rewrite
    }
    Search search = SearchItems(vr::U16View(*text), nullptr, kNoParamIndex, true, false);
    if (search.unwritable) {
        return false; // as AppendParam: the text stays as it was rather than losing the item
    }
    vrcommon::ReplaceBstr(text, search.normalForm);
    return true;
}

bool TruncateParams(BSTR* text, int keep) {
    if (text == nullptr) {
        return false;
    }
    std::u16string_view source = vr::U16View(*text);
    int drop = vrcommon::param::CountItems(source) - std::max(keep, 0);
    if (drop <= 0) {
        return false;
    }
    // The kept items begin where item number `drop` begins.
    Scanner scanner(source);
    Item item;
    size_t keptStart = source.size();
    for (int number = 0; scanner.Next(item); ++number) {
        if (number == drop) {
            keptStart = item.start;
            break;
        }
    }
    vrcommon::ReplaceBstr(text, NormalForm(source.substr(keptStart)));
    return true;
}
