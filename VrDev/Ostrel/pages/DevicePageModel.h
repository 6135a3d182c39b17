// The Device page of the adapter file sheet without widgets: the open and close sequences as the text the
// engineer edits (one operation per line) and the device's default values (time-out, termination string,
// default selector).
//
// Usage: SequenceText once the file is shown, and again when SequenceChanged says the document's sequence
// is no longer the one shown (another page renamed or removed an operation); TakeSequenceText on every
// change of a sequence's text, which rewrites that sequence in the document from the lines that name an
// operation or show one of its inline operations and returns where the other lines are, to be shown in red;
// ReadDefaults each time the page is shown; SetDefault for each edited row. Edits go into the sheet's
// document, changing only the nodes that differ; the sheet writes the file.
//
// An inline operation (written inside the action) shows as one line of its XML. Its line typed back exactly
// keeps it; a line deleted deletes it, a line changed names nothing (red) until it is mended. An operation
// the device runs itself (its open or close attribute names it, with no action) shows as the one line; while
// the text is that line again, the device runs it itself as before.
// Failures: E_POINTER while the sheet has no file, the document's HRESULT otherwise; a time-out that is no
// whole number is refused with E_INVALIDARG and its text in RefusalText. Threads: the window thread only.
#pragma once

#include "VrDev/Ostrel/editors/RangeNumberValue.h"
#include "VrDev/Ostrel/model/DeviceAdapterFile.h"
#include "VrDev/Ostrel/sheet/SheetContext.h"

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// A run of characters of a text: where it starts and how long it is.
struct TextSpan {
    size_t begin = 0;
    size_t length = 0;
    bool operator==(const TextSpan&) const = default;
};

// The rows of the device's default values, in the page's order, and the attributes they edit.
inline constexpr std::u16string_view kTimeoutRow = u"Timeout";
inline constexpr std::u16string_view kTermStringRow = u"Termination String";
inline constexpr std::u16string_view kDefaultSelectorRow = u"Default Selector";
// The numbers the Timeout row takes.
inline const IntegerRange kTimeoutRange{INT32_MIN, INT32_MAX, u""};

// The termination string as its row shows it: carriage return, line feed and backslash as \r, \n and \\;
// and back (other backslashes stay as they are).
std::u16string EscapedTermString(std::u16string_view text);
std::u16string UnescapedTermString(std::u16string_view text);

class DevicePageModel {
public:
    using Sequence = CDeviceAdapterFile::Sequence;
    // What the rows show: the attribute's text (the terminator escaped), "<Undefined>" when it is absent.
    struct Defaults {
        std::u16string timeout;
        std::u16string termString;
        std::u16string defaultSelector;
    };

    // context: the sheet's, outlives the page.
    explicit DevicePageModel(SheetContext& context) : context_(context) {}

    // Every entry of the sequence (an operation's name, an inline operation's line), each followed by a
    // line feed.
    [[nodiscard]] HRESULT SequenceText(Sequence sequence, std::u16string* text);
    // Rewrites the sequence from the text's lines (carriage returns ignored, empty lines skipped); a line
    // is kept when it is exactly an operation's name or the line of an inline operation shown. unknown: the
    // spans of the other lines.
    [[nodiscard]] HRESULT TakeSequenceText(Sequence sequence, std::u16string_view text,
                                           std::vector<TextSpan>* unknown);
    // True when the document's sequence differs from the one last shown or written by the page.
    bool SequenceChanged(Sequence sequence);
    [[nodiscard]] HRESULT ReadDefaults(Defaults* defaults);
    // The selectors a Default Selector may name: the attributes of class OuterSelector, then InnerSelector.
    [[nodiscard]] HRESULT SelectorChoices(std::vector<std::u16string>* names);
    // A row's new value ("<Undefined>" or "<Default>" removes the attribute); another row name is ignored.
    [[nodiscard]] HRESULT SetDefault(std::u16string_view row, std::u16string_view value);
    const std::u16string& RefusalText() const { return refusal_; }

private:
    struct Shown {
        std::vector<std::u16string> lines;                             // the document's entries as lines
        std::vector<std::pair<std::u16string, vr::xml::Node>> inlines; // inline operations by their line
        std::u16string direct; // the operation the device ran itself when the text was shown
    };
    CDeviceAdapterFile* File() { return context_.HasFile() ? &context_.Document() : nullptr; }
    // The document's sequence as lines, its inline operations added to what the page knows.
    HRESULT ReadSequence(Sequence sequence, std::vector<std::u16string>* lines);
    Shown& Of(Sequence sequence) { return sequence == Sequence::Open ? open_ : close_; }

    SheetContext& context_;  // the sheet's; outlives the page
    std::u16string refusal_; // why the last SetDefault refused its value
    Shown open_;             // window thread
    Shown close_;            // window thread
};

} // namespace ostrel
