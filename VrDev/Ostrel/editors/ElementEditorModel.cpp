// The XSD element editor without widgets: row selection, enumeration folding, checked changes.
#include "VrDev/Ostrel/editors/ElementEditorModel.h"

#include "VrDev/Ostrel/editors/OptionItems.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/xml/schema.h"

#include <algorithm>
#include <cstdint>

namespace ostrel {

namespace {

constexpr std::u16string_view kSimpleTypes = u"string double long int short byte";
constexpr std::u16string_view kNumericTypes = u"double long int short byte";

// The integer rows' numbers: lengths take any 32-bit number, occurrences none below 0.
const IntegerRange kAnyNumber{INT32_MIN, INT32_MAX, u""};
const IntegerRange kOccurs{0, INT32_MAX, u""};
const IntegerRange kMaxOccurs{0, INT32_MAX, u"unbounded"};

// A word of a blank-separated list; an empty list holds every word.
bool ListHolds(std::u16string_view list, std::u16string_view word) {
    if (list.empty()) {
        return true;
    }
    const std::vector<OptionItem> words = ItemsOf(list);
    return std::any_of(words.begin(), words.end(), [&](const OptionItem& item) { return item.name == word; });
}

// The rows as one option string: every defined row as name=value.
std::u16string AttributeString(const std::vector<ElementRow>& rows) {
    std::vector<OptionItem> items;
    for (const ElementRow& row : rows) {
        if (row.value) {
            items.push_back({row.name, *row.value, true});
        }
    }
    return WriteItems(items);
}

// A name without its prefix.
std::u16string_view LocalPart(std::u16string_view name) {
    const size_t colon = name.rfind(u':');
    return colon == std::u16string_view::npos ? name : name.substr(colon + 1);
}

// "Attribute:name" (any case, as the socket reads it): the device attribute's value when the socket runs.
bool NamesDeviceAttribute(std::u16string_view value) {
    constexpr std::u16string_view kPrefix = u"Attribute:";
    return value.size() >= kPrefix.size() && vr::EqualsNoCase(value.substr(0, kPrefix.size()), kPrefix);
}

// The base a named simple type restricts; empty for one that is no restriction (a list or a union).
std::u16string RestrictionBase(const vr::xml::Node& simpleType) {
    for (const vr::xml::Node& child : simpleType.childNodes()) {
        std::u16string base;
        if (child.nodeType() == vr::xml::NODE_ELEMENT && child.baseName() == u"restriction" &&
            child.getAttribute(u"base", &base) == S_OK) {
            return base;
        }
    }
    return {};
}

// Moves an item to another name: the value of from, appended as to.
void RenameItem(std::u16string& description, std::u16string_view from, std::u16string_view to) {
    if (std::optional<std::u16string> value = TakeItem(description, from)) {
        (void)AppendPlainItem(description, to, *value); // a value read from an option string writes back
    }
}

} // namespace

std::vector<ElementRowDef> StandardElementRows(std::u16string_view leaveOut) {
    // A typed text is checked once typing has paused; numbers and names at once.
    const std::u16string kText = u"ShowUndefined DynamicallyStoreAttrValue MaxNumOfRecentValues=0";
    const std::u16string kChoice = u"ShowUndefined DynamicallyStoreAttrValue";
    const std::u16string kDelayed =
        u"ShowUndefined DynamicallyStoreAttrValue MaxNumOfRecentValues=0 EditChangeDelay=2000";
    const std::u16string kPattern = u"ShowUndefined DynamicallyStoreAttrValue MaxNumOfRecentValues=8 "
                                    u"RegistryVarNameForRecentValues='XmlSchemaElementEditor:pattern' "
                                    u"NotAutoSetRecentValue EditChangeDelay=2000";
    const std::u16string simple(kSimpleTypes);
    const std::u16string numeric(kNumericTypes);
    std::vector<ElementRowDef> defs = {
        {u"name", u"", simple, u"", {}, kText, {}},
        {u"type",
         u"",
         u"",
         u"",
         {u"sequence", u"string", u"double", u"long", u"int", u"short", u"byte"},
         kChoice,
         {}},
        {u"DefPattern", u"", simple, u"", {u"Value", u"Enumeration", u"Constant"}, kChoice, {}},
        {u"default", u"", simple, u"Value Enumeration", {}, kDelayed, {}},
        {u"fixed", u"", simple, u"Constant", {}, kDelayed, {}},
        {u"enumeration", u"", simple, u"Enumeration", {}, kDelayed, {}},
        {u"pattern", u"", simple, u"Value", {}, kPattern, {}},
        {u"length", u"", u"string", u"Value", {}, kText, kAnyNumber},
        {u"minLength", u"", u"string", u"Value", {}, kText, kAnyNumber},
        {u"maxLength", u"", u"string", u"Value", {}, kText, kAnyNumber},
        {u"minInclusive", u"minExclusive", numeric, u"Value", {}, kText, {}},
        {u"maxInclusive", u"maxExclusive", numeric, u"Value", {}, kText, {}},
        {u"minOccurs", u"", u"", u"", {}, u"DynamicallyStoreAttrValue MaxNumOfRecentValues=0", kOccurs},
        {u"maxOccurs", u"", u"", u"", {}, kText, kMaxOccurs},
    };
    const std::vector<OptionItem> left = ItemsOf(leaveOut);
    std::erase_if(defs, [&](const ElementRowDef& def) {
        return std::any_of(left.begin(), left.end(),
                           [&](const OptionItem& item) { return item.name == def.name; });
    });
    return defs;
}

std::u16string DefPatternOf(std::u16string_view description) {
    if (ItemOf(description, u"fixed")) {
        return u"Constant";
    }
    return ItemOf(description, u"enumeration") ? u"Enumeration" : u"Value";
}

std::u16string FoldEnumerations(std::u16string_view description, std::u16string_view substitution) {
    std::vector<OptionItem> values;
    std::vector<OptionItem> kept;
    for (const OptionItem& item : ItemsOf(description)) {
        if (item.name == u"enumeration") {
            values.push_back({item.value, u"", false});
        } else if (!substitution.empty() && item.name == substitution) {
            if (!values.empty() && !values.back().hasValue) {
                values.back().value = item.value;
                values.back().hasValue = !item.value.empty();
            }
        } else {
            kept.push_back(item);
        }
    }
    if (values.empty()) {
        return std::u16string(description);
    }
    kept.push_back({u"enumeration", WriteItems(values), true});
    return WriteItems(kept);
}

std::u16string UnfoldEnumerations(std::u16string_view description, std::u16string_view substitution) {
    std::u16string unfolded(description);
    std::optional<std::u16string> folded = TakeItem(unfolded, u"enumeration");
    if (!folded) {
        return unfolded;
    }
    std::vector<OptionItem> items = ItemsOf(unfolded);
    for (const OptionItem& value : ItemsOf(*folded)) {
        items.push_back({u"enumeration", value.name, true});
        if (!value.value.empty() && !substitution.empty()) {
            items.push_back({std::u16string(substitution), value.value, true});
        }
    }
    return WriteItems(items);
}

void CElementEditorModel::Init(std::u16string_view options, std::u16string_view xsdQualifier,
                               std::u16string_view xmlAttrStructure, std::vector<ElementRowDef> sourceRows) {
    Clear();
    sourceRows_ = std::move(sourceRows);
    xmlAttrStructure_ = xmlAttrStructure;
    xsdQualifier_ = xsdQualifier.empty() ? u"xsd" : std::u16string(xsdQualifier);
    substitution_ = ItemOf(options, u"EnumSubstitution").value_or(u"");
    replacements_ = ItemOf(options, u"ReplaceElementSchemaAttributes").value_or(u"");
}

HRESULT CElementEditorModel::SetElement(std::u16string_view type, std::u16string_view name,
                                        std::u16string_view description, std::u16string_view valueToCheck,
                                        std::u16string_view defPattern, bool foldEnumerations) {
    valueToCheck_ = valueToCheck;
    name_ = name;
    const std::u16string pattern =
        defPattern.empty() ? DefPatternOf(description) : std::u16string(defPattern);
    std::u16string shown =
        foldEnumerations ? FoldEnumerations(description, substitution_) : std::u16string(description);
    for (const OptionItem& pair : ItemsOf(replacements_)) {
        RenameItem(shown, pair.value, pair.name); // "vra:default" shows in the default row
    }
    return SetState(type, name, shown, pattern);
}

HRESULT CElementEditorModel::SetElement(const vr::xml::Node& element, std::u16string_view valueToCheck) {
    BSTR type = nullptr;
    BSTR name = nullptr;
    BSTR attributes = nullptr;
    BSTR structure = nullptr;
    BSTR qualifier = nullptr;
    HRESULT hr = factory_.LoadElement(element, &type, &name, &attributes, &structure, &qualifier);
    if (SUCCEEDED(hr)) {
        xmlAttrStructure_ = vr::BstrView(structure);
        if (SysStringLen(qualifier) > 0) {
            xsdQualifier_ = vr::BstrView(qualifier);
        }
        // Folded, so that every enumeration of the element has its place in the one row and comes back.
        hr = SetElement(vr::BstrView(type), vr::BstrView(name), vr::BstrView(attributes), valueToCheck, u"",
                        true);
        element_ = element;
    }
    for (BSTR text : {type, name, attributes, structure, qualifier}) {
        SysFreeString(text);
    }
    return hr;
}

void CElementEditorModel::SetRowChoices(std::u16string_view name,
                                        const std::vector<std::u16string>& choices) {
    for (ElementRowDef& def : sourceRows_) {
        if (def.name == name) {
            def.choices = choices;
        }
    }
}

void CElementEditorModel::Clear() {
    element_ = {};
    rows_.clear();
    rowSignature_.clear();
    lastDescription_.clear();
    valueToCheck_.clear();
    status_.clear();
    ++generation_;
}

std::optional<std::u16string> CElementEditorModel::EditRow(std::u16string_view name,
                                                           std::optional<std::u16string> value) {
    auto row =
        std::find_if(rows_.begin(), rows_.end(), [&](const ElementRow& item) { return item.name == name; });
    if (row == rows_.end()) {
        // A range row edited under its other name takes that name.
        row = std::find_if(rows_.begin(), rows_.end(), [&](const ElementRow& item) {
            return std::find(item.nameChoices.begin(), item.nameChoices.end(), name) !=
                   item.nameChoices.end();
        });
        if (row == rows_.end()) {
            return std::nullopt;
        }
        row->name = name;
    }
    if (value && !value->empty() && row->integer &&
        RangeNumberVerdict(*value, *row->integer) != NumberVerdict::Accepted) {
        status_ = RangeRefusalText(*value, *row->integer); // the row keeps its former value
        return std::nullopt;
    }
    row->value = value && !value->empty() ? std::move(value) : std::nullopt;
    return TakeRows();
}

std::vector<ElementRow> CElementEditorModel::FillRows(std::u16string_view type,
                                                      std::u16string_view defPattern,
                                                      std::u16string_view description) const {
    std::vector<ElementRow> rows;
    const std::u16string rowType = RowType(type);
    for (const ElementRowDef& def : sourceRows_) {
        if (!ListHolds(def.types, rowType) || !ListHolds(def.defPatterns, defPattern)) {
            continue;
        }
        ElementRow row{def.name, ItemOf(description, def.name), def.choices, {}, def.options, def.integer};
        if (!row.value && !def.otherName.empty()) {
            if (std::optional<std::u16string> other = ItemOf(description, def.otherName)) {
                row.name = def.otherName;
                row.value = std::move(other);
            }
        }
        if (!def.otherName.empty()) {
            row.nameChoices = {def.name, def.otherName};
        }
        if (!row.value && !def.choices.empty() && !ItemOf(def.options, u"ShowUndefined")) {
            row.value = def.choices.front(); // a choice that cannot be undefined starts at its first
        }
        if (def.name == u"type" && !type.empty()) {
            row.value = std::u16string(type);
        } else if (def.name == u"DefPattern") {
            row.value = std::u16string(defPattern);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

HRESULT CElementEditorModel::SetState(std::u16string_view type, std::u16string_view name,
                                      std::u16string_view description, std::u16string_view defPattern) {
    std::u16string full(description);
    (void)TakeItem(full, u"name"); // the given name replaces any the rows carried
    if (!name.empty() && name != u"<Undefined>") {
        (void)AppendItem(full, u"name", name); // a name read from the rows writes back
    }
    std::vector<ElementRow> candidates = FillRows(type, defPattern, full);
    std::u16string signature = AttributeString(candidates);
    if (signature == rowSignature_ && !rows_.empty()) {
        return S_OK; // the same rows with the same values: nothing to rebuild
    }
    rowSignature_ = std::move(signature);
    rows_ = std::move(candidates);
    ++generation_;
    return S_OK;
}

std::optional<std::u16string> CElementEditorModel::RowValue(std::u16string_view name) const {
    for (const ElementRow& row : rows_) {
        if (row.name == name) {
            return row.value;
        }
    }
    return std::nullopt;
}

std::u16string CElementEditorModel::RowType(std::u16string_view type) const {
    std::u16string current(type);
    // One named type a step: more steps than there are types would go round a cycle.
    for (size_t step = 0; step < schemaTypes_.size(); ++step) {
        const auto named =
            std::find_if(schemaTypes_.begin(), schemaTypes_.end(), [&](const vr::xml::Node& t) {
                std::u16string name;
                return t.getAttribute(u"name", &name) == S_OK && name == LocalPart(current);
            });
        if (named == schemaTypes_.end()) {
            break;
        }
        current = RestrictionBase(*named);
        if (current.empty()) {
            break;
        }
        if (vr::xml::BuiltInType(LocalPart(current))) {
            return std::u16string(LocalPart(current));
        }
    }
    return std::u16string(type);
}

std::optional<std::u16string> CElementEditorModel::ValueRefusal(const vr::xml::Node& element,
                                                                const std::u16string& value) {
    BSTR error = nullptr;
    const HRESULT valid = factory_.IsValidElement(element, value.c_str(), &error, schemaTypes_);
    std::u16string errorText(vr::BstrView(error));
    SysFreeString(error);
    if (valid == S_OK) {
        return std::nullopt;
    }
    return errorText.empty() ? u"Value is not valid according to it's type definition." : errorText;
}

std::optional<std::u16string> CElementEditorModel::TakeRows() {
    const std::u16string type = RowValue(u"type").value_or(u"<Undefined>");
    const bool nameRow =
        std::any_of(rows_.begin(), rows_.end(), [](const ElementRow& row) { return row.name == u"name"; });
    const std::u16string name = nameRow ? RowValue(u"name").value_or(u"<Undefined>") : name_;
    const std::u16string pattern = RowValue(u"DefPattern").value_or(u"<Undefined>");
    const std::u16string before = AttributeString(rows_);
    if (FAILED(SetState(type, name, before, pattern))) {
        TraceError(u"Couldn't _SetState() for strType='%s', strAttrName='%s', szAttributes='%s'.",
                   type.c_str(), name.c_str(), before.c_str());
    }
    std::u16string description = AttributeString(rows_);
    (void)TakeItem(description, u"DefPattern"); // the kind of token is no attribute of the element
    description = UnfoldEnumerations(description, substitution_);
    if (description == lastDescription_) {
        return std::nullopt;
    }
    status_ = u"...";
    lastDescription_ = description;
    const std::u16string shownType = TakeItem(description, u"type").value_or(u"");
    const std::u16string shownName = TakeItem(description, u"name").value_or(nameRow ? u"" : name_);
    if (shownType.empty() || shownType == u"sequence") {
        std::u16string group = AttributeString(rows_);
        if (group.empty()) {
            return std::nullopt;
        }
        status_ = u"Valid Definition";
        return group;
    }
    std::u16string checked = description;
    for (std::u16string_view item : {u"minOccurs", u"maxOccurs", u"default"}) {
        (void)TakeItem(checked, item);
    }
    vr::xml::Node element;
    if (FAILED(factory_.CreateElement(&element, shownType.c_str(), shownName.c_str(), checked.c_str(),
                                      xmlAttrStructure_.c_str(), xsdQualifier_.c_str()))) {
        return std::nullopt; // nothing to check yet: the status keeps "..."
    }
    std::optional<std::u16string> refusal = ValueRefusal(element, valueToCheck_);
    const std::optional<std::u16string> byDefault = ItemOf(description, u"default");
    if (!refusal && byDefault && !NamesDeviceAttribute(*byDefault) && ValueRefusal(element, *byDefault)) {
        refusal = u"The default '" + *byDefault + u"' is not valid according to its type definition.";
    }
    if (refusal) {
        status_ = std::move(*refusal);
        return std::nullopt;
    }
    element_ = element;
    status_ = u"Valid Definition";
    return Completed(std::move(description), shownType, shownName);
}

std::u16string CElementEditorModel::Completed(std::u16string description, std::u16string_view type,
                                              std::u16string_view name) const {
    for (const OptionItem& pair : ItemsOf(replacements_)) {
        RenameItem(description, pair.name, pair.value); // the default row is written as vra:default
    }
    (void)AppendPlainItem(description, u"type", type);
    (void)AppendItem(description, u"name", name);
    (void)AppendPlainItem(description, u"XsdQualifier", xsdQualifier_);
    (void)AppendItem(description, u"XmlAttrStructure", xmlAttrStructure_);
    return description;
}

std::u16string CElementEditorModel::RowsDescription() const {
    std::u16string description = AttributeString(rows_);
    (void)TakeItem(description, u"DefPattern"); // the kind of token is no attribute of the element
    description = UnfoldEnumerations(description, substitution_);
    const std::u16string type = TakeItem(description, u"type").value_or(u"");
    const std::u16string name = TakeItem(description, u"name").value_or(u"");
    return Completed(std::move(description), type, name);
}

} // namespace ostrel
