// The connection tests' common ground: COM on the test thread, a connection created by its ProgID, the
// loopback instrument as a real peer, and short helpers for the calls the tests make.
#pragma once

#include "instrel.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "tests/support/com_holders.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace instreltest {

using vrtest::Bstr;
using vrtest::Missing;

struct ReadResult {
    HRESULT hr = E_FAIL;
    std::u16string text;
    VrReadStatus status = UnknownReason;
    std::chrono::milliseconds elapsed{0};
};

class ConnectionTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static vr::ComPtr<IVrConnection> CreateConnection();
    // Init of connection_ on resource with options; the HRESULT.
    HRESULT Init(const std::string& resource, std::u16string_view options = u"");
    // Starts the loopback instrument on TCP and opens connection_ on it.
    void ConnectToInstrument(const std::string& answerEnd = "\\n", std::u16string_view options = u"");

    HRESULT Send(std::u16string_view command, int32_t* count = nullptr);
    ReadResult Read(std::u16string_view term = u"", int32_t timeout = -1, int32_t count = -1);
    ReadResult Read(IVrConnection* connection, std::u16string_view term, int32_t timeout, int32_t count);
    // A whole query: WriteString, then ReadString with a line feed as terminator.
    std::u16string Query(std::u16string_view command);

    HRESULT SetAttribute(std::u16string_view name, const VARIANT& value);
    HRESULT SetText(std::u16string_view name, std::u16string_view value);
    // The attribute's value as text ("" when it cannot be had).
    std::u16string AttributeText(std::u16string_view name);

    // The description of the thread's error information.
    static std::u16string LastError();

    vrvisatest::LoopbackInstrument instrument_;
    vr::ComPtr<IVrConnection> connection_;
};

} // namespace instreltest
