// The XML writer: elements, attributes, texts and the other node kinds, escaping and namespace declarations.
#include "platform/xml/serialize.h"

#include "platform/base/text.h"
#include "platform/xml/layout.h"
#include "platform/xml/runtime.h"

#include <libxml/xmlsave.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vr::xml::detail {
namespace {

// One attribute of a start tag as written: the blanks before it, its name, and its text (name to closing
// quote).
struct TagAttribute {
    std::string_view before;
    std::string_view name;
    std::string_view text;
};

// A start tag without its closing ">" or "/>": the name, the attributes, the blanks after them.
struct TagParts {
    std::string_view head;
    std::vector<TagAttribute> attributes;
    std::string_view tail;
};

constexpr std::string_view kBlanks = " \t\r\n";

std::optional<TagParts> SplitStartTag(std::string_view tag) {
    TagParts parts;
    size_t at = std::min(tag.find_first_of(kBlanks), tag.size());
    parts.head = tag.substr(0, at);
    for (;;) {
        const size_t nameAt = tag.find_first_not_of(kBlanks, at);
        if (nameAt == std::string_view::npos) {
            parts.tail = tag.substr(at);
            return parts;
        }
        const size_t nameEnd = tag.find_first_of(" \t\r\n=", nameAt);
        const size_t equals =
            nameEnd == std::string_view::npos ? nameEnd : tag.find_first_not_of(kBlanks, nameEnd);
        if (equals == std::string_view::npos || tag[equals] != '=') {
            return std::nullopt;
        }
        const size_t quote = tag.find_first_not_of(kBlanks, equals + 1);
        if (quote == std::string_view::npos || (tag[quote] != '"' && tag[quote] != '\'')) {
            return std::nullopt;
        }
        const size_t closing = tag.find(tag[quote], quote + 1);
        if (closing == std::string_view::npos) {
            return std::nullopt;
        }
        parts.attributes.push_back({tag.substr(at, nameAt - at), tag.substr(nameAt, nameEnd - nameAt),
                                    tag.substr(nameAt, closing + 1 - nameAt)});
        at = closing + 1;
    }
}

// An edited start tag in the layout it was written in: the attributes that stay keep their places, blanks
// and quotes (a changed value is written in the writer's form in its place), a removed one goes with the
// blanks before it, a new one follows the last as the last followed the one before. Nothing when the tags
// cannot be matched up.
std::optional<std::string> EditedStartTag(std::string_view written, std::string_view plain,
                                          std::string_view current) {
    const std::optional<TagParts> was = SplitStartTag(written);
    const std::optional<TagParts> plainWas = SplitStartTag(plain);
    const std::optional<TagParts> now = SplitStartTag(current);
    if (!was || !plainWas || !now || was->head != now->head || plainWas->head != now->head ||
        was->attributes.size() != plainWas->attributes.size()) {
        return std::nullopt;
    }
    auto textOf = [](const TagParts& parts, std::string_view name) -> std::optional<std::string_view> {
        for (const TagAttribute& attribute : parts.attributes) {
            if (attribute.name == name) {
                return attribute.text;
            }
        }
        return std::nullopt;
    };
    std::string tag(was->head);
    std::string_view lastBefore = " ";
    for (size_t i = 0; i < was->attributes.size(); ++i) {
        const TagAttribute& attribute = was->attributes[i];
        lastBefore = attribute.before;
        const std::optional<std::string_view> text = textOf(*now, attribute.name);
        if (text) {
            tag += attribute.before;
            tag += *text == plainWas->attributes[i].text ? attribute.text : *text;
        }
    }
    for (const TagAttribute& attribute : now->attributes) {
        if (!textOf(*was, attribute.name)) {
            tag += lastBefore;
            tag += attribute.text;
        }
    }
    tag += was->tail;
    return tag;
}

class Writer {
public:
    explicit Writer(const DocumentImpl& impl) : impl_(impl) {}
    std::string Take() { return std::move(out_); }
    void Write(xmlNodePtr node);
    // Declarations the first element written must carry although no name of the subtree uses them.
    void DeclareOnFirstElement(std::vector<std::pair<std::string, std::string>> declarations) {
        pending_ = std::move(declarations);
    }

    // The element's start tag alone: its name, its own declarations and its attributes.
    std::string Plain(xmlNodePtr element) {
        out_ = "<" + QualifiedName(element, element->ns);
        for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
            Declare(ViewXml(ns->prefix), ViewXml(ns->href));
        }
        for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
            Attribute(attribute);
        }
        return Take();
    }

private:
    void Element(xmlNodePtr element);
    // The start tag as the loaded text wrote it, when what was just written from start on is what it was.
    const StartTagLayout* KeptStartTag(xmlNodePtr element, size_t start) const;
    // Text of a comment, a processing instruction or a CDATA section, its line ends as the text had them.
    void Lines(std::string_view text);
    std::string_view LineEnd() const { return impl_.layout.crlf ? "\r\n" : "\n"; }
    void Attribute(xmlAttrPtr attribute);
    void Declare(std::string_view prefix, std::string_view uri);
    void DeclareIfNeeded(xmlNsPtr ns, bool forAttribute);
    void Text(std::string_view text, bool inAttribute);
    std::string QualifiedName(xmlNodePtr node, xmlNsPtr ns) const;
    std::string_view InScope(std::string_view prefix) const;
    void Dtd(xmlNodePtr dtd);

    const DocumentImpl& impl_;
    std::string out_;
    // Declarations written so far, innermost last.
    std::vector<std::pair<std::string, std::string>> scope_;
    std::vector<std::pair<std::string, std::string>> pending_;
};

std::string_view Writer::InScope(std::string_view prefix) const {
    for (auto it = scope_.rbegin(); it != scope_.rend(); ++it) {
        if (it->first == prefix) {
            return it->second;
        }
    }
    return prefix == "xml" ? std::string_view("http://www.w3.org/XML/1998/namespace") : std::string_view();
}

std::string Writer::QualifiedName(xmlNodePtr node, xmlNsPtr ns) const {
    std::string name(ViewXml(node->name));
    if (ns != nullptr && ns->prefix != nullptr) {
        return std::string(ViewXml(ns->prefix)) + ":" + name;
    }
    if (std::string_view kept = KeptPrefix(impl_, node); !kept.empty()) {
        return std::string(kept) + ":" + name;
    }
    return name;
}

void Writer::Declare(std::string_view prefix, std::string_view uri) {
    out_ += prefix.empty() ? " xmlns=\"" : " xmlns:" + std::string(prefix) + "=\"";
    Text(uri, true);
    out_ += '"';
    scope_.emplace_back(prefix, uri);
}

void Writer::DeclareIfNeeded(xmlNsPtr ns, bool forAttribute) {
    if (ns == nullptr || ns->href == nullptr) {
        return;
    }
    std::string_view prefix = ViewXml(ns->prefix);
    if (forAttribute && prefix.empty()) {
        return; // attributes never take the default namespace
    }
    if (prefix == "xml" || InScope(prefix) == ViewXml(ns->href)) {
        return;
    }
    Declare(prefix, ViewXml(ns->href));
}

void Writer::Text(std::string_view text, bool inAttribute) {
    for (char c : text) {
        switch (c) {
        case '&':
            out_ += "&amp;";
            break;
        case '<':
            out_ += "&lt;";
            break;
        case '>':
            out_ += "&gt;";
            break;
        case '\r':
            out_ += "&#13;";
            break;
        case '"':
            out_ += inAttribute ? "&quot;" : "\"";
            break;
        case '\n':
            out_ += inAttribute ? std::string_view("&#10;") : LineEnd();
            break;
        case '\t':
            out_ += inAttribute ? "&#9;" : "\t";
            break;
        default:
            out_ += c;
        }
    }
}

void Writer::Attribute(xmlAttrPtr attribute) {
    out_ += ' ';
    out_ += QualifiedName(reinterpret_cast<xmlNodePtr>(attribute), attribute->ns);
    out_ += "=\"";
    for (xmlNodePtr child = attribute->children; child != nullptr; child = child->next) {
        if (child->type == XML_ENTITY_REF_NODE) {
            out_ += "&" + std::string(ViewXml(child->name)) + ";";
        } else {
            Text(ViewXml(child->content), true);
        }
    }
    out_ += '"';
}

void Writer::Lines(std::string_view text) {
    for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n')) {
        out_ += text.substr(0, at);
        out_ += LineEnd();
        text.remove_prefix(at + 1);
    }
    out_ += text;
}

const StartTagLayout* Writer::KeptStartTag(xmlNodePtr element, size_t start) const {
    auto found = impl_.layout.startTags.find(element);
    if (found == impl_.layout.startTags.end() ||
        std::string_view(out_).substr(start) != found->second.plain) {
        return nullptr;
    }
    return &found->second;
}

void Writer::Element(xmlNodePtr element) {
    size_t scopeSize = scope_.size();
    std::string name = QualifiedName(element, element->ns);
    const size_t start = out_.size();
    out_ += '<';
    out_ += name;
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        Declare(ViewXml(ns->prefix), ViewXml(ns->href));
    }
    const size_t ownDeclarations = scope_.size();
    DeclareIfNeeded(element->ns, false);
    if (element->ns == nullptr && KeptPrefix(impl_, element).empty() && !InScope("").empty()) {
        Declare("", ""); // keeps a no-namespace element out of the default namespace around it
    }
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
        DeclareIfNeeded(attribute->ns, true);
    }
    for (const auto& [prefix, uri] : std::exchange(pending_, {})) {
        if (InScope(prefix) != uri) {
            Declare(prefix, uri);
        }
    }
    // A declaration this context needs beyond the element's own is not in the tag as it was written.
    const bool ownScope = scope_.size() == ownDeclarations;
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
        Attribute(attribute);
    }
    const StartTagLayout* kept = ownScope ? KeptStartTag(element, start) : nullptr;
    if (kept != nullptr) {
        out_.resize(start);
        out_ += kept->raw;
    } else if (auto written = impl_.layout.startTags.find(element);
               ownScope && written != impl_.layout.startTags.end()) {
        // Edited since it was loaded: the edit is made in the tag as it was written.
        if (std::optional<std::string> edited = EditedStartTag(written->second.raw, written->second.plain,
                                                               std::string_view(out_).substr(start))) {
            out_.resize(start);
            out_ += *edited;
            kept = &written->second;
        }
    }
    if (element->children == nullptr) {
        out_ += kept != nullptr && !kept->selfClosed ? "></" + name + ">" : std::string("/>");
    } else {
        out_ += '>';
        for (xmlNodePtr child = element->children; child != nullptr; child = child->next) {
            Write(child);
        }
        out_ += "</" + name + ">";
    }
    scope_.resize(scopeSize);
}

void Writer::Dtd(xmlNodePtr dtd) {
    if (auto written = impl_.layout.doctype.find(dtd); written != impl_.layout.doctype.end()) {
        out_ += written->second;
        return;
    }
    xmlBufferPtr buffer = xmlBufferCreate();
    if (buffer == nullptr) {
        return;
    }
    xmlNodeDump(buffer, dtd->doc, dtd, 0, 0);
    out_ += ViewXml(xmlBufferContent(buffer));
    xmlBufferFree(buffer);
}

void Writer::Write(xmlNodePtr node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
        Element(node);
        break;
    case XML_ATTRIBUTE_NODE:
        Attribute(reinterpret_cast<xmlAttrPtr>(node));
        break;
    case XML_TEXT_NODE:
        Text(ViewXml(node->content), false);
        break;
    case XML_CDATA_SECTION_NODE: {
        std::string_view text = ViewXml(node->content);
        out_ += "<![CDATA[";
        for (size_t at = text.find("]]>"); at != std::string_view::npos; at = text.find("]]>")) {
            Lines(text.substr(0, at + 2));
            out_ += "]]><![CDATA[";
            text.remove_prefix(at + 2);
        }
        Lines(text);
        out_ += "]]>";
        break;
    }
    case XML_COMMENT_NODE:
        out_ += "<!--";
        Lines(ViewXml(node->content));
        out_ += "-->";
        break;
    case XML_PI_NODE:
        out_ += "<?" + std::string(ViewXml(node->name));
        if (node->content != nullptr && *node->content != 0) {
            out_ += " ";
            Lines(ViewXml(node->content));
        }
        out_ += "?>";
        break;
    case XML_ENTITY_REF_NODE:
        out_ += "&" + std::string(ViewXml(node->name)) + ";";
        break;
    case XML_DTD_NODE:
        Dtd(node);
        break;
    case XML_DOCUMENT_NODE:
        for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
            Write(child);
            // What followed the node in the loaded text; CR LF after each node otherwise.
            auto after = impl_.layout.after.find(child);
            out_ += after != impl_.layout.after.end() ? std::string_view(after->second)
                    : impl_.layout.kept               ? LineEnd()
                                                      : std::string_view("\r\n");
        }
        break;
    default:
        break;
    }
}

// Bindings, in scope at an element written alone, of prefixes that attribute values in it use as qualified
// names ("xsd:int", "dev:Voltage"): a schema fragment taken out of its document keeps its references.
std::vector<std::pair<std::string, std::string>> PrefixesOfValues(xmlNodePtr element) {
    std::vector<std::pair<std::string, std::string>> found;
    ForEachInSubtree(element, [&](xmlNodePtr node) {
        if (node->type != XML_ATTRIBUTE_NODE) {
            return;
        }
        xmlChar* value = xmlNodeGetContent(node);
        std::string_view text = ViewXml(value);
        for (size_t at = 0; at < text.size();) {
            size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
            std::string_view token = text.substr(at, end - at);
            size_t colon = token.find(':');
            std::string prefix(token.substr(0, colon == std::string_view::npos ? 0 : colon));
            xmlNsPtr ns = prefix.empty() || prefix == "xml"
                              ? nullptr
                              : xmlSearchNs(element->doc, element, AsXml(prefix));
            bool known =
                std::any_of(found.begin(), found.end(), [&](const auto& f) { return f.first == prefix; });
            if (ns != nullptr && !known) {
                found.emplace_back(prefix, std::string(ViewXml(ns->href)));
            }
            at = end + 1;
        }
        xmlFree(value);
    });
    return found;
}

} // namespace

std::string SerializeNode(const DocumentImpl& impl, xmlNodePtr node) {
    Writer writer(impl);
    if (node->type == XML_ELEMENT_NODE) {
        writer.DeclareOnFirstElement(PrefixesOfValues(node));
    }
    writer.Write(node);
    std::string text = writer.Take();
    return node->type == XML_ATTRIBUTE_NODE && !text.empty() ? text.substr(1) : text; // no leading blank
}

std::string PlainStartTag(const DocumentImpl& impl, xmlNodePtr element) {
    return Writer(impl).Plain(element);
}

namespace {

// True for a declaration without an encoding or with UTF-8 as its encoding.
bool DeclaresUtf8(std::string_view declaration) {
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) {
        return true;
    }
    size_t quote = declaration.find_first_of("\"'", at);
    if (quote == std::string_view::npos) {
        return false;
    }
    size_t end = declaration.find(declaration[quote], quote + 1);
    return end != std::string_view::npos &&
           EqualsNoCase(declaration.substr(quote + 1, end - quote - 1), std::string_view("UTF-8"));
}

} // namespace

std::string SerializeDocument(const DocumentImpl& impl, bool withDeclaration) {
    std::string head;
    const DocumentLayout& layout = impl.layout;
    if (layout.kept && (!withDeclaration || !layout.declaration || DeclaresUtf8(*layout.declaration))) {
        // As it was loaded: a file written in UTF-8 keeps its own declaration, or none when it had none.
        head = layout.declaration.value_or("") + layout.prolog;
    } else if (withDeclaration) {
        head = "<?xml version=\"1.0\" encoding=\"UTF-8\"";
        head += impl.doc->standalone == 1 ? " standalone=\"yes\"?>\r\n" : "?>\r\n";
    } else if (impl.doc->standalone != -1) {
        head =
            "<?xml version=\"" + std::string(impl.doc->version ? ViewXml(impl.doc->version) : "1.0") + "\"";
        head += impl.doc->standalone == 1 ? " standalone=\"yes\"?>\r\n" : "?>\r\n";
    }
    return head + SerializeNode(impl, reinterpret_cast<xmlNodePtr>(impl.doc));
}

} // namespace vr::xml::detail
