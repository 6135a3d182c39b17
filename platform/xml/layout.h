// The layout of a loaded text that the tree does not hold, so that a document written again keeps it where
// nothing changed: the XML declaration as written, what stands between the top-level nodes, the document type
// declaration as written, start tags as written (attributes spread over lines, single quotes, blanks; in an
// edited tag the attributes that stay keep theirs), an empty element written with an end tag, and CR LF line
// ends.
//
// Kept only for documents that ask for it (Document::setKeepLayout) and texts in UTF-8 whose start tags
// correspond one to one to the tree's elements; otherwise nothing is kept and the writer's own layout holds.
// Threads: as the document's.
#pragma once

#include <libxml/tree.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vr::xml::detail {

struct DocumentImpl;

// One element's start tag as it was written.
struct StartTagLayout {
    std::string plain;       // the tag as the writer writes it alone (PlainStartTag): same means unchanged
    std::string raw;         // the tag as written, without its closing ">" or "/>"
    bool selfClosed = false; // written "<a/>"; otherwise an empty element is written "<a></a>"
};

struct DocumentLayout {
    bool kept = false;
    bool crlf = false;                      // every line of the text ended with CR LF
    std::optional<std::string> declaration; // the XML declaration as written; none when the text had none
    std::string prolog;                     // between the declaration (or the start) and the first node
    std::unordered_map<xmlNodePtr, std::string> after;   // top-level node: what followed it
    std::unordered_map<xmlNodePtr, std::string> doctype; // document type node: as written
    std::unordered_map<xmlNodePtr, StartTagLayout> startTags;

    void Clear() { *this = DocumentLayout(); }
    // Forgets what was kept of the node and its descendants (they are freed).
    void Forget(xmlNodePtr root);
};

// Records the layout of the UTF-8 text that impl's document was just loaded from.
void RecordLayout(DocumentImpl& impl, std::string_view text);

// The start tag of an element as the writer writes it without any context: its name, its own namespace
// declarations and its attributes, without the closing ">".
std::string PlainStartTag(const DocumentImpl& impl, xmlNodePtr element);

} // namespace vr::xml::detail
