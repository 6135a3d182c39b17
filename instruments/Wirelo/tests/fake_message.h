// A scripted stand-in for a VISA session under the converter: bytes to hand out one read at a time, and a
// record of what was written and which settings were made.
#pragma once

#include "platform/com/object.h"
#include "platform/visa/visa_com.h"
#include "platform/visa/visa_status.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace wirelotest {

class FakeMessage : public vr::ObjectRoot, public IMessage {
public:
    using Interfaces = vr::InterfaceList<IMessage, IBaseMessage, IVisaSession>;

    // Bytes that arrive for the next reads, as if the peer had sent them.
    void Arrive(const std::string& bytes) { incoming_.insert(incoming_.end(), bytes.begin(), bytes.end()); }
    // Everything written (replies and messages) since the last call.
    std::string TakeWritten() { return std::exchange(written_, {}); }

    HRESULT readFailure = S_OK; // a failure every read returns instead of data
    LONG timeout = 2000;
    BYTE termChar = 0;
    VARIANT_BOOL termEnabled = VARIANT_FALSE;
    std::vector<LONG> readTimeouts; // the timeout in force at each read
    int reads = 0;

    HRESULT get_ResourceName(BSTR* name) override {
        *name = SysAllocString(u"TCPIP0::fake::23::SOCKET");
        return S_OK;
    }
    HRESULT get_HardwareInterfaceType(SHORT* type) override {
        *type = 6;
        return S_OK;
    }
    HRESULT get_HardwareInterfaceNumber(SHORT* board) override {
        *board = 0;
        return S_OK;
    }
    HRESULT get_Timeout(LONG* milliseconds) override {
        *milliseconds = timeout;
        return S_OK;
    }
    HRESULT put_Timeout(LONG milliseconds) override {
        timeout = milliseconds;
        return S_OK;
    }
    HRESULT get_LastStatus(HRESULT* status) override {
        *status = S_OK;
        return S_OK;
    }
    HRESULT GetAttribute(LONG, VARIANT*) override { return vr::visa::kErrorUnsupportedAttribute; }
    HRESULT SetAttribute(LONG, VARIANT) override { return vr::visa::kErrorUnsupportedAttribute; }
    HRESULT LockRsrc(LONG, LONG, BSTR, BSTR*) override { return vr::visa::kErrorUnsupportedOperation; }
    HRESULT UnlockRsrc() override { return vr::visa::kErrorUnsupportedOperation; }
    HRESULT Close() override { return S_OK; }
    HRESULT get_ComponentVersion(LONG* version) override { return Number(version, 0x00100000); }
    HRESULT get_SpecVersion(LONG* version) override { return Number(version, 0x00500000); }
    HRESULT get_HardwareInterfaceName(BSTR* name) override { return Text(name, u"TCPIP0"); }
    HRESULT get_LockState(LONG* state) override { return Number(state, static_cast<LONG>(NO_LOCK)); }
    HRESULT get_OptionString(BSTR* options) override { return Text(options, u""); }
    HRESULT get_ProgID(BSTR* progId) override { return Text(progId, u"Fake.Session"); }
    HRESULT get_SessionType(BSTR* type) override { return Text(type, u"SOCKET"); }
    HRESULT get_SoftwareManufacturerID(SHORT* id) override { return Number(id, static_cast<SHORT>(0)); }
    HRESULT get_SoftwareManufacturerName(BSTR* name) override { return Text(name, u"Fake"); }
    HRESULT Init() override { return S_OK; }
    HRESULT get_TerminationCharacter(BYTE* character) override {
        *character = termChar;
        return S_OK;
    }
    HRESULT put_TerminationCharacter(BYTE character) override {
        termChar = character;
        return S_OK;
    }
    HRESULT get_TerminationCharacterEnabled(VARIANT_BOOL* enabled) override {
        *enabled = termEnabled;
        return S_OK;
    }
    HRESULT put_TerminationCharacterEnabled(VARIANT_BOOL enabled) override {
        termEnabled = enabled;
        return S_OK;
    }
    HRESULT get_SendEndEnabled(VARIANT_BOOL* enabled) override {
        *enabled = VARIANT_TRUE;
        return S_OK;
    }
    HRESULT put_SendEndEnabled(VARIANT_BOOL) override { return S_OK; }
    HRESULT Clear() override { return S_OK; }
    HRESULT AssertTrigger(LONG) override { return vr::visa::kErrorUnsupportedOperation; }
    HRESULT ReadSTB(SHORT*) override { return vr::visa::kErrorUnsupportedOperation; }
    HRESULT get_IOProtocol(SHORT* protocol) override {
        return Number(protocol, static_cast<SHORT>(PROT_NORMAL));
    }
    HRESULT put_IOProtocol(SHORT) override { return S_OK; }

    // Hands out at most count waiting bytes; with none waiting, the timeout code at once (the converter
    // reads with timeout 0).
    HRESULT Read(LONG count, SAFEARRAY** bytes) override {
        ++reads;
        readTimeouts.push_back(timeout);
        std::string taken;
        if (SUCCEEDED(readFailure)) {
            while (!incoming_.empty() && static_cast<LONG>(taken.size()) < count) {
                taken.push_back(incoming_.front());
                incoming_.pop_front();
            }
        }
        *bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(taken.size()));
        void* data = nullptr;
        if (!taken.empty() && SUCCEEDED(SafeArrayAccessData(*bytes, &data))) {
            std::memcpy(data, taken.data(), taken.size());
            (void)SafeArrayUnaccessData(*bytes);
        }
        if (FAILED(readFailure)) {
            return readFailure;
        }
        if (taken.empty()) {
            return vr::visa::kErrorTimeout;
        }
        return static_cast<LONG>(taken.size()) == count ? vr::visa::kSuccessMaxCount : S_OK;
    }
    HRESULT ReadString(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT Write(SAFEARRAY* bytes, LONG count, LONG* written) override {
        LONG upper = -1;
        void* data = nullptr;
        if (FAILED(SafeArrayGetUBound(bytes, 1, &upper)) || FAILED(SafeArrayAccessData(bytes, &data))) {
            return E_INVALIDARG;
        }
        LONG size = count < 0 ? upper + 1 : count;
        written_.append(static_cast<const char*>(data), static_cast<size_t>(size));
        (void)SafeArrayUnaccessData(bytes);
        *written = size;
        return S_OK;
    }
    HRESULT WriteString(BSTR text, LONG* written) override {
        std::u16string_view view(text ? text : u"", text ? SysStringLen(text) : 0);
        for (char16_t c : view) {
            written_.push_back(static_cast<char>(c));
        }
        *written = static_cast<LONG>(view.size());
        return S_OK;
    }

private:
    static HRESULT Text(BSTR* out, const char16_t* text) {
        *out = SysAllocString(text);
        return S_OK;
    }
    template <class T>
    static HRESULT Number(T* out, T value) {
        *out = value;
        return S_OK;
    }

    std::deque<char> incoming_;
    std::string written_;
};

} // namespace wirelotest
