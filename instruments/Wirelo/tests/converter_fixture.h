// The converter tests' common ground: COM on the test thread, the registered TelnetClient created by its
// ProgID, and helpers for owned texts and the thread's error information.
#pragma once

#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "platform/visa/visa_status.h"
#include "wirelo.h"

#include <gtest/gtest.h>
#include <string>

namespace wirelotest {

class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        CLSID clsid;
        ASSERT_EQ(CLSIDFromProgID(kTelnetClientIndependentProgId, &clsid), S_OK);
        ASSERT_EQ(clsid, CLSID_TelnetClient);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IIOProtocolConverter>(),
                                   converter_.PutVoid()),
                  S_OK);
        ASSERT_EQ(converter_.As(&message_), S_OK);
    }
    void TearDown() override {
        message_ = nullptr;
        converter_ = nullptr;
        CoUninitialize();
    }

    // The description of the calling thread's error information.
    static std::string LastErrorText() {
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

    // WriteString of Latin-1 bytes; the count the converter reported.
    HRESULT Send(const std::string& bytes, LONG* written) {
        BSTR text = vr::AllocBstr(vr::FromLatin1(bytes));
        HRESULT hr = message_->WriteString(text, written);
        SysFreeString(text);
        return hr;
    }

    // ReadString; the text as Latin-1 bytes ("<null>" when none was handed out).
    HRESULT Receive(LONG count, std::string* bytes) {
        BSTR text = nullptr;
        HRESULT hr = message_->ReadString(count, &text);
        *bytes = text ? vr::ToLatin1(vr::BstrView(text)) : "<null>";
        SysFreeString(text);
        return hr;
    }

    vr::ComPtr<IIOProtocolConverter> converter_;
    vr::ComPtr<IMessage> message_;
};

} // namespace wirelotest
