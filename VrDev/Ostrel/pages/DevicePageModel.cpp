// The Device page's logic: sequences as edited text, and the device's default values.
#include "VrDev/Ostrel/pages/DevicePageModel.h"

#include <algorithm>

namespace ostrel {

namespace {

constexpr std::u16string_view kUndefined = u"<Undefined>";

// The lines of a text split at line ends (runs of them count as one), with where each starts.
std::vector<std::pair<std::u16string, size_t>> LinesOf(std::u16string_view text) {
    std::vector<std::pair<std::u16string, size_t>> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find_first_of(u"\r\n", start), text.size());
        if (end > start) {
            lines.emplace_back(std::u16string(text.substr(start, end - start)), start);
        }
        start = end + 1;
    }
    return lines;
}

} // namespace

std::u16string EscapedTermString(std::u16string_view text) {
    std::u16string shown;
    for (char16_t c : text) {
        shown += c == u'\r' ? u"\\r" : c == u'\n' ? u"\\n" : c == u'\\' ? u"\\\\" : std::u16string(1, c);
    }
    return shown;
}

std::u16string UnescapedTermString(std::u16string_view text) {
    std::u16string value;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size() &&
            (text[i + 1] == u'r' || text[i + 1] == u'n' || text[i + 1] == u'\\')) {
            ++i;
            value += text[i] == u'r' ? u'\r' : text[i] == u'n' ? u'\n' : u'\\';
        } else {
            value += text[i];
        }
    }
    return value;
}

HRESULT DevicePageModel::SequenceText(Sequence sequence, std::u16string* text) {
    CDeviceAdapterFile* file = File();
    if (file == nullptr) {
        return E_POINTER;
    }
    std::vector<std::u16string> operations;
    const HRESULT hr = file->GetSequence(sequence, &operations);
    if (FAILED(hr)) {
        return hr;
    }
    text->clear();
    for (const std::u16string& operation : operations) {
        *text += operation + u"\n";
    }
    return S_OK;
}

HRESULT DevicePageModel::TakeSequenceText(Sequence sequence, std::u16string_view text,
                                          std::vector<TextSpan>* unknown) {
    unknown->clear();
    CDeviceAdapterFile* file = File();
    if (file == nullptr) {
        return E_POINTER;
    }
    std::vector<std::u16string> names;
    if (HRESULT hr = file->GetOperationNames(names); FAILED(hr)) {
        return hr;
    }
    std::vector<std::u16string> kept;
    for (auto& [line, begin] : LinesOf(text)) {
        // Exactly a name: a trailing blank or another case names nothing the socket could run.
        if (std::find(names.begin(), names.end(), line) != names.end()) {
            kept.push_back(std::move(line));
        } else {
            unknown->push_back({begin, line.size()});
        }
    }
    return file->SetSequence(sequence, kept);
}

HRESULT DevicePageModel::ReadDefaults(Defaults* defaults) {
    CDeviceAdapterFile* file = File();
    if (file == nullptr) {
        return E_POINTER;
    }
    for (auto [name, value] :
         {std::pair{u"defaultSelector", &defaults->defaultSelector},
          std::pair{u"termstring", &defaults->termString}, std::pair{u"timeout", &defaults->timeout}}) {
        std::u16string text;
        const HRESULT hr = file->GetDeviceSetting(name, &text);
        if (FAILED(hr)) {
            return hr;
        }
        *value = hr == S_OK ? text : std::u16string(kUndefined); // present but empty stays empty
    }
    if (defaults->termString != kUndefined) {
        defaults->termString = EscapedTermString(defaults->termString);
    }
    return S_OK;
}

HRESULT DevicePageModel::SelectorChoices(std::vector<std::u16string>* names) {
    CDeviceAdapterFile* file = File();
    if (file == nullptr) {
        return E_POINTER;
    }
    names->clear();
    HRESULT hr = file->GetAttributeNames(*names, u"OuterSelector");
    return FAILED(hr) ? hr : file->GetAttributeNames(*names, u"InnerSelector");
}

HRESULT DevicePageModel::SetDefault(std::u16string_view row, std::u16string_view value) {
    refusal_.clear();
    CDeviceAdapterFile* file = File();
    if (file == nullptr) {
        return E_POINTER;
    }
    const char16_t* attribute = row == kTimeoutRow           ? u"timeout"
                                : row == kTermStringRow      ? u"termstring"
                                : row == kDefaultSelectorRow ? u"defaultSelector"
                                                             : nullptr;
    if (attribute == nullptr) {
        return S_FALSE;
    }
    const bool removes = value == kUndefined || value == u"<Default>";
    if (!removes && row == kTimeoutRow &&
        RangeNumberVerdict(value, kTimeoutRange) != NumberVerdict::Accepted) {
        refusal_ = RangeRefusalText(value, kTimeoutRange); // the socket reads no other time-out
        return E_INVALIDARG;
    }
    // A row holds one line: the terminator's line ends are typed and shown as \r and \n.
    const std::u16string text = row == kTermStringRow ? UnescapedTermString(value) : std::u16string(value);
    return file->SetDeviceSetting(attribute, removes ? nullptr : text.c_str());
}

} // namespace ostrel
