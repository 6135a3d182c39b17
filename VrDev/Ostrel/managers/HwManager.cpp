// The connection and device management windows' logic: records of the hardware manager's store.
#include "VrDev/Ostrel/managers/HwManager.h"

#include "common/comtext/VariantTexts.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/com/variant.h"

#include <cstdio>
#include <filesystem>

namespace ostrel {

namespace {

std::u16string Replace(std::u16string text, std::u16string_view key, std::u16string_view value) {
    if (size_t at = text.find(key); at != std::u16string::npos) {
        text.replace(at, key.size(), value);
    }
    return text;
}

std::u16string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return vr::FromUtf8(text);
}

std::u16string Text(const _bstr_t& text) {
    return std::u16string(text.view());
}

} // namespace

std::u16string NewNameCaption(std::u16string_view kind) {
    return u"New " + std::u16string(kind);
}

std::u16string NewNamePrompt(std::u16string_view kind) {
    return u"Enter a new " + std::u16string(kind) + u" Name :";
}

DeviceLibraryFolder::DeviceLibraryFolder(std::string folder) : places_(DefaultSocketLibraryPlaces()) {
    places_.outputFolder = std::move(folder);
}

HRESULT DeviceLibraryFolder::Rebuild(const std::u16string& device, const std::u16string& adapterFile,
                                     std::u16string* error) {
    HRESULT hr = CreateSocketDll(device, adapterFile, places_);
    if (FAILED(hr)) {
        *error = u"The device library of '" + device + u"' can't be generated: " + LastErrorText();
    }
    return hr;
}

void DeviceLibraryFolder::Remove(const std::u16string& device) {
    RemoveSocketDll(device, places_);
}

ServerCheck CheckServer(const std::u16string& server) {
    if (server == kUndefined) {
        return ServerCheck::kUndefined;
    }
    CLSID clsid{};
    return !server.empty() && SUCCEEDED(CLSIDFromProgID(server.c_str(), &clsid)) ? ServerCheck::kRegistered
                                                                                 : ServerCheck::kUnknown;
}

HwManager::HwManager(HwKind kind, IVrRigmont* rigmont, DeviceLibraries* libraries)
    : kind_(kind), rigmont_(rigmont), libraries_(libraries), status_(u"OK") {
    recentServers_.Load("Software\\Vornic\\UserValues\\ListOfRecentValues\\",
                        kind == HwKind::kConnection ? "ConnectionServer" : "SocketServer");
}

std::vector<std::u16string> HwManager::ServerChoices() const {
    std::vector<std::u16string> choices;
    for (const std::string& server : recentServers_.Items()) {
        choices.insert(choices.begin(), vr::FromUtf8(server));
    }
    return choices;
}

const char16_t* HwManager::CaptionWord() const {
    return kind_ == HwKind::kConnection ? u"Connection" : u"Device";
}

const char16_t* HwManager::RecordType() const {
    return kind_ == HwKind::kConnection ? u"connection" : u"socket";
}

const char16_t* HwManager::ResourceLabel() const {
    return kind_ == HwKind::kConnection ? u"Resource" : u"Connection";
}

const char* HwManager::EditorOptions() const {
    return kind_ == HwKind::kConnection ? "ShowUndefined"
                                        : "ShowUndefined IncludeAttributeQualifiers='Device Socket'";
}

const char* HwManager::AttributeOptions() const {
    return kind_ == HwKind::kConnection
               ? "Connection:SimulationFile='DynamicallyStoreAttrValue FileMask=*.csf'"
               : "Socket:AdapterFile='DynamicallyStoreAttrValue FileMask=*.daf'";
}

std::u16string HwManager::Said(const char* format, const std::u16string& name, HRESULT hr) const {
    std::u16string text = Replace(vr::FromUtf8(format), u"%ls", name);
    text = Replace(std::move(text), u"%s", CaptionWord());
    return Replace(std::move(text), u"0x%08X", HexCode(hr));
}

std::vector<std::u16string> HwManager::RecordNames(const char16_t* type) {
    _variant_t names;
    std::vector<std::u16string> all;
    if (FAILED(rigmont_->GetRecordNames(_bstr_t(type), &names)) ||
        !vrcommon::VariantArrayTexts(names, &all)) {
        status_ = u"Can't retrieve names from the Hardware Manager.";
        return {};
    }
    std::erase_if(all, [](const std::u16string& name) { return name.empty() || name[0] == u'_'; });
    return all;
}

std::vector<std::u16string> HwManager::ResourceChoices() {
    if (kind_ == HwKind::kDevice) {
        return RecordNames(u"connection");
    }
    if (server_ == kUndefined) {
        return {};
    }
    _variant_t found;
    std::vector<std::u16string> resources;
    if (FAILED(rigmont_->FindResources(_bstr_t(server_.c_str()), _bstr_t(u"connection"), &found)) ||
        !vrcommon::VariantArrayTexts(found, &resources)) {
        status_ = u"The Hardware Manager can't find available resources.";
        return {};
    }
    std::erase_if(resources, [](const std::u16string& resource) { return resource.empty(); });
    return resources;
}

void HwManager::SelectName(const std::u16string& name) {
    if (name == name_ && (recordLoaded_ || name == kUndefined)) {
        return;
    }
    name_ = name;
    Load();
}

void HwManager::Load() {
    ++loadCount_;
    server_ = resource_ = kUndefined;
    setup_.clear();
    recordLoaded_ = false;
    object_ = nullptr;
    if (name_ == kUndefined) {
        status_ = u"OK";
        return;
    }
    _bstr_t server;
    _bstr_t resource;
    _bstr_t setup;
    if (FAILED(rigmont_->LoadRecord(_bstr_t(RecordType()), _bstr_t(name_.c_str()), _bstr_t(u""),
                                    server.GetAddress(), resource.GetAddress(), setup.GetAddress()))) {
        status_ = Said("Error: '%ls' %s wasn't found.", name_);
        return;
    }
    server_ = Text(server);
    resource_ = Text(resource);
    setup_ = Text(setup);
    recordLoaded_ = true;
    status_ = u"...";
    if (HRESULT hr = CreateObject(); FAILED(hr)) {
        object_ = nullptr;
        if (server_.empty()) {
            status_ = u"Specify Server for '" + name_ + u"' " + CaptionWord() + u".";
        } else if (resource_.empty()) {
            status_ = u"Specify " + std::u16string(ResourceLabel()) + u" for '" + name_ + u"' " +
                      CaptionWord() + u".";
        } else {
            status_ = Said("Error: Couldn't create '%ls' %s, Code: 0x%08X.", name_, hr);
        }
        return;
    }
    if (status_ == u"...") {
        status_ = u"OK";
    }
}

HRESULT HwManager::CreateObject() {
    if (kind_ == HwKind::kConnection) {
        vr::ComPtr<IVrConnection> connection;
        HRESULT hr = rigmont_->CreateConnection(_bstr_t(name_.c_str()), _variant_t(u""), connection.Put());
        object_ = connection.Get();
        return hr;
    }
    _bstr_t adapterFile;
    if (libraries_ && HasParam(adapterFile.GetAddress(), setup_.c_str(), u"AdapterFile", true)) {
        std::u16string error;
        if (FAILED(libraries_->Rebuild(name_, Text(adapterFile), &error))) {
            status_ = error; // the socket still works from its adapter file; the status keeps the failure
        }
    }
    vr::ComPtr<IVrSocket> socket;
    HRESULT hr = rigmont_->CreateSocket(_bstr_t(name_.c_str()), _variant_t(u""), socket.Put());
    object_ = socket.Get();
    return hr;
}

void HwManager::AttributesNotShown() {
    status_ = Said("Error: Couldn't retrieve Attributes from '%ls' %s.", name_);
}

vr::ComPtr<IVrAttributeCollection> HwManager::Attributes() const {
    vr::ComPtr<IVrAttributeCollection> attributes;
    vr::ComPtr<IVrConnection> connection;
    vr::ComPtr<IVrSocket> socket;
    if (!object_) {
        return attributes;
    }
    if (SUCCEEDED(object_->QueryInterface(vr::uuidof<IVrConnection>(), connection.PutVoid()))) {
        (void)connection->get_Attributes(attributes.Put()); // null when it has none: nothing to edit
    } else if (SUCCEEDED(object_->QueryInterface(vr::uuidof<IVrSocket>(), socket.PutVoid()))) {
        (void)socket->get_Attributes(attributes.Put()); // as above
    }
    return attributes;
}

vr::ComPtr<IVrConnection> HwManager::TestConnection() const {
    vr::ComPtr<IVrConnection> connection;
    if (kind_ == HwKind::kConnection && object_) {
        (void)object_->QueryInterface(vr::uuidof<IVrConnection>(),
                                      connection.PutVoid()); // null when it is none
    }
    return connection;
}

bool HwManager::SetServer(const std::u16string& server) {
    if (CheckServer(server) == ServerCheck::kUnknown) {
        status_ =
            u"'" + server + u"' is no registered ProgID: the " + CaptionWord() + u" can't be made by it.";
        return false;
    }
    server_ = server;
    if (ApplyFields(u"") == S_OK && server_ != kUndefined) {
        recentServers_.Add(vr::ToUtf8(server_));
        recentServers_.Save();
    }
    return true;
}

void HwManager::SetResource(const std::u16string& resource) {
    resource_ = resource;
    (void)ApplyFields(u""); // a failure is on the status line
}

void HwManager::AttributeChanged(const std::u16string& name, const std::u16string& value) {
    std::error_code error;
    if (kind_ != HwKind::kDevice || name != u"Socket:AdapterFile" ||
        !std::filesystem::is_regular_file(vr::ToUtf8(value), error)) {
        return;
    }
    _bstr_t addition(u"");
    // Quoted: a path may hold blanks, commas or semicolons, which would end the item.
    if (!AppendParam(addition.GetAddress(), name.c_str(), value.c_str(), u" ", true)) {
        status_ = u"Error: the adapter file's path can't be stored: it holds every kind of quote.";
        return;
    }
    (void)ApplyFields(Text(addition)); // a failure is on the status line
}

HRESULT HwManager::ApplyFields(const std::u16string& addition) {
    if (name_ == kUndefined || server_ == kUndefined || resource_ == kUndefined) {
        return S_FALSE;
    }
    _bstr_t server;
    _bstr_t resource;
    _bstr_t setup;
    if (HRESULT hr = rigmont_->LoadRecord(_bstr_t(RecordType()), _bstr_t(name_.c_str()), _bstr_t(u""),
                                          server.GetAddress(), resource.GetAddress(), setup.GetAddress());
        FAILED(hr)) {
        return hr;
    }
    bool changed = false;
    std::u16string stored = Text(setup);
    for (int index = 0; index < ParamCount(addition.c_str()); ++index) {
        _bstr_t item;
        _bstr_t value;
        (void)GetParamAt(item.GetAddress(), value.GetAddress(), addition.c_str(), index); // index < count
        _bstr_t present;
        if (HasParam(present.GetAddress(), stored.c_str(), item) && present.view() == value.view()) {
            continue;
        }
        _bstr_t edited(stored.c_str());
        while (FindParamValue(nullptr, nullptr, edited.GetAddress(), item)) {
        }
        (void)AppendParam(edited.GetAddress(), item, value, u" ", true); // it was read from an option string
        stored = Text(edited);
        changed = true;
    }
    if (server_ == Text(server) && resource_ == Text(resource) && !changed) {
        return S_FALSE;
    }
    if (HRESULT hr =
            rigmont_->SaveRecord(_bstr_t(RecordType()), _bstr_t(name_.c_str()), _bstr_t(server_.c_str()),
                                 _bstr_t(resource_.c_str()), _bstr_t(stored.c_str()));
        FAILED(hr)) {
        status_ = Said("ERROR while saving configuration data for '%ls' %s.", name_);
        return hr;
    }
    Load();
    return S_OK;
}

void HwManager::Save(const std::u16string& attributes) {
    if (!recordLoaded_) {
        return;
    }
    HRESULT hr = rigmont_->SaveRecord(_bstr_t(RecordType()), _bstr_t(name_.c_str()), _bstr_t(server_.c_str()),
                                      _bstr_t(resource_.c_str()), _bstr_t(attributes.c_str()));
    status_ = SUCCEEDED(hr) ? Said("Configuration data for '%ls' %s were saved.", name_)
                            : Said("ERROR while saving configuration data for '%ls' %s.", name_);
}

void HwManager::Remove() {
    if (!recordLoaded_) {
        return;
    }
    std::u16string name = name_;
    if (FAILED(rigmont_->RemoveRecord(_bstr_t(RecordType()), _bstr_t(name.c_str())))) {
        status_ = Said("ERROR while removing '%ls' %s.", name);
        return;
    }
    object_ = nullptr; // the object may hold a generated library of the device
    if (kind_ == HwKind::kDevice && libraries_) {
        libraries_->Remove(name);
    }
    SelectName(kUndefined);
    status_ = Said("'%ls' %s has been removed.", name);
}

void HwManager::New(const std::u16string& name) {
    if (kind_ == HwKind::kDevice && !IsFileSafeName(name)) {
        status_ = Said("Error: '%ls' can't be a %s name: it names the device's files.", name);
        return;
    }
    _bstr_t server;
    _bstr_t resource;
    _bstr_t setup;
    if (SUCCEEDED(rigmont_->LoadRecord(_bstr_t(RecordType()), _bstr_t(name.c_str()), _bstr_t(u""),
                                       server.GetAddress(), resource.GetAddress(), setup.GetAddress()))) {
        SelectName(name);
        return;
    }
    server = resource = setup = _bstr_t(u"");
    // Without a "_default" record the copy starts empty: the failed load leaves nothing to copy.
    if (FAILED(rigmont_->LoadRecord(_bstr_t(RecordType()), _bstr_t(u"_default"), _bstr_t(u""),
                                    server.GetAddress(), resource.GetAddress(), setup.GetAddress()))) {
        server = resource = setup = _bstr_t(u"");
    }
    if (FAILED(rigmont_->SaveRecord(_bstr_t(RecordType()), _bstr_t(name.c_str()), server, resource, setup))) {
        status_ = Said("ERROR while saving configuration data for '%ls' %s.", name);
        return;
    }
    SelectName(name);
}

} // namespace ostrel
