// Session objects: IMessage and ISerial over a message session.
#include "visa_session_object.h"

#include "platform/base/text.h"
#include "platform/com/errorinfo.h"

#include <cstring>

using vr::visa::Failure;
namespace attr = vr::visa::attr;

HRESULT CVisaSession::Create(std::unique_ptr<vr::visa::MessageSession> session, std::u16string_view options,
                             IVisaSession** out) {
    vr::ComObjectPtr<CVisaSession> object;
    HRESULT hr = vr::ComObject<CVisaSession>::Create(&object);
    if (FAILED(hr)) {
        return hr;
    }
    object->session_ = std::move(session);
    object->options_ = options;
    *out = static_cast<IVisaSession*>(object.Detach());
    return S_OK;
}

HRESULT CVisaSession::QueryUnlistedInterface(REFIID riid, void** ppv) {
    if (riid == vr::uuidof<ISerial>() && session_->IsSerial()) {
        *ppv = static_cast<ISerial*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CVisaSession::Done(HRESULT hr, const Failure& failure) {
    lastStatus_ = hr;
    if (FAILED(hr)) {
        std::string message = failure.message.empty() ? vr::visa::StatusText(hr) : failure.message;
        return vr::ReportError(hr, vr::uuidof<IMessage>(), u"VISA", vr::FromUtf8(message));
    }
    return hr;
}

HRESULT CVisaSession::SetValue(uint32_t attribute, int32_t value) {
    Failure failure;
    return Done(session_->SetAttribute(attribute, value, &failure), failure);
}

template <class T>
HRESULT CVisaSession::GetValue(uint32_t attribute, T* value) {
    if (!value) {
        return E_POINTER;
    }
    Failure failure;
    int32_t number = 0;
    HRESULT hr = Done(session_->GetAttribute(attribute, &number, &failure), failure);
    if (SUCCEEDED(hr)) {
        *value = static_cast<T>(number);
    }
    return hr;
}

// The get and put members of a number property that is the session's attribute of that identifier.
#define VR_SESSION_NUMBER_PROPERTY(Name, Type, attribute)                                                    \
    HRESULT CVisaSession::get_##Name(Type* value) {                                                          \
        return GetValue(attribute, value);                                                                   \
    }                                                                                                        \
    HRESULT CVisaSession::put_##Name(Type value) {                                                           \
        return SetValue(attribute, value);                                                                   \
    }

HRESULT CVisaSession::get_ResourceName(BSTR* name) {
    if (!name) {
        return E_POINTER;
    }
    *name = vr::AllocBstrUtf8(session_->Name().canonical);
    return S_OK;
}

HRESULT CVisaSession::get_HardwareInterfaceType(SHORT* type) {
    if (!type) {
        return E_POINTER;
    }
    *type = static_cast<SHORT>(session_->Name().type);
    return S_OK;
}

HRESULT CVisaSession::get_HardwareInterfaceNumber(SHORT* board) {
    if (!board) {
        return E_POINTER;
    }
    *board = session_->Name().board;
    return S_OK;
}

VR_SESSION_NUMBER_PROPERTY(Timeout, LONG, attr::kTimeout)

HRESULT CVisaSession::get_LastStatus(HRESULT* status) {
    if (!status) {
        return E_POINTER;
    }
    *status = lastStatus_;
    return S_OK;
}

HRESULT CVisaSession::GetAttribute(LONG attribute, VARIANT* value) {
    if (!value) {
        return E_POINTER;
    }
    int32_t number = 0;
    HRESULT hr = GetValue(static_cast<uint32_t>(attribute), &number);
    if (SUCCEEDED(hr)) {
        (void)VariantClear(value);
        value->vt = VT_I4;
        value->lVal = number;
    }
    return hr;
}

HRESULT CVisaSession::SetAttribute(LONG attribute, VARIANT value) {
    VARIANT number;
    VariantInit(&number);
    HRESULT hr = VariantChangeType(&number, &value, 0, VT_I4);
    if (FAILED(hr)) {
        Failure failure{vr::visa::kErrorUnsupportedAttributeState, "The attribute value is not a number."};
        return Done(failure.status, failure);
    }
    return SetValue(static_cast<uint32_t>(attribute), number.lVal);
}

HRESULT CVisaSession::LockRsrc(LONG, LONG, BSTR, BSTR* accessKey) {
    if (accessKey) {
        *accessKey = nullptr;
    }
    return Done(vr::visa::kErrorUnsupportedOperation, {});
}

HRESULT CVisaSession::UnlockRsrc() {
    return Done(vr::visa::kErrorUnsupportedOperation, {});
}

HRESULT CVisaSession::Close() {
    session_->Close();
    lastStatus_ = S_OK;
    return S_OK;
}

namespace {

HRESULT PutText(BSTR* out, std::u16string_view text) {
    if (!out) {
        return E_POINTER;
    }
    *out = vr::AllocBstr(text);
    return *out || text.empty() ? S_OK : E_OUTOFMEMORY;
}

template <class T>
HRESULT PutNumber(T* out, T value) {
    if (!out) {
        return E_POINTER;
    }
    *out = value;
    return S_OK;
}

} // namespace

HRESULT CVisaSession::get_ComponentVersion(LONG* version) {
    return PutNumber(version, kVisaComponentVersion);
}

HRESULT CVisaSession::get_SpecVersion(LONG* version) {
    return PutNumber(version, kVisaSpecVersion);
}

HRESULT CVisaSession::get_HardwareInterfaceName(BSTR* name) {
    const std::string& canonical = session_->Name().canonical;
    return PutText(name, vr::FromUtf8(canonical.substr(0, canonical.find("::"))));
}

HRESULT CVisaSession::get_LockState(LONG* state) {
    return PutNumber(state, static_cast<LONG>(NO_LOCK));
}

HRESULT CVisaSession::get_OptionString(BSTR* options) {
    return PutText(options, options_);
}

HRESULT CVisaSession::get_ProgID(BSTR* progId) {
    return PutText(progId, kVisaResourceManagerProgId);
}

HRESULT CVisaSession::get_SessionType(BSTR* type) {
    return PutText(type, vr::FromUtf8(session_->Name().resourceClass));
}

HRESULT CVisaSession::get_SoftwareManufacturerID(SHORT* id) {
    return PutNumber(id, kVisaManufacturerId);
}

HRESULT CVisaSession::get_SoftwareManufacturerName(BSTR* name) {
    return PutText(name, kVisaManufacturerName);
}

HRESULT CVisaSession::Init() {
    return Done(session_->IsOpen() ? S_OK : vr::visa::kErrorInvalidObject, {});
}

VR_SESSION_NUMBER_PROPERTY(TerminationCharacter, BYTE, attr::kTermChar)

HRESULT CVisaSession::get_TerminationCharacterEnabled(VARIANT_BOOL* enabled) {
    HRESULT hr = GetValue(attr::kTermCharEnabled, enabled);
    if (SUCCEEDED(hr)) {
        *enabled = *enabled ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return hr;
}

HRESULT CVisaSession::put_TerminationCharacterEnabled(VARIANT_BOOL enabled) {
    return SetValue(attr::kTermCharEnabled, enabled != VARIANT_FALSE);
}

HRESULT CVisaSession::get_SendEndEnabled(VARIANT_BOOL* enabled) {
    HRESULT hr = GetValue(attr::kSendEndEnabled, enabled);
    if (SUCCEEDED(hr)) {
        *enabled = *enabled ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return hr;
}

HRESULT CVisaSession::put_SendEndEnabled(VARIANT_BOOL enabled) {
    return SetValue(attr::kSendEndEnabled, enabled != VARIANT_FALSE);
}

HRESULT CVisaSession::Clear() {
    session_->Clear();
    return Done(S_OK, {});
}

HRESULT CVisaSession::AssertTrigger(LONG) {
    return Done(vr::visa::kErrorUnsupportedOperation, {});
}

HRESULT CVisaSession::ReadSTB(SHORT* statusByte) {
    if (!statusByte) {
        return E_POINTER;
    }
    return Done(vr::visa::kErrorUnsupportedOperation, {});
}

HRESULT CVisaSession::get_IOProtocol(SHORT* protocol) {
    return PutNumber(protocol, static_cast<SHORT>(PROT_NORMAL));
}

HRESULT CVisaSession::put_IOProtocol(SHORT protocol) {
    if (protocol == PROT_NORMAL) {
        return Done(S_OK, {});
    }
    return Done(vr::visa::kErrorUnsupportedAttributeState,
                {vr::visa::kErrorUnsupportedAttributeState,
                 "The I/O protocol " + std::to_string(protocol) +
                     " is not supported; sessions here speak the normal protocol (1)."});
}

HRESULT CVisaSession::ReadBytes(LONG count, std::string_view* bytes) {
    *bytes = {};
    Failure failure;
    if (count < 0) {
        failure = {E_INVALIDARG, "The count of a read is negative."};
        return Done(E_INVALIDARG, failure);
    }
    return Done(session_->ReadInPlace(static_cast<size_t>(count), bytes, &failure), failure);
}

HRESULT CVisaSession::Read(LONG count, SAFEARRAY** bytes) {
    if (!bytes) {
        return E_POINTER;
    }
    std::string_view received;
    HRESULT hr = ReadBytes(count, &received);
    *bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(received.size()));
    if (!*bytes) {
        return E_OUTOFMEMORY;
    }
    void* data = nullptr;
    if (!received.empty() && SUCCEEDED(SafeArrayAccessData(*bytes, &data))) {
        std::memcpy(data, received.data(), received.size());
        (void)SafeArrayUnaccessData(*bytes);
    }
    return hr;
}

HRESULT CVisaSession::ReadString(LONG count, BSTR* text) {
    if (!text) {
        return E_POINTER;
    }
    std::string_view received;
    HRESULT hr = ReadBytes(count, &received);
    *text = vr::AllocBstrLatin1(received);
    return hr;
}

HRESULT CVisaSession::Write(SAFEARRAY* bytes, LONG count, LONG* written) {
    if (!written) {
        return E_POINTER;
    }
    *written = 0;
    VARTYPE type = VT_EMPTY;
    LONG lower = 0;
    LONG upper = -1;
    if (!bytes || FAILED(SafeArrayGetVartype(bytes, &type)) || (type != VT_UI1 && type != VT_I1) ||
        SafeArrayGetDim(bytes) != 1 || FAILED(SafeArrayGetLBound(bytes, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(bytes, 1, &upper))) {
        return Done(E_INVALIDARG, {E_INVALIDARG, "Write takes a one-dimensional array of bytes."});
    }
    LONG size = upper - lower + 1;
    if (count < -1 || count > size) {
        return Done(E_INVALIDARG, {E_INVALIDARG, "The count of a write is outside the array."});
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(bytes, &data))) {
        return Done(E_INVALIDARG, {E_INVALIDARG, "The array of a write cannot be read."});
    }
    std::string message(static_cast<const char*>(data), static_cast<size_t>(count < 0 ? size : count));
    (void)SafeArrayUnaccessData(bytes);
    Failure failure;
    size_t sent = 0;
    HRESULT hr = Done(session_->Write(message, &sent, &failure), failure);
    *written = static_cast<LONG>(sent);
    return hr;
}

HRESULT CVisaSession::WriteString(BSTR text, LONG* written) {
    if (!written) {
        return E_POINTER;
    }
    Failure failure;
    size_t sent = 0;
    HRESULT hr = Done(session_->Write(vr::ToLatin1(vr::BstrView(text)), &sent, &failure), failure);
    *written = static_cast<LONG>(sent);
    return hr;
}

VR_SESSION_NUMBER_PROPERTY(BaudRate, LONG, attr::kBaudRate)
VR_SESSION_NUMBER_PROPERTY(DataBits, SHORT, attr::kDataBits)
VR_SESSION_NUMBER_PROPERTY(Parity, SHORT, attr::kParity)
VR_SESSION_NUMBER_PROPERTY(StopBits, SHORT, attr::kStopBits)
VR_SESSION_NUMBER_PROPERTY(FlowControl, SHORT, attr::kFlowControl)
VR_SESSION_NUMBER_PROPERTY(EndIn, SHORT, attr::kEndIn)
VR_SESSION_NUMBER_PROPERTY(EndOut, SHORT, attr::kEndOut)

#undef VR_SESSION_NUMBER_PROPERTY
