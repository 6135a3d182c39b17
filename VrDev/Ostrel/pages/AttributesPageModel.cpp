// The Attributes page's logic: one configuration attribute at a time in the element editor.
#include "VrDev/Ostrel/pages/AttributesPageModel.h"

#include "VrDev/Ostrel/model/DeviceAdapterFile.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "VrDev/Ostrel/pages/ElementEdit.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "platform/ui/message_box.h"

#include <algorithm>

namespace ostrel {

namespace {

constexpr std::u16string_view kNewAttribute = u"type=int vrt:class=Attribute vrt:cache=true";
constexpr std::u16string_view kRowOptions = u"DynamicallyStoreAttrValue MaxNumOfRecentValues=0";

std::u16string ElementPath(const std::u16string& name) {
    return u"/definitions/attributes/xsd:schema/xsd:element[@name = " + XPathLiteral(name) + u"]";
}

std::u16string Quoted(std::u16string_view text, std::u16string_view name) {
    std::u16string result(text);
    const size_t at = result.find(u"%s");
    return at == std::u16string::npos ? result : result.replace(at, 2, name);
}

} // namespace

std::vector<ElementRowDef> AttributeRows() {
    const std::u16string simple = u"string double long int short byte";
    const std::u16string options(kRowOptions);
    std::vector<ElementRowDef> rows = {
        {u"name", u"", simple, u"", {}, options, {}},
        {u"type",
         u"",
         u"",
         u"",
         {u"string", u"double", u"long", u"int", u"short", u"byte"},
         u"ShowUndefined DynamicallyStoreAttrValue",
         {}},
    };
    for (ElementRowDef& row : StandardElementRows(u"name type")) {
        rows.push_back(std::move(row));
    }
    rows.push_back({u"vrt:class",
                    u"",
                    u"long int short byte",
                    u"",
                    {u"Attribute", u"InnerSelector", u"OuterSelector"},
                    options,
                    {}});
    rows.push_back({u"vrt:class", u"", u"string double", u"", {u"Attribute"}, options, {}});
    rows.push_back({u"vrt:cache", u"", simple, u"", {u"true", u"false"}, options, {}});
    return rows;
}

void AttributesPageModel::Init() {
    editor_.Init(u"AllowedUndefinedName", u"xsd", u"", AttributeRows());
    SelectFirstAttribute();
}

void AttributesPageModel::RefreshNameChoices() {
    std::vector<std::u16string> names;
    if (File() != nullptr) {
        (void)File()->GetAttributeNames(names, nullptr); // a file that does not load offers no names
    }
    editor_.SetRowChoices(u"name", names);
}

HRESULT AttributesPageModel::ShowAttribute(const std::u16string& name) {
    current_ = name;
    RefreshNameChoices();
    if (name == kUndefined) {
        editor_.Clear();
        editor_.SetStatusText(u"No Attributes are defined.");
        return S_OK;
    }
    if (File() == nullptr) {
        return E_POINTER;
    }
    vr::xml::Node element;
    if (File()->GetElement(ElementPath(name).c_str(), &element) != S_OK || !element) {
        return E_INVALIDARG;
    }
    const HRESULT hr = editor_.SetElement(element, u"");
    shown_ = editor_.RowsDescription();
    return hr;
}

HRESULT AttributesPageModel::WriteEdit(const std::u16string& name, std::u16string_view description) {
    vr::xml::Node element;
    if (HRESULT hr = File()->GetElement(ElementPath(name).c_str(), &element); FAILED(hr)) {
        return hr;
    }
    if (!element) {
        return File()->WriteAttribute(name, std::u16string(description)); // a name that had no element
    }
    // The rows as shown and as edited, built alike: their difference is what the engineer changed.
    vr::xml::Node before;
    vr::xml::Node after;
    CXMLSchemaFactory factory;
    HRESULT hr = factory.CreateElement(&before, shown_.c_str());
    if (SUCCEEDED(hr)) {
        hr = factory.CreateElement(&after, std::u16string(description).c_str());
    }
    if (SUCCEEDED(hr)) {
        hr = ApplyElementEdit(element, before, after);
    }
    if (SUCCEEDED(hr)) {
        shown_ = description;
    }
    return hr;
}

void AttributesPageModel::SelectFirstAttribute() {
    std::vector<std::u16string> names;
    if (File() != nullptr) {
        (void)File()->GetAttributeNames(names, nullptr); // a file that does not load has none
    }
    (void)ShowAttribute(names.empty() ? std::u16string(kUndefined) : names.front()); // found: it shows
}

bool AttributesPageModel::Save() {
    return SUCCEEDED(context_.SaveFile(SaveKind::Edit)); // the context shows why not
}

std::u16string AttributesPageModel::FileXml() {
    if (File() == nullptr || !File()->GetDocument()) {
        return {};
    }
    return File()->GetDocument().xml();
}

void AttributesPageModel::OnElementChanged(std::u16string_view description) {
    if (std::optional<std::u16string> name = ItemOf(description, u"name")) {
        removeEnabled_ = *name != kUndefined;
        if (*name != current_) {
            if (FAILED(ShowAttribute(*name))) {
                context_.Error(Quoted(u"Error during loading '%s' Attribute.", *name));
            }
        } else if (*name != kUndefined) {
            if (File() == nullptr || FAILED(WriteEdit(*name, description))) {
                context_.Error(Quoted(u"Error during saving '%s' Attribute.", *name));
            } else if (Save()) {
                RefreshNameChoices();
            }
        }
    }
    const vr::xml::Node& element = editor_.Element();
    diagnostic_ = u"### ExtAttributes ###\r\n" + std::u16string(description) +
                  u"\r\n\r\n### Element XML ###\r\n{" + (element ? element.xml() : std::u16string()) +
                  u"}\r\n### File XML ###\r\n{" + FileXml() + u"}\r\n";
}

void AttributesPageModel::OnNew(const std::u16string& name) {
    if (File() == nullptr) {
        return;
    }
    // The name is taken as the new-name dialog gave it: its checks decide what reaches here.
    std::vector<std::u16string> names;
    (void)File()->GetAttributeNames(names, nullptr); // a file that does not load fails below
    if (std::find(names.begin(), names.end(), name) != names.end() &&
        context_.Message(
            Quoted(u"The attribute '%s' exists already. Replace it by a new integer attribute?", name),
            u"Attributes", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    if (FAILED(File()->WriteAttribute(name, std::u16string(kNewAttribute)))) {
        context_.Error(Quoted(u"Error during saving '%s' Attribute.", name));
        return;
    }
    // The new attribute becomes the current one at once, so that its first edit is stored, not reloaded.
    if (FAILED(ShowAttribute(name))) {
        context_.Error(Quoted(u"Error during loading '%s' Attribute.", name));
    }
    removeEnabled_ = true;
    (void)Save(); // a failure is reported there; the attribute stays in the document
}

void AttributesPageModel::OnRemove() {
    if (current_ == kUndefined || File() == nullptr) {
        return;
    }
    const std::u16string removed = current_;
    if (File()->RemoveAttribute(removed) != S_OK) {
        context_.Error(Quoted(u"Error during removing '%s' Attribute.", removed));
        return;
    }
    const bool written = Save();
    SelectFirstAttribute();
    removeEnabled_ = current_ != kUndefined;
    if (!written) {
        editor_.SetStatusText(
            Quoted(u"'%s' is removed, but the file still holds it until it is saved.", removed));
    }
}

} // namespace ostrel
