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

HRESULT DevicePageModel::ReadSequence(Sequence sequence, std::vector<std::u16string>* lines) {
    CDeviceAdapterFile* file = File();
    if (file == nullptr) {
        return E_POINTER;
    }
    std::vector<ActionEntry> entries;
    if (HRESULT hr = file->GetSequenceEntries(sequence, &entries); FAILED(hr)) {
        return hr;
    }
    lines->clear();
    std::vector<std::pair<std::u16string, vr::xml::Node>>& inlines = Of(sequence).inlines;
    for (const ActionEntry& entry : entries) {
        if (!entry.IsInline()) {
            lines->push_back(entry.reference);
            continue;
        }
        std::u16string line = InlineOperationText(entry.inlineOperation);
        if (std::none_of(inlines.begin(), inlines.end(),
                         [&](const auto& known) { return known.first == line; })) {
            vr::xml::Node copy; // kept apart from the document, which a save replaces
            if (SUCCEEDED(entry.inlineOperation.cloneNode(true, &copy))) {
                inlines.emplace_back(line, copy);
            }
        }
        lines->push_back(std::move(line));
    }
    return S_OK;
}

HRESULT DevicePageModel::SequenceText(Sequence sequence, std::u16string* text) {
    std::vector<std::u16string> lines;
    if (HRESULT hr = ReadSequence(sequence, &lines); FAILED(hr)) {
        return hr;
    }
    if (HRESULT hr = File()->GetDirectOperation(sequence, &Of(sequence).direct); FAILED(hr)) {
        return hr;
    }
    text->clear();
    for (const std::u16string& line : lines) {
        *text += line + u"\n";
    }
    Of(sequence).lines = std::move(lines);
    return S_OK;
}

bool DevicePageModel::SequenceChanged(Sequence sequence) {
    std::vector<std::u16string> lines;
    return SUCCEEDED(ReadSequence(sequence, &lines)) && lines != Of(sequence).lines;
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
    const Shown& shown = Of(sequence);
    const std::vector<std::pair<std::u16string, vr::xml::Node>>& inlines = shown.inlines;
    std::vector<ActionEntry> kept;
    for (auto& [line, begin] : LinesOf(text)) {
        const auto known = std::find_if(inlines.begin(), inlines.end(),
                                        [&](const auto& entry) { return entry.first == line; });
        // Exactly a name: a trailing blank or another case names nothing the socket could run.
        if (std::find(names.begin(), names.end(), line) != names.end()) {
            kept.push_back({std::move(line), {}});
        } else if (known != inlines.end()) {
            kept.push_back({u"", known->second});
        } else {
            unknown->push_back({begin, line.size()});
        }
    }
    HRESULT hr = file->SetSequenceEntries(sequence, kept, shown.direct);
    std::vector<std::u16string> written;
    if (SUCCEEDED(hr) && SUCCEEDED(ReadSequence(sequence, &written))) {
        Of(sequence).lines = std::move(written); // what the text now stands for
    }
    return hr;
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
