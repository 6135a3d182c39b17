// The VISA tests' common ground: the resource manager created by its ProgID, and calls on sessions.
#pragma once

#include "peers.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/visa/visa_com.h"
#include "platform/visa/visa_status.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace vrvisatest {

class VisaTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens resource; the code the resource manager returned.
    HRESULT Open(const std::string& resource, vr::ComPtr<IMessage>* session, int32_t openTimeout = 2000);
    // Opens resource and fails the test when that fails.
    vr::ComPtr<IMessage> OpenOrFail(const std::string& resource);

    // The description of the calling thread's error information.
    static std::string LastErrorText();

    vr::ComPtr<IResourceManager> manager_;
};

struct ReadResult {
    HRESULT status;
    std::string text;
    std::chrono::milliseconds elapsed;
};

HRESULT WriteText(IMessage* session, const std::string& text);
ReadResult ReadText(IMessage* session, LONG count = 1000);
HRESULT SetTermChar(IMessage* session, char character);
HRESULT SetTimeout(IMessage* session, LONG milliseconds);

} // namespace vrvisatest
