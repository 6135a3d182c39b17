// The XML writer: elements, attributes, texts and the other node kinds, escaping and namespace declarations.
#include "platform/xml/serialize.h"

#include "platform/xml/runtime.h"

#include <libxml/xmlsave.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace vr::xml::detail {
namespace {

class Writer {
public:
    explicit Writer(const DocumentImpl& impl) : impl_(impl) {}
    std::string Take() { return std::move(out_); }
    void Write(xmlNodePtr node);
    // Declarations the first element written must carry although no name of the subtree uses them.
    void DeclareOnFirstElement(std::vector<std::pair<std::string, std::string>> declarations) {
        pending_ = std::move(declarations);
    }

private:
    void Element(xmlNodePtr element);
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
            out_ += inAttribute ? "&#10;" : "\n";
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

void Writer::Element(xmlNodePtr element) {
    size_t scopeSize = scope_.size();
    std::string name = QualifiedName(element, element->ns);
    out_ += '<';
    out_ += name;
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        Declare(ViewXml(ns->prefix), ViewXml(ns->href));
    }
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
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
        Attribute(attribute);
    }
    if (element->children == nullptr) {
        out_ += "/>";
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
            out_ += text.substr(0, at + 2);
            out_ += "]]><![CDATA[";
            text.remove_prefix(at + 2);
        }
        out_ += text;
        out_ += "]]>";
        break;
    }
    case XML_COMMENT_NODE:
        out_ += "<!--" + std::string(ViewXml(node->content)) + "-->";
        break;
    case XML_PI_NODE:
        out_ += "<?" + std::string(ViewXml(node->name));
        if (node->content != nullptr && *node->content != 0) {
            out_ += " " + std::string(ViewXml(node->content));
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
            out_ += "\r\n";
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

std::string SerializeDocument(const DocumentImpl& impl, bool withDeclaration) {
    std::string head;
    if (withDeclaration) {
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
