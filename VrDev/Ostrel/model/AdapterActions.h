// The actions of an adapter file (the open and close sequences and the engineer's own actions): their
// entries, rewritten in place, and the commands they name, followed when an operation is renamed or removed.
//
// An action runs its entries in document order: `reference` children name a command of the file, `operation`
// children are operations written inside the action. An edit changes only the nodes it is about: an entry
// that stays keeps its node, with the comments and the layout around it; a new node takes its siblings'
// indentation, and a removed one takes its line's indentation along.
//
// Failures: the document's HRESULTs; a failing DOM call may leave an edit half made.
// Threads: as the document's (one thread at a time).
#pragma once

#include "platform/xml/dom.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// One entry of an action: a command named by a reference, or an operation written inside the action.
struct ActionEntry {
    std::u16string reference;      // the command's name; empty for an inline operation
    vr::xml::Node inlineOperation; // the inline operation's element; empty for a reference
    bool IsInline() const { return static_cast<bool>(inlineOperation); }
};

// The entries of the action element, in document order.
std::vector<ActionEntry> ActionEntries(const vr::xml::Node& action);
// An inline operation as one line of text: its XML without the layout between its elements.
std::u16string InlineOperationText(const vr::xml::Node& operation);
// Makes the action's entries the wanted ones, in their order: an entry there already (the same reference,
// or an inline operation of the same text) keeps its node, the others go, new ones are inserted where they
// belong (an inline operation as a copy).
HRESULT PlaceActionEntries(vr::xml::Node action, const std::vector<ActionEntry>& wanted);

// Inserts node into parent right after `after` (an empty handle: before the parent's first element, or as
// its only content), indented as the parent's other children are.
HRESULT InsertIndented(vr::xml::Node parent, const vr::xml::Node& node, const vr::xml::Node& after);
// Removes node and the layout text just before it.
HRESULT RemoveIndented(const vr::xml::Node& node);
// Lays out the content of a node built without layout (a rebuilt message type) as the document's other
// nodes stand: each child on a line of its own, one indentation step deeper than its parent's line, and the
// end tag on the parent's line. A node that holds text or layout already stays as it is.
HRESULT IndentContent(const vr::xml::Node& node);

// The names of the actions of the document (root: its definitions element) that need the command: they
// reference it, or their parameters name it as their scope. Document order, each once.
std::vector<std::u16string> ActionsNeeding(const vr::xml::Node& root, std::u16string_view command);
// The command renamed wherever actions and the device name it: references, the scopes of the items of
// parameterOrder and result, parameters/parameter (name and reference), the device's open and close.
HRESULT RenameCommandUses(const vr::xml::Node& root, std::u16string_view from, std::u16string_view to);
// The command's uses removed: its references, the items and parameters scoped to it; an action left with
// nothing to run goes too (and in turn its own uses), as does the device's open or close naming what went.
HRESULT RemoveCommandUses(const vr::xml::Node& root, std::u16string_view command);

// An option-string list of parameters (parameterOrder, result) with every item scoped to from ("from:x",
// also quoted) rescoped to to, or left out when to is none. Untouched items keep their text.
std::u16string RescopedItems(std::u16string_view items, std::u16string_view from,
                             const std::optional<std::u16string_view>& to);

} // namespace ostrel
