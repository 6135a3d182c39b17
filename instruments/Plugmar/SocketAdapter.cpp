// CSocket: loading a device adapter file into the command table, the device settings, the substitution
// table, the device attribute collection and the property table.
#include "Socket.h"

#include "SocketErrors.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/typelib.h"

#include <filesystem>

namespace plugmar {

namespace {

// A number with base prefixes ("0x" hexadecimal, a leading 0 octal, else decimal).
bool ReadNumber(const std::u16string& text, int32_t* out) {
    return TextToLong(out, text.c_str(), 0, true, false);
}

// An XPath string literal of the text (texts holding both quote kinds are not names of an adapter file).
std::u16string Quoted(std::u16string_view text) {
    return text.find(u'\'') == std::u16string_view::npos ? u"'" + std::u16string(text) + u"'"
                                                         : u"\"" + std::u16string(text) + u"\"";
}

} // namespace

HRESULT CSocket::SetAdapter(BSTR path, BSTR optionString) {
    adapterPath_ = std::u16string(vr::BstrView(path));
    const std::string narrowPath = vr::ToUtf8(adapterPath_);
    if (!xlatrix_.SetSchemaXml(narrowPath.c_str())) {
        return RecordFailure(TYPE_E_INVDATAREAD, u"Couldn't load Adapter '%s'; %hs", adapterPath_.c_str(),
                             xlatrix_.strErrorText.c_str());
    }
    if (FAILED(vr::xml::Document::Create(&adapterDocument_)) ||
        FAILED(adapterDocument_.setProperty(u"SelectionLanguage", u"XPath")) ||
        FAILED(adapterDocument_.setProperty(u"SelectionNamespaces",
                                            u"xmlns:xsd='http://www.w3.org/2001/XMLSchema'"))) {
        return RecordInternalFailure(DISP_E_EXCEPTION);
    }
    adapterDocument_.setAsync(false);
    if (FAILED(adapterDocument_.load(adapterPath_))) {
        vr::xml::ParseError error = adapterDocument_.parseError();
        return RecordFailure(TYPE_E_INVDATAREAD, u"%s (line %d, column %d): %s", error.url.c_str(),
                             error.line, error.linepos, error.reason.c_str());
    }
    if (HRESULT hr = LoadCommands(adapterDocument_); FAILED(hr)) {
        return hr;
    }
    vr::xml::Node device;
    if (SUCCEEDED(adapterDocument_.selectSingleNode(u"/definitions/device", &device)) && device) {
        if (HRESULT hr = LoadDevice(device); FAILED(hr)) {
            return hr;
        }
    }
    TraceCommands(adapterPath_);
    if (HRESULT hr = AddCommandProperties(); FAILED(hr)) {
        return hr;
    }
    TraceSubstitutions(adapterPath_);
    if (HRESULT hr = LoadDeviceAttributes(path, optionString); FAILED(hr)) {
        return hr;
    }
    TraceProperties(adapterPath_);
    LoadAdapterTypeLibrary();
    return S_OK;
}

HRESULT CSocket::LoadCommands(const vr::xml::Document& adapter) {
    vr::xml::NodeList operations;
    vr::xml::NodeList actions;
    if (FAILED(adapter.selectNodes(u"/definitions/operation", &operations)) ||
        FAILED(adapter.selectNodes(u"/definitions/action", &actions))) {
        return RecordInternalFailure(DISP_E_EXCEPTION);
    }
    for (const vr::xml::Node& element : operations) {
        auto operation = std::make_unique<COperation>(*this);
        if (HRESULT hr = operation->Load(element, u""); FAILED(hr)) {
            return hr;
        }
        if (HRESULT hr = AddCommand(std::move(operation)); FAILED(hr)) {
            return hr;
        }
    }
    for (const vr::xml::Node& element : actions) {
        auto action = std::make_unique<CAction>(*this);
        if (HRESULT hr = action->Load(element, u""); FAILED(hr)) {
            return hr;
        }
        if (HRESULT hr = AddCommand(std::move(action)); FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT CSocket::LoadDevice(const vr::xml::Node& device) {
    vr::xml::NamedNodeMap attributes = device.attributes();
    for (int32_t i = 0; i < attributes.length(); ++i) {
        vr::xml::Node attribute = attributes.item(i);
        const std::u16string name = attribute.nodeName();
        const std::u16string value = attribute.nodeValue();
        if (name == u"open" || name == u"close") {
            if (!FindCommand(value)) {
                return RecordFailure(E_FAIL,
                                     u"'device' element: Attribute '%s' refering to undefined '%s' command.",
                                     name.c_str(), value.c_str());
            }
            (name == u"open" ? openCommand_ : closeCommand_) = value;
        } else if (name == u"timeout") {
            if (!ReadNumber(value, &deviceTimeout_)) {
                return RecordFailure(E_FAIL, u"'device' element: Attribute 'timeout' holds no number: '%s'.",
                                     value.c_str());
            }
        } else if (name == u"termstring") {
            deviceTermString_ = value;
        } else if (name == u"defaultSelector") {
            defaultSelectorName_ = value;
        } else {
            return RecordFailure(E_FAIL, u"Unknown attribute '%s' within the 'device' element.",
                                 name.c_str());
        }
    }
    TraceInfo(u"DEVICE: open='%s', close='%s', timeout='%d'; ", openCommand_.c_str(), closeCommand_.c_str(),
              deviceTimeout_);
    return S_OK;
}

HRESULT CSocket::AddCommandProperties() {
    for (const auto& [name, command] : commands_) {
        if (command->IsNested()) {
            continue;
        }
        CommandKind kind = CommandKind::Method;
        std::u16string property = name;
        if (name.starts_with(u"set_")) {
            kind = CommandKind::Put;
            property = name.substr(4);
        } else if (name.starts_with(u"get_")) {
            kind = CommandKind::Get;
            property = name.substr(4);
        }
        std::u16string problem;
        if (FAILED(properties_.AddProperty(property, kind, name, 0, &problem))) {
            return RecordFailure(E_FAIL, u"%s", problem.c_str());
        }
    }
    return S_OK;
}

HRESULT CSocket::LoadDeviceAttributes(BSTR path, BSTR optionString) {
    vr::ComPtr<IVrAttributeCollection> collection;
    HRESULT hr = CoCreateInstance(CLSID_AttributeCollection, nullptr, CLSCTX_INPROC_SERVER,
                                  vr::uuidof<IVrAttributeCollection>(), collection.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = collection->SetAttributeCollectionFilter(this);
    }
    if (SUCCEEDED(hr)) {
        // Held before it loads: AttributeIsCreated asks it for the classes of the attributes it creates.
        deviceCollection_ = collection;
        BSTR xpath = vr::AllocBstr(u"/definitions/attributes");
        BSTR scope = vr::AllocBstr(u"Device");
        hr = collection->LoadFile(path, xpath, scope, optionString);
        SysFreeString(xpath);
        SysFreeString(scope);
    }
    if (FAILED(hr)) {
        deviceCollection_ = nullptr;
        return RecordFailure(hr, u"Couldn't load <attributes> element of %s.",
                             std::u16string(vr::BstrView(path)).c_str());
    }
    return ownCollection_->AddContainedAttributes(collection.Get(), vr::MissingArgument());
}

void CSocket::TraceCommands(std::u16string_view path) const {
    std::u16string text = u"### COMMANDS loaded from '" + std::u16string(path) + u"':";
    for (const auto& [name, command] : commands_) {
        command->Dump(text);
    }
    TraceInfo(u"%s", text.c_str());
}

void CSocket::TraceSubstitutions(std::u16string_view path) const {
    std::u16string text =
        u"### SUBSTITUTION_ENUMS loaded from '" + std::u16string(path) + u"' (<value>=<substitution> pairs):";
    for (const auto& [key, pairs] : substitutions_) {
        text += u"\n-- '" + key + u"':";
        for (const auto& [value, substitution] : pairs) {
            text += u" '" + value + u"' = '" + substitution + u"';";
        }
    }
    TraceInfo(u"%s", text.c_str());
}

void CSocket::TraceProperties(std::u16string_view path) const {
    std::u16string text = u"### PROPERTIES loaded from '" + std::u16string(path) + u"':";
    for (const auto& [key, property] : properties_.Entries()) {
        text += vr::FormatWString(u"\n-- PROP: '%s'; DISPID: '%d'; ptPropertyTypeFlags: '%d'; ",
                                  property.name.c_str(), property.dispId, property.ptPropertyTypeFlags);
        if (!property.getCommand.empty()) {
            text += u"GET: '" + property.getCommand + u"'; ";
        }
        if (!property.putCommand.empty()) {
            text += u"PUT: '" + property.putCommand + u"'; ";
        }
        if (!property.methodCommand.empty()) {
            text += u"METHOD: '" + property.methodCommand + u"'; ";
        }
    }
    TraceInfo(u"%s", text.c_str());
}

std::u16string CSocket::AdapterBaseName() const {
    return std::filesystem::path(vr::ToUtf8(adapterPath_)).stem().u16string();
}

// The adapter's own type library: "bin/<name>.tlb" in the adapter file's folder (dev.daf: bin/dev.daf.tlb).
std::u16string CSocket::AdapterTypeLibraryPath() const {
    std::filesystem::path adapter(vr::ToUtf8(adapterPath_));
    std::filesystem::path library = adapter.parent_path() / "bin" / (adapter.filename().string() + ".tlb");
    return vr::FromUtf8(library.string());
}

void CSocket::LoadAdapterTypeLibrary() {
    const std::u16string path = AdapterTypeLibraryPath();
    TraceInfo(u"Loading Adapter's TypeLibrary '%s'.", path.c_str());
    vr::ComPtr<ITypeLib> library;
    if (FAILED(LoadTypeLib(path.c_str(), library.Put())) || !library) {
        TraceInfo(u"WARNING: Couldn't load Adapter's TypeLibrary '%s'.", path.c_str());
        return;
    }
    const UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind = TKIND_ENUM;
        if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_DISPATCH) {
            (void)library->GetTypeInfo(i, adapterTypeInfo_.Put());
            return;
        }
    }
    TraceError(u"Couldn't find CoClass's ITypeInfo within Adapter's TypeLibrary '%s'.", path.c_str());
}

HRESULT CSocket::LoadSubstEnums(std::u16string_view message, std::u16string_view element,
                                std::u16string* firstValue, bool* found) {
    const std::u16string key = std::u16string(message) + u":" + std::u16string(element);
    *found = false;
    if (auto known = firstEnumValues_.find(key); known != firstEnumValues_.end()) {
        *firstValue = known->second;
        *found = true;
        return S_OK;
    }
    const std::u16string xpath = u"/definitions/types/xsd:schema/xsd:complexType[@name = " + Quoted(message) +
                                 u"]//xsd:element[@name = " + Quoted(element) + u"]//xsd:enumeration";
    vr::xml::NodeList enumerations;
    if (FAILED(adapterDocument_.selectNodes(xpath, &enumerations))) {
        return RecordInternalFailure(DISP_E_EXCEPTION);
    }
    SubstitutionPairs pairs;
    bool partial = false;
    for (const vr::xml::Node& enumeration : enumerations) {
        std::u16string value;
        std::u16string substitution;
        bool hasSubstitution = false;
        vr::xml::NamedNodeMap attributes = enumeration.attributes();
        for (int32_t i = 0; i < attributes.length(); ++i) {
            vr::xml::Node attribute = attributes.item(i);
            if (vr::EqualsNoCase(attribute.baseName(), u"value")) {
                value = attribute.nodeValue();
            } else if (vr::EqualsNoCase(attribute.baseName(), u"substitution")) {
                substitution = attribute.nodeValue();
                hasSubstitution = true;
            }
        }
        if (!*found) {
            *firstValue = value;
            *found = true;
        }
        if (hasSubstitution) {
            pairs.emplace_back(value, substitution);
        } else {
            partial = true;
        }
    }
    if (!*found) {
        return S_OK;
    }
    firstEnumValues_[key] = *firstValue;
    if (!pairs.empty()) {
        if (partial) {
            TraceInfo(u"WARNING: '%s' parameter has partially defined 'substitution' attributes for it's "
                      u"'enumeration' elements; ('substitution' must be defined for each enum 'value')",
                      key.c_str());
        }
        substitutions_[key] = std::move(pairs);
    }
    return S_OK;
}

bool CSocket::TranslateSubstEnum(std::u16string_view message, std::u16string_view element,
                                 std::u16string& text, bool toSubstitution) {
    auto entry = substitutions_.find(std::u16string(message) + u":" + std::u16string(element));
    if (entry == substitutions_.end()) {
        return false;
    }
    for (const auto& [value, substitution] : entry->second) {
        const std::u16string& from = toSubstitution ? value : substitution;
        const std::u16string& to = toSubstitution ? substitution : value;
        if (vr::EqualsNoCase(from, text)) {
            TraceInfo(toSubstitution
                          ? u"TranslateSubstEnum: '%s' value was translated into '%s' substitution;"
                          : u"TranslateSubstEnum: '%s' substitution was translated into '%s' value;",
                      text.c_str(), to.c_str());
            text = to;
            return true;
        }
    }
    return false;
}

} // namespace plugmar
