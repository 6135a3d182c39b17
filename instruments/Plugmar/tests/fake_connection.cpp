// FakeConnection: prepared answers and recorded writes.
#include "fake_connection.h"

#include "platform/com/bstr.h"

namespace plugmartest {

HRESULT FakeConnection::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT FakeConnection::Close() {
    ++closes;
    return S_OK;
}

HRESULT FakeConnection::ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) {
    reads.push_back({std::u16string(vr::BstrView(bsTerm)), lTimeout, lCount});
    *pbsData = nullptr;
    if (answers_.empty()) {
        lastStatus_ = ReadTimeout;
        return kReadTimeout;
    }
    *pbsData = vr::AllocBstr(answers_.front());
    answers_.pop_front();
    lastStatus_ = TerminationString;
    return S_OK;
}

HRESULT FakeConnection::WriteString(BSTR bsData, int32_t* plRetCount) {
    writes.emplace_back(vr::BstrView(bsData));
    *plRetCount = static_cast<int32_t>(SysStringLen(bsData));
    return S_OK;
}

HRESULT FakeConnection::get_LastReadStatus(VrReadStatus* pStatus) {
    *pStatus = lastStatus_;
    return S_OK;
}

HRESULT FakeConnection::get_Attributes(IVrAttributeCollection** ppAttributes) {
    *ppAttributes = attributes;
    if (attributes) {
        attributes->AddRef();
    }
    return S_OK;
}

} // namespace plugmartest
