// VisaConnection: one VISA message session, reads that end on a termination string.
#include "visa_connection.h"

#include "platform/com/activation.h"
#include "platform/com/bstr.h"

namespace plugmartest {

namespace {

constexpr LONG kChunk = 4096;
constexpr HRESULT kVisaEndedOnTermChar = 0x00040005;

} // namespace

HRESULT VisaConnection::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT VisaConnection::Init(BSTR bsResource, BSTR, int32_t lInitTimeout, VrAccessMode) {
    CLSID clsid;
    if (HRESULT hr = CLSIDFromProgID(u"VISA.GlobalRM", &clsid); FAILED(hr)) {
        return hr;
    }
    vr::ComPtr<IResourceManager> manager;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IResourceManager>(),
                                  manager.PutVoid());
    vr::ComPtr<IVisaSession> session;
    if (SUCCEEDED(hr)) {
        hr = manager->Open(bsResource, NO_LOCK, lInitTimeout, nullptr, session.Put());
    }
    if (SUCCEEDED(hr)) {
        hr = session.As(&session_);
    }
    configuredTimeout_ = lInitTimeout;
    return SUCCEEDED(hr) ? SetTimeout(lInitTimeout) : hr;
}

HRESULT VisaConnection::Close() {
    ++closes;
    return session_ ? session_->Close() : S_OK;
}

HRESULT VisaConnection::SetTimeout(int32_t timeout) {
    return session_->put_Timeout(timeout);
}

HRESULT VisaConnection::ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) {
    *pbsData = nullptr;
    if (!session_) {
        return E_UNEXPECTED;
    }
    const std::u16string term(vr::BstrView(bsTerm));
    if (lTimeout >= -1) {
        (void)SetTimeout(lTimeout == -1 ? configuredTimeout_ : lTimeout);
    }
    (void)session_->put_TerminationCharacterEnabled(term.empty() ? VARIANT_FALSE : VARIANT_TRUE);
    if (!term.empty()) {
        (void)session_->put_TerminationCharacter(static_cast<BYTE>(term.back()));
    }
    std::u16string text;
    for (;;) {
        BSTR chunk = nullptr;
        const LONG wanted = lCount > 0 ? lCount - static_cast<LONG>(text.size()) : kChunk;
        HRESULT hr = session_->ReadString(wanted, &chunk);
        text += vr::BstrView(chunk);
        SysFreeString(chunk);
        if (FAILED(hr)) {
            lastStatus_ = ReadTimeout;
            return hr;
        }
        if (!term.empty() && text.ends_with(term)) {
            lastStatus_ = TerminationString;
            break;
        }
        if (lCount > 0 && static_cast<int32_t>(text.size()) >= lCount) {
            lastStatus_ = MaxCount;
            break;
        }
        if (term.empty() && hr != kVisaEndedOnTermChar) {
            lastStatus_ = EndIndicator;
            break;
        }
    }
    *pbsData = vr::AllocBstr(text);
    return S_OK;
}

HRESULT VisaConnection::WriteString(BSTR bsData, int32_t* plRetCount) {
    if (!session_) {
        return E_UNEXPECTED;
    }
    LONG written = 0;
    HRESULT hr = session_->WriteString(bsData, &written);
    *plRetCount = written;
    return hr;
}

HRESULT VisaConnection::get_LastReadStatus(VrReadStatus* pStatus) {
    *pStatus = lastStatus_;
    return S_OK;
}

HRESULT VisaConnection::get_Attributes(IVrAttributeCollection** ppAttributes) {
    *ppAttributes = nullptr;
    return S_OK;
}

} // namespace plugmartest
