// Small helpers of the studio model: option-string items, Latin-1 texts, the blank adapter file.
#include "VrDev/Ostrel/model/MsgTypeDefText.h"

#include "common/config/VrConfigData.h"
#include "common/options/ParamParser.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"

#include <memory>

namespace ostrel {

namespace {

struct BstrFree {
    void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, BstrFree>;

OwnedBstr Owned(std::u16string_view text) {
    return OwnedBstr(vr::AllocBstr(text));
}

} // namespace

std::optional<std::u16string> ItemOf(std::u16string_view options, std::u16string_view name) {
    OwnedBstr text = Owned(options);
    OwnedBstr wanted = Owned(name);
    BSTR value = nullptr;
    if (!GetParam(nullptr, &value, text.get(), wanted.get())) {
        return std::nullopt;
    }
    OwnedBstr held(value);
    return std::u16string(vr::BstrView(held.get()));
}

namespace {

bool AppendQuoted(std::u16string& options, std::u16string_view name, std::u16string_view value, bool quote) {
    BSTR text = vr::AllocBstr(options);
    OwnedBstr wanted = Owned(name);
    OwnedBstr valueText = Owned(value);
    bool appended = AppendParam(&text, wanted.get(), valueText.get(), u" ", quote);
    OwnedBstr result(text);
    if (appended) {
        options.assign(vr::BstrView(result.get()));
    }
    return appended;
}

} // namespace

bool AppendItem(std::u16string& options, std::u16string_view name, std::u16string_view value) {
    // A fixed text may be a blank, a comma or a line break: always quoted, so it reads back whole.
    return AppendQuoted(options, name, value, true);
}

bool AppendPlainItem(std::u16string& options, std::u16string_view name, std::u16string_view value) {
    return AppendQuoted(options, name, value, false);
}

std::optional<std::u16string> TakeItem(std::u16string& options, std::u16string_view name) {
    BSTR text = vr::AllocBstr(options);
    OwnedBstr wanted = Owned(name);
    BSTR value = nullptr;
    bool found = FindParamValue(nullptr, &value, &text, wanted.get());
    OwnedBstr result(text);
    OwnedBstr held(value);
    if (!found) {
        return std::nullopt;
    }
    options.assign(vr::BstrView(result.get()));
    return std::u16string(vr::BstrView(held.get()));
}

void AppendItemIfMissing(std::u16string& options, std::u16string_view name, std::u16string_view value) {
    if (!ItemOf(options, name)) {
        (void)AppendItem(options, name, value); // names and values of settings never hold all four quotes
    }
}

std::u16string Wide(std::string_view latin1) {
    return vr::FromLatin1(latin1);
}

std::string Narrow(std::u16string_view text) {
    return vr::ToLatin1(text);
}

std::u16string BlankAdapterFilePath() {
    BSTR item = nullptr;
    std::string blank;
    if (CVrConfigData().GetItem("AdapterBlankFile", &item, true)) {
        blank = vr::ToUtf8(vr::BstrView(item));
    }
    SysFreeString(item);
    if (blank.empty()) {
        return {};
    }
    std::string mapped = vr::MapWindowsPath(blank);
    return vr::FromUtf8(mapped.front() == '/' ? mapped : vr::ProgramFolder() + "/" + mapped);
}

} // namespace ostrel
