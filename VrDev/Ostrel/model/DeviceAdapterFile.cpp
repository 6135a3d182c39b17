// The device adapter file: name queries and the studio's edits of one adapter document.
#include "VrDev/Ostrel/model/DeviceAdapterFile.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/options/ParamParser.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <algorithm>

namespace {

constexpr std::u16string_view kResponse = u"Response";
constexpr std::u16string_view kTypesSchema = u"/definitions/types/xsd:schema";
constexpr std::u16string_view kAttributesSchema = u"/definitions/attributes/xsd:schema";

bool EndsInResponse(std::u16string_view name) {
    return name.size() >= kResponse.size() && name.ends_with(kResponse);
}

bool IsInputMessage(std::u16string_view name) {
    return !EndsInResponse(name);
}

const char16_t* ActionName(CDeviceAdapterFile::Sequence sequence) {
    return sequence == CDeviceAdapterFile::Sequence::Open ? u"_Open" : u"_Close";
}

const char16_t* DeviceAttribute(CDeviceAdapterFile::Sequence sequence) {
    return sequence == CDeviceAdapterFile::Sequence::Open ? u"open" : u"close";
}

void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) {
        throw _com_error(hr);
    }
}

// Runs work, turning a raised COM failure into its report and HRESULT.
template <class Work>
HRESULT RunGuarded(const OLECHAR* method, Work&& work) {
    SetTraceMethodName(method);
    try {
        return work();
    } catch (const _com_error& error) {
        DumpComError(error);
        return error.Error();
    }
}

} // namespace

std::u16string XPathLiteral(std::u16string_view text) {
    if (text.find(u'\'') == std::u16string_view::npos) {
        return u"'" + std::u16string(text) + u"'";
    }
    if (text.find(u'"') == std::u16string_view::npos) {
        return u"\"" + std::u16string(text) + u"\"";
    }
    // Both kinds: apostrophe-quoted pieces joined by quoted apostrophes.
    std::u16string result = u"concat(";
    size_t start = 0;
    for (size_t at = text.find(u'\''); at != std::u16string_view::npos; at = text.find(u'\'', start)) {
        result += u"'" + std::u16string(text.substr(start, at - start)) + u"', \"'\", ";
        start = at + 1;
    }
    return result + u"'" + std::u16string(text.substr(start)) + u"')";
}

CDeviceAdapterFile::CDeviceAdapterFile(const OLECHAR* fileName) : CXmlFile(fileName) {
    // Engineers write and keep these files by hand: a save keeps the layout of what the studio does not edit.
    SetKeepLayout(true);
}

CDeviceAdapterFile::~CDeviceAdapterFile() = default;

HRESULT CDeviceAdapterFile::Save() {
    return CXmlFile::Save();
}

HRESULT CDeviceAdapterFile::Load() {
    HRESULT hr = CXmlFile::Load();
    return SUCCEEDED(hr) ? S_OK : hr;
}

HRESULT CDeviceAdapterFile::CreateFromBlank() {
    return RunGuarded(u"CDeviceAdapterFile::CreateFromBlank()", [this] {
        vr::xml::Document blank;
        ThrowIfFailed(vr::xml::Document::Create(&blank));
        blank.setAsync(false);
        blank.setPreserveWhiteSpace(true);
        blank.setKeepLayout(true); // a new file is laid out as the template is
        const std::u16string path = ostrel::BlankAdapterFilePath();
        if (FAILED(blank.load(path))) {
            DumpParseError(blank.parseError());
            return E_FAIL;
        }
        return CreateDocument(blank.xml().c_str());
    });
}

HRESULT CDeviceAdapterFile::Ready() {
    if (HRESULT hr = Load(); FAILED(hr)) {
        return hr;
    }
    return Reparse();
}

HRESULT CDeviceAdapterFile::SelectOne(const std::u16string& xpath, vr::xml::Node* node) {
    if (HRESULT hr = Ready(); FAILED(hr)) {
        return hr;
    }
    *node = {};
    HRESULT hr = GetDocument().selectSingleNode(xpath, node);
    ThrowIfFailed(hr);
    return hr;
}

void CDeviceAdapterFile::TraceNames(const std::vector<std::u16string>& names, size_t from) const {
    TraceInfoOf([&names, from] {
        std::u16string text = u"Returned Names: ";
        for (size_t i = from; i < names.size(); ++i) {
            text += u" '" + names[i] + u"'";
        }
        return text;
    });
}

HRESULT CDeviceAdapterFile::AppendSelected(const std::u16string& xpath, std::vector<std::u16string>& names,
                                           bool (*keep)(std::u16string_view)) {
    if (HRESULT hr = Ready(); FAILED(hr)) {
        return hr;
    }
    vr::xml::NodeList found;
    ThrowIfFailed(GetDocument().selectNodes(xpath, &found));
    for (const vr::xml::Node& node : found) {
        std::u16string name = node.nodeValue();
        if (keep == nullptr || keep(name)) {
            names.push_back(std::move(name));
        }
    }
    return S_OK;
}

HRESULT CDeviceAdapterFile::GetAttributeNames(std::vector<std::u16string>& names, const OLECHAR* className) {
    return RunGuarded(u"CDeviceAdapterFile::GetAttributeNames()", [&] {
        const size_t from = names.size();
        const std::u16string elements = std::u16string(kAttributesSchema) + u"/xsd:element";
        HRESULT hr = S_OK;
        if (className == nullptr) {
            hr = AppendSelected(elements + u"/@name", names);
        } else {
            const std::u16string wanted(vr::U16View(className));
            hr = AppendSelected(elements + u"[@vrt:class = " + XPathLiteral(wanted) + u"]/@name", names);
            if (SUCCEEDED(hr) && wanted == u"Attribute") {
                hr = AppendSelected(elements + u"[not(@vrt:class)]/@name", names);
            }
        }
        SetTraceSite();
        TraceNames(names, from);
        return hr;
    });
}

HRESULT CDeviceAdapterFile::GetOperationNames(std::vector<std::u16string>& names) {
    return RunGuarded(u"CDeviceAdapterFile::GetOperationNames()", [&] {
        const size_t from = names.size();
        HRESULT hr = AppendSelected(u"/definitions/operation/@name", names);
        SetTraceSite();
        TraceNames(names, from);
        return hr;
    });
}

HRESULT CDeviceAdapterFile::GetInputMessageNames(std::vector<std::u16string>& names, const OLECHAR* kind) {
    return RunGuarded(u"CDeviceAdapterFile::GetInputMessageNames()", [&] {
        const size_t from = names.size();
        bool (*keep)(std::u16string_view) = nullptr;
        if (kind != nullptr) {
            std::u16string_view wanted = vr::U16View(kind);
            if (wanted == u"InputMessage") {
                keep = IsInputMessage;
            } else if (wanted == u"OutputMessage") {
                keep = EndsInResponse;
            } else {
                return Ready(); // an unknown kind lists nothing
            }
        }
        HRESULT hr = AppendSelected(std::u16string(kTypesSchema) + u"/xsd:complexType/@name", names, keep);
        SetTraceSite();
        TraceNames(names, from);
        return hr;
    });
}

HRESULT CDeviceAdapterFile::GetNames(std::vector<std::u16string>& names, int mode, const OLECHAR* className) {
    switch (mode) {
    case kOperationNames:
        return GetOperationNames(names);
    case kMessageNames:
        return GetInputMessageNames(names, className);
    case kAttributeNames:
        return GetAttributeNames(names, className);
    default:
        return S_OK;
    }
}

// ---- Editing ----

HRESULT CDeviceAdapterFile::NewElement(std::u16string_view qualifiedName, vr::xml::Node* element) {
    vr::xml::Document document = GetDocument(); // a handle: the document itself is edited
    return document.createNode(vr::xml::NODE_ELEMENT, qualifiedName, NamespaceUriOfPrefix(qualifiedName),
                               element);
}

// The first child element of that name, made and appended when there is none.
HRESULT CDeviceAdapterFile::ChildElement(vr::xml::Node parent, std::u16string_view qualifiedName,
                                         vr::xml::Node* element) {
    for (const vr::xml::Node& child : parent.childNodes()) {
        if (child.nodeType() == vr::xml::NODE_ELEMENT && child.nodeName() == qualifiedName) {
            *element = child;
            return S_OK;
        }
    }
    ThrowIfFailed(NewElement(qualifiedName, element));
    return parent.appendChild(*element);
}

HRESULT CDeviceAdapterFile::GetDeviceSetting(const OLECHAR* name, std::u16string* value) {
    return RunGuarded(u"CDeviceAdapterFile::GetDeviceSetting()", [&] {
        vr::xml::Node device;
        HRESULT hr = SelectOne(u"/definitions/device", &device);
        return hr != S_OK ? hr : device.getAttribute(vr::U16View(name), value);
    });
}

HRESULT CDeviceAdapterFile::SetDeviceSetting(const OLECHAR* name, const OLECHAR* value) {
    return RunGuarded(u"CDeviceAdapterFile::SetDeviceSetting()", [&] {
        HRESULT hr = Ready();
        return FAILED(hr) ? hr : SetAttribute(u"/definitions/device", name, value);
    });
}

HRESULT CDeviceAdapterFile::AddAttribute(const std::u16string& name) {
    return RunGuarded(u"CDeviceAdapterFile::AddAttribute()", [&] {
        vr::xml::Node schema;
        vr::xml::Node existing;
        if (HRESULT hr = SelectOne(std::u16string(kAttributesSchema), &schema); hr != S_OK) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        ThrowIfFailed(
            schema.selectSingleNode(u"xsd:element[@name = " + XPathLiteral(name) + u"]", &existing));
        if (name.empty() || existing) {
            SetTraceSite();
            TraceError(u"The attribute name '%s' is empty or taken.", name.c_str());
            return E_INVALIDARG;
        }
        std::u16string description = u"type=int";
        BSTR text = vr::AllocBstr(description);
        (void)AppendParam(&text, u"name", name.c_str(), u" ",
                          false); // a name the writer cannot quote stays out
        description.assign(vr::BstrView(text));
        SysFreeString(text);
        description += u" vrt:class=Attribute vrt:cache=true";
        vr::xml::Node element;
        CXMLSchemaFactory factory;
        if (HRESULT hr = factory.CreateElement(&element, description.c_str()); FAILED(hr)) {
            return hr;
        }
        return schema.appendChild(element);
    });
}

HRESULT CDeviceAdapterFile::GetAttributeDescription(const std::u16string& name, std::u16string* description) {
    return RunGuarded(u"CDeviceAdapterFile::GetAttributeDescription()", [&] {
        vr::xml::Node element;
        HRESULT hr = SelectOne(std::u16string(kAttributesSchema) + u"/xsd:element[@name = " +
                                   XPathLiteral(name) + u"]",
                               &element);
        if (hr != S_OK) {
            return hr;
        }
        BSTR text = nullptr;
        CXMLSchemaFactory factory;
        hr = factory.LoadElement(element, &text);
        description->assign(vr::BstrView(text));
        SysFreeString(text);
        return hr;
    });
}

HRESULT CDeviceAdapterFile::SetAttributeDescription(const std::u16string& name,
                                                    const std::u16string& description) {
    return PutAttribute(name, description, false);
}

HRESULT CDeviceAdapterFile::WriteAttribute(const std::u16string& name, const std::u16string& description) {
    return PutAttribute(name, description, true);
}

HRESULT CDeviceAdapterFile::PutAttribute(const std::u16string& name, const std::u16string& description,
                                         bool create) {
    return RunGuarded(u"CDeviceAdapterFile::PutAttribute()", [&] {
        vr::xml::Node schema;
        if (HRESULT hr = SelectOne(std::u16string(kAttributesSchema), &schema); hr != S_OK) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        vr::xml::Node element;
        ThrowIfFailed(schema.selectSingleNode(u"xsd:element[@name = " + XPathLiteral(name) + u"]", &element));
        if (!element && !create) {
            return S_FALSE;
        }
        if (name.empty()) {
            SetTraceSite();
            TraceError(u"An attribute needs a name.");
            return E_INVALIDARG;
        }
        BSTR text = vr::AllocBstr(description);
        (void)FindParamValue(nullptr, nullptr, &text, u"name"); // the element takes the given name
        const bool named = AppendParam(&text, u"name", name.c_str(), u" ", false);
        const std::u16string full(vr::BstrView(text));
        SysFreeString(text);
        if (!named) {
            return E_INVALIDARG;
        }
        vr::xml::Node made;
        CXMLSchemaFactory factory;
        if (HRESULT hr = factory.CreateElement(&made, full.c_str()); FAILED(hr)) {
            return hr;
        }
        return element ? schema.replaceChild(made, element) : schema.appendChild(made);
    });
}

HRESULT CDeviceAdapterFile::RemoveAttribute(const std::u16string& name) {
    return RunGuarded(u"CDeviceAdapterFile::RemoveAttribute()", [&] {
        vr::xml::Node element;
        HRESULT hr = SelectOne(std::u16string(kAttributesSchema) + u"/xsd:element[@name = " +
                                   XPathLiteral(name) + u"]",
                               &element);
        return hr != S_OK ? hr : element.parentNode().removeChild(element);
    });
}

HRESULT CDeviceAdapterFile::GetMessageType(const std::u16string& name, vr::xml::Node* complexType) {
    return RunGuarded(u"CDeviceAdapterFile::GetMessageType()", [&] {
        return SelectOne(std::u16string(kTypesSchema) + u"/xsd:complexType[@name = " + XPathLiteral(name) +
                             u"]",
                         complexType);
    });
}

HRESULT CDeviceAdapterFile::SetMessageType(const vr::xml::Node& complexType) {
    return RunGuarded(u"CDeviceAdapterFile::SetMessageType()", [&] {
        std::u16string name;
        if (!complexType || complexType.getAttribute(u"name", &name) != S_OK || name.empty()) {
            SetTraceSite();
            TraceError(u"A message type must have a name.");
            return E_INVALIDARG;
        }
        vr::xml::Node schema;
        vr::xml::Node existing;
        if (HRESULT hr = SelectOne(std::u16string(kTypesSchema), &schema); hr != S_OK) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        ThrowIfFailed(
            schema.selectSingleNode(u"xsd:complexType[@name = " + XPathLiteral(name) + u"]", &existing));
        vr::xml::Node copy;
        ThrowIfFailed(complexType.cloneNode(true, &copy));
        if (existing) {
            ThrowIfFailed(schema.replaceChild(copy, existing));
        } else {
            vr::xml::Node last;
            ThrowIfFailed(schema.selectSingleNode(u"*[last()]", &last));
            ThrowIfFailed(ostrel::InsertIndented(schema, copy, last)); // on a line of its own after the last
        }
        return ostrel::IndentContent(copy); // its content laid out as the file's other types are
    });
}

HRESULT CDeviceAdapterFile::GetOperation(const std::u16string& name, Operation* operation) {
    return RunGuarded(u"CDeviceAdapterFile::GetOperation()", [&] {
        vr::xml::Node element;
        HRESULT hr = SelectOne(u"/definitions/operation[@name = " + XPathLiteral(name) + u"]", &element);
        if (hr != S_OK) {
            return hr;
        }
        Operation read;
        read.name = name;
        (void)element.getAttribute(u"parameterOrder", &read.parameterOrder); // absent: none
        (void)element.getAttribute(u"result", &read.result);                 // absent: none
        vr::xml::Node input;
        vr::xml::Node output;
        if (element.selectSingleNode(u"input", &input) == S_OK) {
            (void)input.getAttribute(u"message", &read.inputMessage); // absent: a fixed value only
        }
        if (element.selectSingleNode(u"output", &output) == S_OK) {
            (void)output.getAttribute(u"message", &read.outputMessage); // absent: the raw answer
            std::u16string timeout;
            if (output.getAttribute(u"timeout", &timeout) == S_OK) {
                read.timeout = timeout;
            }
        }
        *operation = std::move(read);
        return S_OK;
    });
}

namespace {

// Sets the attribute unless it holds that value already (an absent attribute reads as empty), so that an
// operation written back unchanged leaves its element as it was.
void UpdateAttribute(vr::xml::Node& element, std::u16string_view name, const std::u16string& value,
                     bool always) {
    std::u16string current;
    const bool present = element.getAttribute(name, &current) == S_OK;
    if (always || (present ? current != value : !value.empty())) {
        ThrowIfFailed(element.setAttribute(name, value));
    }
}

} // namespace

// Updates the operation's `input` or `output` for its message. Without a message the part stays only for
// what the socket does with it without one (an input's fixed `value`, an output's raw read with its own
// `termstring`); otherwise it goes: an input needs something to send, and an output without a message
// would make a write-only command wait for an answer that never comes.
HRESULT CDeviceAdapterFile::UpdatePart(vr::xml::Node& operation, std::u16string_view partName,
                                       const std::u16string& message,
                                       const std::optional<std::u16string>* timeout,
                                       std::u16string_view keeps) {
    vr::xml::Node part;
    ThrowIfFailed(operation.selectSingleNode(partName, &part));
    if (message.empty()) {
        std::u16string kept;
        if (part && (part.getAttribute(keeps, &kept) != S_OK || kept.empty())) {
            return operation.removeChild(part);
        }
        if (!part) {
            return S_OK;
        }
        ThrowIfFailed(part.removeAttribute(u"message"));
    } else {
        if (!part) {
            ThrowIfFailed(NewElement(partName, &part));
            vr::xml::Node after; // an input goes first, an output last
            if (partName != u"input") {
                ThrowIfFailed(operation.selectSingleNode(u"*[last()]", &after));
            }
            ThrowIfFailed(ostrel::InsertIndented(operation, part, after));
        }
        UpdateAttribute(part, u"message", message, false);
    }
    if (timeout != nullptr) {
        if (*timeout && !(*timeout)->empty()) {
            UpdateAttribute(part, u"timeout", **timeout, false);
        } else {
            ThrowIfFailed(part.removeAttribute(u"timeout"));
        }
    }
    return S_OK;
}

HRESULT CDeviceAdapterFile::WriteOperation(const Operation& operation) {
    return RunGuarded(u"CDeviceAdapterFile::WriteOperation()", [&] {
        if (operation.name.empty()) {
            SetTraceSite();
            TraceError(u"An operation needs a name.");
            return E_INVALIDARG;
        }
        for (const std::u16string* message : {&operation.inputMessage, &operation.outputMessage}) {
            vr::xml::Node type;
            if (!message->empty() && GetMessageType(*message, &type) != S_OK) {
                SetTraceSite();
                TraceError(u"Operation '%s': there is no message type '%s'.", operation.name.c_str(),
                           message->c_str());
                return E_INVALIDARG;
            }
        }
        // Asked before the nodes are taken: its query reloads the document.
        const std::u16string refusal = OperationNameRefusal(operation.name);
        vr::xml::Node root;
        vr::xml::Node element;
        if (HRESULT hr = SelectOne(u"/definitions", &root); hr != S_OK) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        ThrowIfFailed(
            root.selectSingleNode(u"operation[@name = " + XPathLiteral(operation.name) + u"]", &element));
        // The update is made on a copy, so that a refused operation leaves the document as it was; what the
        // studio does not edit (parameter mappings, fixed input values) stays.
        vr::xml::Node updated;
        if (element) {
            ThrowIfFailed(element.cloneNode(true, &updated));
        } else if (!refusal.empty()) {
            SetTraceSite();
            TraceError(u"%s", refusal.c_str());
            return E_INVALIDARG;
        } else {
            ThrowIfFailed(NewElement(u"operation", &updated));
            ThrowIfFailed(updated.setAttribute(u"name", operation.name));
        }
        UpdateAttribute(updated, u"parameterOrder", operation.parameterOrder, !element);
        UpdateAttribute(updated, u"result", operation.result, !element);
        ThrowIfFailed(UpdatePart(updated, u"input", operation.inputMessage, nullptr, u"value"));
        ThrowIfFailed(
            UpdatePart(updated, u"output", operation.outputMessage, &operation.timeout, u"termstring"));
        vr::xml::Node input;
        vr::xml::Node output;
        ThrowIfFailed(updated.selectSingleNode(u"input", &input));
        ThrowIfFailed(updated.selectSingleNode(u"output", &output));
        if (!input && !output) {
            SetTraceSite();
            TraceError(u"Operation '%s': it needs an input or an output message.", operation.name.c_str());
            return E_INVALIDARG;
        }
        if (element) {
            return root.replaceChild(updated, element);
        }
        // New operations go after the last one (before the actions that may reference them), on a line of
        // their own.
        vr::xml::Node after;
        ThrowIfFailed(root.selectSingleNode(u"operation[last()]", &after));
        if (!after) {
            ThrowIfFailed(root.selectSingleNode(u"types", &after));
        }
        ThrowIfFailed(ostrel::InsertIndented(root, updated, after));
        // Made apart from the document, its parts get their lines only now.
        vr::xml::Node previous;
        for (const vr::xml::Node& part : std::vector<vr::xml::Node>{input, output}) {
            if (part) {
                ThrowIfFailed(updated.removeChild(part));
                ThrowIfFailed(ostrel::InsertIndented(updated, part, previous));
                previous = part;
            }
        }
        return S_OK;
    });
}

std::u16string CDeviceAdapterFile::OperationNameRefusal(const std::u16string& name) {
    if (name.empty()) {
        return u"An operation needs a name.";
    }
    if (name == u"_Open" || name == u"_Close") {
        return u"'" + name + u"' is the name of the device's " + (name == u"_Open" ? u"open" : u"close") +
               u" sequence; an operation can't have it.";
    }
    vr::xml::Node action;
    if (SUCCEEDED(SelectOne(u"/definitions/action[@name = " + XPathLiteral(name) + u"]", &action)) &&
        action) {
        return u"'" + name + u"' is the name of an action of this file; an operation can't have it.";
    }
    return {};
}

HRESULT CDeviceAdapterFile::RemoveOperation(const std::u16string& name) {
    return RunGuarded(u"CDeviceAdapterFile::RemoveOperation()", [&] {
        vr::xml::Node element;
        HRESULT hr = SelectOne(u"/definitions/operation[@name = " + XPathLiteral(name) + u"]", &element);
        if (hr != S_OK) {
            return hr;
        }
        const vr::xml::Node root = element.parentNode();
        ThrowIfFailed(ostrel::RemoveIndented(element));
        return ostrel::RemoveCommandUses(root, name);
    });
}

HRESULT CDeviceAdapterFile::RenameOperation(const std::u16string& name, const std::u16string& newName) {
    return RunGuarded(u"CDeviceAdapterFile::RenameOperation()", [&] {
        std::u16string refusal = OperationNameRefusal(newName); // first: its query reloads the document
        vr::xml::Node element;
        HRESULT hr = SelectOne(u"/definitions/operation[@name = " + XPathLiteral(name) + u"]", &element);
        if (hr != S_OK) {
            return hr;
        }
        vr::xml::Node taken;
        ThrowIfFailed(element.parentNode().selectSingleNode(
            u"operation[@name = " + XPathLiteral(newName) + u"]", &taken));
        if (refusal.empty() && taken && newName != name) {
            refusal = u"'" + newName + u"' is the name of another operation.";
        }
        if (!refusal.empty()) {
            SetTraceSite();
            TraceError(u"Operation '%s' cannot be renamed to '%s': %s", name.c_str(), newName.c_str(),
                       refusal.c_str());
            return E_INVALIDARG;
        }
        ThrowIfFailed(element.setAttribute(u"name", newName));
        return ostrel::RenameCommandUses(element.parentNode(), name, newName);
    });
}

HRESULT CDeviceAdapterFile::GetActionsNeeding(const std::u16string& name,
                                              std::vector<std::u16string>* actions) {
    return RunGuarded(u"CDeviceAdapterFile::GetActionsNeeding()", [&] {
        vr::xml::Node root;
        if (HRESULT hr = SelectOne(u"/definitions", &root); hr != S_OK) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        *actions = ostrel::ActionsNeeding(root, name);
        return S_OK;
    });
}

std::u16string CDeviceAdapterFile::DirectOperation(const vr::xml::Node& root, Sequence sequence) {
    vr::xml::Node device;
    ThrowIfFailed(root.selectSingleNode(u"device", &device));
    std::u16string named;
    if (!device || device.getAttribute(DeviceAttribute(sequence), &named) != S_OK ||
        named == ActionName(sequence)) {
        return {};
    }
    vr::xml::Node operation;
    ThrowIfFailed(root.selectSingleNode(u"operation[@name = " + XPathLiteral(named) + u"]", &operation));
    return operation ? named : std::u16string();
}

HRESULT CDeviceAdapterFile::SequenceAction(Sequence sequence, vr::xml::Node* root, vr::xml::Node* action) {
    if (HRESULT hr = SelectOne(u"/definitions", root); hr != S_OK) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    *action = {};
    ThrowIfFailed(
        root->selectSingleNode(u"action[@name = '" + std::u16string(ActionName(sequence)) + u"']", action));
    return S_OK;
}

HRESULT CDeviceAdapterFile::GetSequence(Sequence sequence, std::vector<std::u16string>* operations) {
    std::vector<ostrel::ActionEntry> entries;
    HRESULT hr = GetSequenceEntries(sequence, &entries);
    if (SUCCEEDED(hr)) {
        operations->clear();
        for (ostrel::ActionEntry& entry : entries) {
            if (!entry.IsInline()) {
                operations->push_back(std::move(entry.reference));
            }
        }
    }
    return hr;
}

HRESULT CDeviceAdapterFile::GetSequenceEntries(Sequence sequence, std::vector<ostrel::ActionEntry>* entries) {
    return RunGuarded(u"CDeviceAdapterFile::GetSequence()", [&] {
        vr::xml::Node root;
        vr::xml::Node action;
        if (HRESULT hr = SequenceAction(sequence, &root, &action); FAILED(hr)) {
            return hr;
        }
        // What the device runs: an action of the sequence's name is only a command while the device runs an
        // operation itself.
        if (std::u16string direct = DirectOperation(root, sequence); !direct.empty()) {
            *entries = {{std::move(direct), {}}};
        } else {
            *entries = action ? ostrel::ActionEntries(action) : std::vector<ostrel::ActionEntry>();
        }
        return S_OK;
    });
}

HRESULT CDeviceAdapterFile::SetSequence(Sequence sequence, const std::vector<std::u16string>& operations) {
    std::vector<ostrel::ActionEntry> current;
    if (HRESULT hr = GetSequenceEntries(sequence, &current); FAILED(hr)) {
        return hr;
    }
    // The inline operations keep their places among the references that stay.
    std::vector<ostrel::ActionEntry> references;
    std::vector<ostrel::ActionEntry> wanted;
    for (const std::u16string& name : operations) {
        references.push_back({name, {}});
    }
    size_t next = 0;
    for (const ostrel::ActionEntry& entry : current) {
        if (entry.IsInline()) {
            wanted.push_back(entry);
            continue;
        }
        const auto found =
            std::find_if(references.begin() + static_cast<std::ptrdiff_t>(next), references.end(),
                         [&](const ostrel::ActionEntry& e) { return e.reference == entry.reference; });
        if (found != references.end()) {
            const size_t at = static_cast<size_t>(found - references.begin());
            wanted.insert(wanted.end(), references.begin() + static_cast<std::ptrdiff_t>(next),
                          references.begin() + static_cast<std::ptrdiff_t>(at) + 1);
            next = at + 1;
        }
    }
    wanted.insert(wanted.end(), references.begin() + static_cast<std::ptrdiff_t>(next), references.end());
    return SetSequenceEntries(sequence, wanted);
}

HRESULT CDeviceAdapterFile::GetDirectOperation(Sequence sequence, std::u16string* operation) {
    return RunGuarded(u"CDeviceAdapterFile::GetDirectOperation()", [&] {
        vr::xml::Node root;
        if (HRESULT hr = SelectOne(u"/definitions", &root); hr != S_OK) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        *operation = DirectOperation(root, sequence);
        return S_OK;
    });
}

HRESULT CDeviceAdapterFile::SetSequenceEntries(Sequence sequence,
                                               const std::vector<ostrel::ActionEntry>& entries,
                                               std::u16string_view directOperation) {
    return RunGuarded(u"CDeviceAdapterFile::SetSequence()", [&] {
        vr::xml::Node root;
        vr::xml::Node action;
        if (HRESULT hr = SequenceAction(sequence, &root, &action); FAILED(hr)) {
            return hr;
        }
        std::vector<ostrel::ActionEntry> wanted;
        for (const ostrel::ActionEntry& entry : entries) {
            vr::xml::Node operation;
            if (!entry.IsInline()) {
                ThrowIfFailed(root.selectSingleNode(
                    u"operation[@name = " + XPathLiteral(entry.reference) + u"]", &operation));
            }
            if (entry.IsInline() || operation) { // only operations that exist can run
                wanted.push_back(entry);
            }
        }
        const std::u16string direct = DirectOperation(root, sequence);
        const std::u16string name = ActionName(sequence);
        const char16_t* attribute = DeviceAttribute(sequence);
        vr::xml::Node device;
        ThrowIfFailed(ChildElement(root, u"device", &device));
        std::u16string named;
        const bool names = device.getAttribute(attribute, &named) == S_OK;
        const bool oneReference = wanted.size() == 1 && !wanted.front().IsInline();
        if (oneReference && !direct.empty() && wanted.front().reference == direct) {
            return S_OK; // the device still runs that operation itself
        }
        if (oneReference && !directOperation.empty() && wanted.front().reference == directOperation) {
            // Back to what the device ran itself: the action made for the edits in between goes.
            if (action) {
                ThrowIfFailed(ostrel::RemoveIndented(action));
            }
            ThrowIfFailed(device.setAttribute(attribute, directOperation));
            return S_OK;
        }
        if (wanted.empty()) {
            if (action) {
                ThrowIfFailed(ostrel::RemoveIndented(action));
            }
            if (names && (named == name || (!direct.empty() && named == direct))) {
                ThrowIfFailed(device.removeAttribute(attribute));
            }
            return S_OK;
        }
        if (!action) {
            ThrowIfFailed(NewElement(u"action", &action));
            ThrowIfFailed(action.setAttribute(u"name", name));
            ThrowIfFailed(action.setAttribute(u"parameterOrder", u""));
            ThrowIfFailed(action.setAttribute(u"result", u""));
            // After the last action, else after the last operation: where the socket reads actions.
            vr::xml::Node after;
            ThrowIfFailed(root.selectSingleNode(u"action[last()]", &after));
            if (!after) {
                ThrowIfFailed(root.selectSingleNode(u"operation[last()]", &after));
            }
            ThrowIfFailed(ostrel::InsertIndented(root, action, after));
        }
        ThrowIfFailed(ostrel::PlaceActionEntries(action, wanted));
        if (!names || named != name) {
            ThrowIfFailed(device.setAttribute(attribute, name));
        }
        return S_OK;
    });
}
