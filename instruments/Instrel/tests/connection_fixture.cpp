// The connection tests' fixture: COM, the connection by ProgID, the instrument and the call helpers.
#include "connection_fixture.h"

#include "platform/com/errorinfo.h"

namespace instreltest {

void ConnectionTest::SetUp() {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    connection_ = CreateConnection();
    ASSERT_TRUE(connection_);
}

void ConnectionTest::TearDown() {
    connection_ = nullptr;
    instrument_.Stop();
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();
}

vr::ComPtr<IVrConnection> ConnectionTest::CreateConnection() {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kCnVisaIndependentProgId, &clsid), S_OK);
    vr::ComPtr<IVrConnection> connection;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVrConnection, connection.PutVoid()),
              S_OK);
    return connection;
}

HRESULT ConnectionTest::Init(const std::string& resource, std::u16string_view options) {
    return connection_->Init(Bstr(resource), Bstr(options), 2000, _NO_LOCK);
}

void ConnectionTest::ConnectToInstrument(const std::string& answerEnd, std::u16string_view options) {
    ASSERT_TRUE(instrument_.Start(answerEnd));
    ASSERT_EQ(Init(instrument_.SocketResource(), options), S_OK) << vr::ToUtf8(LastError());
}

HRESULT ConnectionTest::Send(std::u16string_view command, int32_t* count) {
    int32_t written = 0;
    return connection_->WriteString(Bstr(command), count ? count : &written);
}

ReadResult ConnectionTest::Read(std::u16string_view term, int32_t timeout, int32_t count) {
    return Read(connection_.Get(), term, timeout, count);
}

ReadResult ConnectionTest::Read(IVrConnection* connection, std::u16string_view term, int32_t timeout,
                                int32_t count) {
    ReadResult result;
    BSTR text = nullptr;
    auto start = std::chrono::steady_clock::now();
    result.hr = connection->ReadString(Bstr(term), timeout, count, &text);
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    result.text = std::u16string(vr::BstrView(text));
    SysFreeString(text);
    EXPECT_EQ(connection->get_LastReadStatus(&result.status), S_OK);
    return result;
}

std::u16string ConnectionTest::Query(std::u16string_view command) {
    EXPECT_EQ(Send(command), S_OK) << vr::ToUtf8(LastError());
    ReadResult answer = Read(u"\n");
    EXPECT_EQ(answer.hr, S_OK) << vr::ToUtf8(LastError());
    return answer.text;
}

HRESULT ConnectionTest::SetAttribute(std::u16string_view name, const VARIANT& value) {
    vr::ComPtr<IVrAttributeCollection> attributes;
    HRESULT hr = connection_->get_Attributes(attributes.Put());
    if (FAILED(hr)) {
        return hr;
    }
    return attributes->SetAttribute(Bstr(name), value);
}

HRESULT ConnectionTest::SetText(std::u16string_view name, std::u16string_view value) {
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = vr::AllocBstr(value);
    HRESULT hr = SetAttribute(name, text);
    (void)VariantClear(&text);
    return hr;
}

std::u16string ConnectionTest::AttributeText(std::u16string_view name) {
    vr::ComPtr<IVrAttributeCollection> attributes;
    if (FAILED(connection_->get_Attributes(attributes.Put()))) {
        return {};
    }
    VARIANT value;
    VariantInit(&value);
    if (FAILED(attributes->GetAttribute(Bstr(name), &value)) ||
        FAILED(VariantChangeType(&value, &value, 0, VT_BSTR))) {
        (void)VariantClear(&value);
        return {};
    }
    std::u16string text(vr::BstrView(value.bstrVal));
    (void)VariantClear(&value);
    return text;
}

std::u16string ConnectionTest::LastError() {
    vr::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return {};
    }
    BSTR description = nullptr;
    (void)info->GetDescription(&description);
    std::u16string text(vr::BstrView(description));
    SysFreeString(description);
    return text;
}

} // namespace instreltest
