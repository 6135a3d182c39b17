// The layout of a loaded text: the text scanned for its constructs and start tags, matched with the tree.
#include "platform/xml/layout.h"

#include "platform/xml/doc_impl.h"
#include "platform/xml/runtime.h"

#include <vector>

namespace vr::xml::detail {
namespace {

enum class TopKind { Declaration, Doctype, Comment, Instruction, Element };

// A construct at the top level of the text: [begin, end).
struct TopConstruct {
    TopKind kind;
    size_t begin;
    size_t end;
};

// A start tag: [begin, close) without its closing ">" or "/>".
struct StartTag {
    size_t begin;
    size_t close;
    bool selfClosed;
    std::string_view name;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Walks a well-formed text (the parser has accepted it) for its top-level constructs and its start tags, in
// the order written. False for anything it does not follow; nothing is kept then.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool Run() {
        while (at_ < text_.size()) {
            if (text_[at_] != '<') {
                ++at_;
                continue;
            }
            if (!Construct()) {
                return false;
            }
        }
        return depth_ == 0;
    }
    std::vector<TopConstruct> top;
    std::vector<StartTag> tags;

private:
    bool StartsWith(std::string_view prefix) const { return text_.substr(at_).starts_with(prefix); }
    // Moves past the next occurrence of end; false when there is none.
    bool SkipPast(std::string_view end) {
        size_t found = text_.find(end, at_);
        if (found == std::string_view::npos) {
            return false;
        }
        at_ = found + end.size();
        return true;
    }
    void AddTop(TopKind kind, size_t begin) {
        if (depth_ == 0) {
            top.push_back({kind, begin, at_});
        }
    }
    bool Construct() {
        const size_t begin = at_;
        if (StartsWith("<?")) {
            const bool declaration =
                begin == 0 && StartsWith("<?xml") && begin + 5 < text_.size() && IsBlank(text_[begin + 5]);
            if (!SkipPast("?>")) {
                return false;
            }
            AddTop(declaration ? TopKind::Declaration : TopKind::Instruction, begin);
            return true;
        }
        if (StartsWith("<!--")) {
            at_ += 4;
            if (!SkipPast("-->")) {
                return false;
            }
            AddTop(TopKind::Comment, begin);
            return true;
        }
        if (StartsWith("<![CDATA[")) {
            return depth_ > 0 && SkipPast("]]>");
        }
        if (StartsWith("<!DOCTYPE")) {
            if (depth_ > 0 || !Doctype()) {
                return false;
            }
            AddTop(TopKind::Doctype, begin);
            return true;
        }
        if (StartsWith("</")) {
            if (depth_ == 0 || !SkipPast(">")) {
                return false;
            }
            if (--depth_ == 0) {
                top.back().end = at_;
            }
            return true;
        }
        if (StartsWith("<!")) {
            return false;
        }
        return Element();
    }
    // Moves past a quoted value that starts at at_.
    bool Quoted() {
        const char quote = text_[at_];
        size_t end = text_.find(quote, at_ + 1);
        if (end == std::string_view::npos) {
            return false;
        }
        at_ = end + 1;
        return true;
    }
    bool Doctype() {
        at_ += 9;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '"' || c == '\'') {
                if (!Quoted()) {
                    return false;
                }
            } else if (c == '[') {
                if (!InternalSubset()) {
                    return false;
                }
            } else if (c == '>') {
                ++at_;
                return true;
            } else {
                ++at_;
            }
        }
        return false;
    }
    bool InternalSubset() {
        ++at_;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ']') {
                ++at_;
                return true;
            }
            bool ok = true;
            if (c == '"' || c == '\'') {
                ok = Quoted();
            } else if (StartsWith("<!--")) {
                at_ += 4;
                ok = SkipPast("-->");
            } else if (StartsWith("<?")) {
                ok = SkipPast("?>");
            } else {
                ++at_;
            }
            if (!ok) {
                return false;
            }
        }
        return false;
    }
    bool Element() {
        const size_t begin = at_++;
        const size_t nameBegin = at_;
        while (at_ < text_.size() && !IsBlank(text_[at_]) && text_[at_] != '/' && text_[at_] != '>') {
            ++at_;
        }
        std::string_view name = text_.substr(nameBegin, at_ - nameBegin);
        for (;;) {
            while (at_ < text_.size() && IsBlank(text_[at_])) {
                ++at_;
            }
            if (at_ >= text_.size()) {
                return false;
            }
            if (StartsWith("/>") || text_[at_] == '>') {
                const bool selfClosed = text_[at_] == '/';
                tags.push_back({begin, at_, selfClosed, name});
                at_ += selfClosed ? 2 : 1;
                if (depth_ == 0) {
                    top.push_back({TopKind::Element, begin, at_});
                }
                if (!selfClosed) {
                    ++depth_;
                }
                return true;
            }
            // An attribute: its name, "=" and its quoted value.
            size_t equals = text_.find('=', at_);
            if (equals == std::string_view::npos) {
                return false;
            }
            at_ = equals + 1;
            while (at_ < text_.size() && IsBlank(text_[at_])) {
                ++at_;
            }
            if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'') || !Quoted()) {
                return false;
            }
        }
    }

    std::string_view text_;
    size_t at_ = 0;
    int depth_ = 0;
};

// The element's name as the text writes it.
std::string WrittenName(const DocumentImpl& impl, xmlNodePtr element) {
    std::string name(ViewXml(element->name));
    if (element->ns != nullptr && element->ns->prefix != nullptr) {
        return std::string(ViewXml(element->ns->prefix)) + ":" + name;
    }
    if (std::string_view kept = KeptPrefix(impl, element); !kept.empty()) {
        return std::string(kept) + ":" + name;
    }
    return name;
}

// The elements of the tree in the order their start tags are written (an entity's content is not written
// where it is referenced).
std::vector<xmlNodePtr> ElementsInOrder(xmlDocPtr doc) {
    std::vector<xmlNodePtr> elements;
    for (xmlNodePtr child = doc->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            ForEachInSubtree(child, [&](xmlNodePtr node) {
                if (node->type == XML_ELEMENT_NODE) {
                    elements.push_back(node);
                }
            });
        }
    }
    return elements;
}

bool Matches(TopKind kind, xmlElementType type) {
    switch (kind) {
    case TopKind::Doctype:
        return type == XML_DTD_NODE;
    case TopKind::Comment:
        return type == XML_COMMENT_NODE;
    case TopKind::Instruction:
        return type == XML_PI_NODE;
    case TopKind::Element:
        return type == XML_ELEMENT_NODE;
    default:
        return false;
    }
}

bool EndsEveryLineWithCrLf(std::string_view text) {
    size_t lines = 0;
    for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
        if (at == 0 || text[at - 1] != '\r') {
            return false;
        }
        ++lines;
    }
    return lines > 0;
}

// Matches the scanned constructs with the tree; false when they do not correspond.
bool Record(DocumentImpl& impl, std::string_view text, const Scanner& scanned) {
    DocumentLayout& layout = impl.layout;
    std::vector<xmlNodePtr> elements = ElementsInOrder(impl.doc);
    if (elements.size() != scanned.tags.size()) {
        return false;
    }
    for (size_t i = 0; i < elements.size(); ++i) {
        const StartTag& tag = scanned.tags[i];
        if (WrittenName(impl, elements[i]) != tag.name) {
            return false;
        }
        layout.startTags[elements[i]] = {PlainStartTag(impl, elements[i]),
                                         std::string(text.substr(tag.begin, tag.close - tag.begin)),
                                         tag.selfClosed};
    }
    std::vector<TopConstruct> top = scanned.top;
    size_t prologBegin = 0;
    if (!top.empty() && top.front().kind == TopKind::Declaration) {
        layout.declaration = std::string(text.substr(top.front().begin, top.front().end - top.front().begin));
        prologBegin = top.front().end;
        top.erase(top.begin());
    }
    xmlNodePtr node = impl.doc->children;
    for (size_t i = 0; i < top.size(); ++i, node = node->next) {
        if (node == nullptr || !Matches(top[i].kind, node->type)) {
            return false;
        }
        const size_t next = i + 1 < top.size() ? top[i + 1].begin : text.size();
        layout.after[node] = std::string(text.substr(top[i].end, next - top[i].end));
        if (node->type == XML_DTD_NODE) {
            layout.doctype[node] = std::string(text.substr(top[i].begin, top[i].end - top[i].begin));
        }
    }
    if (node != nullptr) {
        return false;
    }
    layout.prolog =
        std::string(text.substr(prologBegin, (top.empty() ? text.size() : top.front().begin) - prologBegin));
    layout.crlf = EndsEveryLineWithCrLf(text);
    return true;
}

} // namespace

void DocumentLayout::Forget(xmlNodePtr root) {
    if (!kept) {
        return;
    }
    ForEachInSubtree(root, [this](xmlNodePtr node) {
        startTags.erase(node);
        after.erase(node);
        doctype.erase(node);
    });
}

void RecordLayout(DocumentImpl& impl, std::string_view text) {
    impl.layout.Clear();
    Scanner scanned(text);
    if (!scanned.Run() || !Record(impl, text, scanned)) {
        impl.layout.Clear();
        return;
    }
    impl.layout.kept = true;
}

} // namespace vr::xml::detail
