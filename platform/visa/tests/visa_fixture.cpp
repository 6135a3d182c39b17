// The resource manager by ProgID, and small call helpers for the session tests.
#include "visa_fixture.h"

#include "platform/base/text.h"
#include "platform/com/errorinfo.h"

namespace vrvisatest {

void VisaTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"VISA.GlobalRM", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IResourceManager>(),
                               manager_.PutVoid()),
              S_OK);
}

void VisaTest::TearDown() {
    manager_ = nullptr;
    CoUninitialize();
}

HRESULT VisaTest::Open(const std::string& resource, vr::ComPtr<IMessage>* session, int32_t openTimeout) {
    vr::ComPtr<IVisaSession> opened;
    BSTR name = vr::AllocBstrUtf8(resource);
    HRESULT hr = manager_->Open(name, NO_LOCK, openTimeout, nullptr, opened.Put());
    SysFreeString(name);
    if (FAILED(hr)) {
        return hr;
    }
    return opened.As(session);
}

vr::ComPtr<IMessage> VisaTest::OpenOrFail(const std::string& resource) {
    vr::ComPtr<IMessage> session;
    HRESULT hr = Open(resource, &session);
    EXPECT_EQ(hr, S_OK) << resource << ": " << LastErrorText();
    return session;
}

std::string VisaTest::LastErrorText() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return {};
    }
    BSTR description = nullptr;
    (void)info->GetDescription(&description);
    std::string text = vr::BstrToUtf8(description);
    SysFreeString(description);
    return text;
}

HRESULT WriteText(IMessage* session, const std::string& text) {
    BSTR data = vr::AllocBstr(vr::FromLatin1(text));
    LONG written = 0;
    HRESULT hr = session->WriteString(data, &written);
    SysFreeString(data);
    if (SUCCEEDED(hr) && written != static_cast<LONG>(text.size())) {
        return E_FAIL;
    }
    return hr;
}

ReadResult ReadText(IMessage* session, LONG count) {
    auto start = std::chrono::steady_clock::now();
    BSTR data = nullptr;
    HRESULT hr = session->ReadString(count, &data);
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::string text = vr::ToLatin1(vr::BstrView(data));
    SysFreeString(data);
    return {hr, text, elapsed};
}

HRESULT SetTermChar(IMessage* session, char character) {
    HRESULT hr = session->put_TerminationCharacter(static_cast<BYTE>(character));
    return FAILED(hr) ? hr : session->put_TerminationCharacterEnabled(VARIANT_TRUE);
}

HRESULT SetTimeout(IMessage* session, LONG milliseconds) {
    return session->put_Timeout(milliseconds);
}

} // namespace vrvisatest
