// The XSD element editor without widgets: the rows that describe one element (only those that fit its type
// and kind of token), enumerations folded into one row, each change checked by building the element.
//
// Usage: Init once with the editor's options (and the rows an owner offers, StandardElementRows by
// default), SetElement for every element shown (Clear when none), then EditRow for each value the engineer
// changes: it returns the description to hand to the owner, or none when there is nothing new or the change
// is refused (a text that is no whole number in an integer row, an element that is not valid: StatusText
// says why). A range row is renamed by editing it under its other name. The view rebuilds its rows when
// RowsGeneration() changes.
// Descriptions are option strings ("type=int name=nValue fixed='x'"); DefPattern names the kind of token:
// "Value", "Enumeration" or "Constant".
// Threads: the window thread only (one object, one thread).
#pragma once

#include "VrDev/Ostrel/editors/RangeNumberValue.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "platform/com/hresult.h"
#include "platform/xml/dom.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// One row an element may show: for which types and kinds of token, and the second name a range row may
// take instead of its first.
struct ElementRowDef {
    std::u16string name;
    std::u16string otherName;
    std::u16string types;       // blank-separated; empty: every type
    std::u16string defPatterns; // blank-separated; empty: every kind of token
    std::vector<std::u16string> choices;
    std::u16string options;
    std::optional<IntegerRange> integer; // an integer row: the numbers it takes
};

struct ElementRow {
    std::u16string name;
    std::optional<std::u16string> value;     // none: undefined
    std::vector<std::u16string> choices;     // values to choose from
    std::vector<std::u16string> nameChoices; // the names a range row may take
    std::u16string options;                  // how the editor control edits the row (its row options)
    std::optional<IntegerRange> integer;     // an integer row: the numbers it takes
};

// The element editor's own rows, in their order, without those named in leaveOut (blank-separated).
std::vector<ElementRowDef> StandardElementRows(std::u16string_view leaveOut = u"");

// "Constant" with a fixed item, else "Enumeration" with an enumeration item, else "Value".
std::u16string DefPatternOf(std::u16string_view description);
// Every enumeration item (and the substitution item after it) becomes one item of a single enumeration
// item's option string: "one=uno two three=tres". Unchanged without enumeration items.
std::u16string FoldEnumerations(std::u16string_view description, std::u16string_view substitution);
// The inverse: the enumeration item's option string back into enumeration items, each followed by its
// substitution item where its value is not empty.
std::u16string UnfoldEnumerations(std::u16string_view description, std::u16string_view substitution);

class CElementEditorModel {
public:
    // Options: EnumSubstitution (the substitution attribute's name), ReplaceElementSchemaAttributes (pairs
    // "row=schemaAttribute" shown under the row's name). Empties the editor.
    void Init(std::u16string_view options, std::u16string_view xsdQualifier,
              std::u16string_view xmlAttrStructure,
              std::vector<ElementRowDef> sourceRows = StandardElementRows());
    // New choices for the source rows of that name (an owner's list that changes, e.g. the names of the
    // file's attributes); the shown rows take them at the next rebuild.
    void SetRowChoices(std::u16string_view name, const std::vector<std::u16string>& choices);
    // The named simple types of the file's own schema, which the elements shown may be of (the owner's
    // copies): such an element shows the rows of the built-in type its type restricts, and each check
    // knows them, as the socket does that reads the file.
    void SetSchemaTypes(std::vector<vr::xml::Node> types) { schemaTypes_ = std::move(types); }
    // Shows an element's description; an empty DefPattern is derived from the description.
    [[nodiscard]] HRESULT SetElement(std::u16string_view type, std::u16string_view name,
                                     std::u16string_view description, std::u16string_view valueToCheck,
                                     std::u16string_view defPattern, bool foldEnumerations);
    // Shows an xsd:element, its enumerations folded into one row; the factory's failure to read it as it is.
    [[nodiscard]] HRESULT SetElement(const vr::xml::Node& element, std::u16string_view valueToCheck);
    void Clear();

    const std::vector<ElementRow>& Rows() const { return rows_; }
    // Counts the rebuilds of the rows: unchanged when a new state gives the same rows with the same values.
    int RowsGeneration() const { return generation_; }
    // A value typed into a row ("" or none makes it undefined); the description to send, if any. The
    // default, like the value to check, must be a value of the element's type (the socket composes it into
    // the message), unless it names a device attribute ("Attribute:name", read when the socket runs).
    std::optional<std::u16string> EditRow(std::u16string_view name, std::optional<std::u16string> value);
    const std::u16string& StatusText() const { return status_; }
    // An owner's word in the status line (e.g. that there is nothing to show).
    void SetStatusText(std::u16string_view text) { status_ = text; }
    // The element last shown or built from an accepted change; empty after Clear.
    const vr::xml::Node& Element() const { return element_; }
    // The description the rows give as they stand (as EditRow hands it out, unchecked): what an owner
    // compares an edited description with, to learn what the engineer changed.
    std::u16string RowsDescription() const;

private:
    std::vector<ElementRow> FillRows(std::u16string_view type, std::u16string_view defPattern,
                                     std::u16string_view description) const;
    HRESULT SetState(std::u16string_view type, std::u16string_view name, std::u16string_view description,
                     std::u16string_view defPattern);
    std::optional<std::u16string> TakeRows();
    // A description of the rows completed with the type, the name and the editor's qualifier and structure.
    std::u16string Completed(std::u16string description, std::u16string_view type,
                             std::u16string_view name) const;
    std::optional<std::u16string> RowValue(std::u16string_view name) const;
    // The built-in type that the type is or restricts through the named simple types; the type itself when
    // it is neither.
    std::u16string RowType(std::u16string_view type) const;
    // Why the element does not take the value; none when it does (an empty value it always takes).
    std::optional<std::u16string> ValueRefusal(const vr::xml::Node& element, const std::u16string& value);

    // All members: the window thread.
    CXMLSchemaFactory factory_;
    std::vector<ElementRowDef> sourceRows_;
    std::vector<ElementRow> rows_;
    vr::xml::Node element_;
    std::u16string rowSignature_;    // the rows' attribute string at the last rebuild
    std::u16string lastDescription_; // the last description taken from the rows
    std::u16string valueToCheck_;
    std::u16string name_; // the shown element's name: kept for types that show no name row
    std::vector<vr::xml::Node> schemaTypes_;
    std::u16string xsdQualifier_ = u"xsd";
    std::u16string xmlAttrStructure_;
    std::u16string substitution_;
    std::u16string replacements_;
    std::u16string status_;
    int generation_ = 0;
};

} // namespace ostrel
