// The actions of an adapter file: entries rewritten in place, and the commands they name followed.
#include "VrDev/Ostrel/model/AdapterActions.h"

#include "platform/com/comutil.h"

#include <algorithm>
#include <deque>

namespace ostrel {

namespace {

using vr::xml::Node;

void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) {
        throw _com_error(hr);
    }
}

// Runs work, turning a raised DOM failure into its HRESULT (the DOM has described it).
template <class Work>
HRESULT Guarded(Work&& work) {
    try {
        return work();
    } catch (const _com_error& error) {
        return error.Error();
    }
}

bool IsLayout(const Node& node) {
    if (!node || node.nodeType() != vr::xml::NODE_TEXT) {
        return false;
    }
    const std::u16string text = node.nodeValue();
    return text.find_first_not_of(u" \t\r\n") == std::u16string::npos;
}

bool IsEntry(const Node& node) {
    if (node.nodeType() != vr::xml::NODE_ELEMENT) {
        return false;
    }
    const std::u16string name = node.nodeName();
    return name == u"reference" || name == u"operation";
}

std::u16string AttributeOf(const Node& element, std::u16string_view name) {
    std::u16string value;
    (void)element.getAttribute(name, &value); // absent: empty
    return value;
}

// The line a layout text starts: from its last line feed on; empty when it holds none.
std::u16string LineOf(const std::u16string& layout) {
    const size_t at = layout.rfind(u'\n');
    return at == std::u16string::npos ? std::u16string() : layout.substr(at);
}

std::u16string LayoutBefore(const Node& node) {
    const Node before = node.previousSibling();
    return IsLayout(before) ? before.nodeValue() : std::u16string();
}

Node FirstElementChild(const Node& parent) {
    for (const Node& child : parent.childNodes()) {
        if (child.nodeType() == vr::xml::NODE_ELEMENT) {
            return child;
        }
    }
    return {};
}

// One step of indentation: what the root's children are indented by.
std::u16string IndentStep(const Node& anyNode) {
    const Node first = FirstElementChild(anyNode.ownerDocument().documentElement());
    const std::u16string line = first ? LineOf(LayoutBefore(first)) : std::u16string();
    return line.empty() ? std::u16string() : line.substr(1);
}

// The layout that puts a child of parent on a line of its own, as its other children stand; for a parent
// without children, one step deeper than the parent's own line. Empty in a document without layout.
std::u16string ChildLayout(const Node& parent) {
    if (const Node first = FirstElementChild(parent)) {
        return LineOf(LayoutBefore(first));
    }
    const std::u16string own = LineOf(LayoutBefore(parent));
    return own.empty() ? own : own + IndentStep(parent);
}

Node NewText(const Node& parent, const std::u16string& text) {
    Node made;
    ThrowIfFailed(parent.ownerDocument().createTextNode(text, &made));
    return made;
}

// Inserts node before next (an empty handle: at the end).
void InsertBefore(Node& parent, const Node& node, const Node& next) {
    ThrowIfFailed(next ? parent.insertBefore(node, next) : parent.appendChild(node));
}

ActionEntry EntryOf(const Node& entry) {
    if (entry.nodeName() == u"reference") {
        return {AttributeOf(entry, u"name"), {}};
    }
    return {u"", entry};
}

std::u16string EntryKey(const ActionEntry& entry) {
    return entry.IsInline() ? u"o:" + InlineOperationText(entry.inlineOperation) : u"r:" + entry.reference;
}

Node MadeEntry(const Node& action, const ActionEntry& entry) {
    Node made;
    if (entry.IsInline()) {
        ThrowIfFailed(entry.inlineOperation.cloneNode(true, &made));
        return made;
    }
    ThrowIfFailed(action.ownerDocument().createNode(vr::xml::NODE_ELEMENT, u"reference", u"", &made));
    ThrowIfFailed(made.setAttribute(u"name", entry.reference));
    return made;
}

// For each wanted entry, the index of the kept entry it matches (-1: new): a longest common run of both.
std::vector<int> MatchEntries(const std::vector<std::u16string>& old,
                              const std::vector<std::u16string>& wanted) {
    const size_t n = old.size();
    const size_t m = wanted.size();
    std::vector<std::vector<int>> longest(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;) {
            longest[i][j] = old[i] == wanted[j] ? longest[i + 1][j + 1] + 1
                                                : std::max(longest[i + 1][j], longest[i][j + 1]);
        }
    }
    std::vector<int> match(m, -1);
    for (size_t i = 0, j = 0; i < n && j < m;) {
        if (old[i] == wanted[j]) {
            match[j++] = static_cast<int>(i++);
        } else if (longest[i + 1][j] >= longest[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return match;
}

bool IsSeparator(char16_t c) {
    return c == u' ' || c == u'\t' || c == u',' || c == u';';
}

bool IsGroupOpener(char16_t c) {
    return c == u'\'' || c == u'"' || c == u'{' || c == u'[';
}

// Where the item beginning at begin ends: at the first separator outside a group.
size_t ItemEnd(std::u16string_view text, size_t begin) {
    size_t at = begin;
    while (at < text.size() && !IsSeparator(text[at])) {
        if (IsGroupOpener(text[at])) {
            const size_t close = text.find_first_of(u"'\"}]", at + 1);
            if (close != std::u16string_view::npos) {
                at = close + 1;
                continue;
            }
        }
        ++at;
    }
    return at;
}

// Where the item's scope stands when it is `scope:`, also inside a leading group; npos otherwise.
size_t ScopeAt(std::u16string_view item, std::u16string_view scope) {
    const std::u16string prefix = std::u16string(scope) + u":";
    if (item.starts_with(prefix)) {
        return 0;
    }
    if (!item.empty() && IsGroupOpener(item[0]) && item.substr(1).starts_with(prefix)) {
        return 1;
    }
    return std::u16string_view::npos;
}

// Rewrites an attribute of element through RescopedItems; false when it names nothing of from.
bool RescopeAttribute(Node& element, std::u16string_view name, std::u16string_view from,
                      const std::optional<std::u16string_view>& to) {
    std::u16string value;
    if (element.getAttribute(name, &value) != S_OK) {
        return false;
    }
    const std::u16string rescoped = RescopedItems(value, from, to);
    if (rescoped == value) {
        return false;
    }
    ThrowIfFailed(element.setAttribute(name, rescoped));
    return true;
}

bool ScopedTo(const Node& element, std::u16string_view name, std::u16string_view command) {
    const std::u16string value = AttributeOf(element, name);
    return RescopedItems(value, command, std::nullopt) != value;
}

std::vector<Node> Selected(const Node& context, std::u16string_view xpath) {
    vr::xml::NodeList found;
    ThrowIfFailed(context.selectNodes(xpath, &found));
    return {found.begin(), found.end()};
}

bool ParameterNames(const Node& parameter, std::u16string_view command) {
    return ScopedTo(parameter, u"name", command) || ScopedTo(parameter, u"reference", command);
}

bool Needs(const Node& action, std::u16string_view command) {
    for (const Node& reference : Selected(action, u"reference")) {
        if (AttributeOf(reference, u"name") == command) {
            return true;
        }
    }
    for (const Node& parameter : Selected(action, u"parameters/parameter")) {
        if (ParameterNames(parameter, command)) {
            return true;
        }
    }
    return ScopedTo(action, u"parameterOrder", command) || ScopedTo(action, u"result", command);
}

// Takes the command out of one action; true when the action named it.
bool RemoveFromAction(Node& action, std::u16string_view command) {
    bool named = false;
    for (const Node& reference : Selected(action, u"reference")) {
        if (AttributeOf(reference, u"name") == command) {
            ThrowIfFailed(RemoveIndented(reference));
            named = true;
        }
    }
    for (const Node& parameter : Selected(action, u"parameters/parameter")) {
        if (ParameterNames(parameter, command)) {
            ThrowIfFailed(RemoveIndented(parameter));
            named = true;
        }
    }
    for (const char16_t* list : {u"parameterOrder", u"result"}) {
        named = RescopeAttribute(action, list, command, std::nullopt) || named;
    }
    return named;
}

} // namespace

std::vector<ActionEntry> ActionEntries(const Node& action) {
    std::vector<ActionEntry> entries;
    for (const Node& child : action.childNodes()) {
        if (IsEntry(child)) {
            entries.push_back(EntryOf(child));
        }
    }
    return entries;
}

std::u16string InlineOperationText(const Node& operation) {
    Node copy;
    if (FAILED(operation.cloneNode(true, &copy))) {
        return operation.xml();
    }
    std::deque<Node> pending{copy};
    while (!pending.empty()) {
        Node node = pending.front();
        pending.pop_front();
        for (const Node& child : node.childNodes()) {
            if (IsLayout(child)) {
                (void)node.removeChild(child); // a detached copy: removing a child cannot fail
            } else {
                pending.push_back(child);
            }
        }
    }
    std::u16string text = copy.xml();
    std::replace_if(
        text.begin(), text.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }, u' ');
    return text;
}

HRESULT InsertIndented(Node parent, const Node& node, const Node& after) {
    return Guarded([&] {
        const std::u16string layout = ChildLayout(parent);
        if (after) {
            const Node next = after.nextSibling();
            if (!layout.empty()) {
                InsertBefore(parent, NewText(parent, layout), next);
            }
            InsertBefore(parent, node, next);
            return S_OK;
        }
        if (const Node first = FirstElementChild(parent)) {
            InsertBefore(parent, node, first);
            if (!layout.empty()) {
                InsertBefore(parent, NewText(parent, layout), first);
            }
            return S_OK;
        }
        if (layout.empty()) {
            ThrowIfFailed(parent.appendChild(node));
            return S_OK;
        }
        Node closing = parent.lastChild();
        if (!IsLayout(closing)) {
            closing = NewText(parent, LineOf(LayoutBefore(parent)));
            ThrowIfFailed(parent.appendChild(closing));
        }
        InsertBefore(parent, NewText(parent, layout), closing);
        InsertBefore(parent, node, closing);
        return S_OK;
    });
}

namespace {

// Whether the node's children are elements and comments only, with no layout or text between them.
bool HasBareContent(const Node& node) {
    bool any = false;
    for (const Node& child : node.childNodes()) {
        const auto type = child.nodeType();
        if (type != vr::xml::NODE_ELEMENT && type != vr::xml::NODE_COMMENT) {
            return false;
        }
        any = true;
    }
    return any;
}

void IndentBelow(Node node, const std::u16string& line, const std::u16string& step) {
    if (!HasBareContent(node)) {
        return;
    }
    std::vector<Node> children;
    for (const Node& child : node.childNodes()) {
        children.push_back(child);
    }
    for (const Node& child : children) {
        ThrowIfFailed(node.insertBefore(NewText(node, line + step), child));
        if (child.nodeType() == vr::xml::NODE_ELEMENT) {
            IndentBelow(child, line + step, step);
        }
    }
    ThrowIfFailed(node.appendChild(NewText(node, line)));
}

} // namespace

HRESULT IndentContent(const Node& node) {
    return Guarded([&] {
        const std::u16string line = LineOf(LayoutBefore(node));
        const std::u16string step = IndentStep(node);
        if (!line.empty() && !step.empty()) {
            IndentBelow(node, line, step);
        }
        return S_OK;
    });
}

HRESULT RemoveIndented(const Node& node) {
    return Guarded([&] {
        Node parent = node.parentNode();
        if (!parent) {
            return S_OK;
        }
        const Node before = node.previousSibling();
        if (IsLayout(before)) {
            ThrowIfFailed(parent.removeChild(before));
        }
        ThrowIfFailed(parent.removeChild(node));
        return S_OK;
    });
}

HRESULT PlaceActionEntries(Node action, const std::vector<ActionEntry>& wanted) {
    return Guarded([&] {
        std::vector<Node> old;
        std::vector<std::u16string> oldKeys;
        for (const Node& child : action.childNodes()) {
            if (IsEntry(child)) {
                old.push_back(child);
                oldKeys.push_back(EntryKey(EntryOf(child)));
            }
        }
        std::vector<std::u16string> wantedKeys;
        for (const ActionEntry& entry : wanted) {
            wantedKeys.push_back(EntryKey(entry));
        }
        const std::vector<int> match = MatchEntries(oldKeys, wantedKeys);
        std::vector<bool> kept(old.size(), false);
        for (int index : match) {
            if (index >= 0) {
                kept[static_cast<size_t>(index)] = true;
            }
        }
        for (size_t i = 0; i < old.size(); ++i) {
            if (!kept[i]) {
                ThrowIfFailed(RemoveIndented(old[i]));
            }
        }
        Node previous;
        for (size_t j = 0; j < wanted.size(); ++j) {
            if (match[j] >= 0) {
                previous = old[static_cast<size_t>(match[j])];
                continue;
            }
            const Node made = MadeEntry(action, wanted[j]);
            ThrowIfFailed(InsertIndented(action, made, previous));
            previous = made;
        }
        return S_OK;
    });
}

std::vector<std::u16string> ActionsNeeding(const Node& root, std::u16string_view command) {
    std::vector<std::u16string> names;
    (void)Guarded([&] {
        for (const Node& action : Selected(root, u"action")) {
            if (Needs(action, command)) {
                names.push_back(AttributeOf(action, u"name"));
            }
        }
        return S_OK;
    }); // a failing selection lists what was found before it
    return names;
}

HRESULT RenameCommandUses(const Node& root, std::u16string_view from, std::u16string_view to) {
    return Guarded([&] {
        Node device;
        ThrowIfFailed(root.selectSingleNode(u"device", &device));
        for (const char16_t* attribute : {u"open", u"close"}) {
            if (device && AttributeOf(device, attribute) == from) {
                ThrowIfFailed(device.setAttribute(attribute, to));
            }
        }
        for (Node action : Selected(root, u"action")) {
            for (Node reference : Selected(action, u"reference")) {
                if (AttributeOf(reference, u"name") == from) {
                    ThrowIfFailed(reference.setAttribute(u"name", to));
                }
            }
            for (const char16_t* list : {u"parameterOrder", u"result"}) {
                (void)RescopeAttribute(action, list, from, to); // a list without it stays as it is
            }
            for (Node parameter : Selected(action, u"parameters/parameter")) {
                for (const char16_t* attribute : {u"name", u"reference"}) {
                    (void)RescopeAttribute(parameter, attribute, from, to); // the same
                }
            }
        }
        return S_OK;
    });
}

HRESULT RemoveCommandUses(const Node& root, std::u16string_view command) {
    return Guarded([&] {
        Node device;
        ThrowIfFailed(root.selectSingleNode(u"device", &device));
        std::deque<std::u16string> gone{std::u16string(command)};
        while (!gone.empty()) {
            const std::u16string name = std::move(gone.front());
            gone.pop_front();
            for (const char16_t* attribute : {u"open", u"close"}) {
                if (device && AttributeOf(device, attribute) == name) {
                    ThrowIfFailed(device.removeAttribute(attribute));
                }
            }
            for (Node action : Selected(root, u"action")) {
                // An action with nothing left to run would make the socket refuse the file.
                if (RemoveFromAction(action, name) && ActionEntries(action).empty()) {
                    gone.push_back(AttributeOf(action, u"name"));
                    ThrowIfFailed(RemoveIndented(action));
                }
            }
        }
        return S_OK;
    });
}

std::u16string RescopedItems(std::u16string_view items, std::u16string_view from,
                             const std::optional<std::u16string_view>& to) {
    std::u16string result;
    std::u16string kept; // without the removed items, joined by blanks
    bool removed = false;
    size_t at = 0;
    while (at < items.size()) {
        if (IsSeparator(items[at])) {
            result += items[at++];
            continue;
        }
        const size_t end = ItemEnd(items, at);
        std::u16string item(items.substr(at, end - at));
        at = end;
        const size_t scope = ScopeAt(item, from);
        if (scope != std::u16string::npos && !to) {
            removed = true;
            continue;
        }
        if (scope != std::u16string::npos) {
            item.replace(scope, from.size(), *to);
        }
        result += item;
        kept += (kept.empty() ? u"" : u" ") + item;
    }
    return removed ? kept : result;
}

} // namespace ostrel
