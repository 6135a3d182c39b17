// Resource names as users write them: case, blanks, IPv6 hosts, classes; and the search expressions.
#include "platform/visa/resource_name.h"
#include "platform/visa/resource_search.h"

#include <gtest/gtest.h>

namespace vr::visa {
namespace {

ResourceName Parsed(std::string_view text) {
    ResourceName name;
    Failure failure;
    EXPECT_EQ(ParseResourceName(text, &name, &failure), S_OK) << text << ": " << failure.message;
    return name;
}

HRESULT ParseFailure(std::string_view text, std::string* message = nullptr) {
    ResourceName name;
    Failure failure;
    HRESULT hr = ParseResourceName(text, &name, &failure);
    if (message) {
        *message = failure.message;
    }
    return hr;
}

TEST(ResourceName, SocketKeywordsAndClassesIgnoreCaseAndBlanksAroundTheName) {
    for (const char* text : {"TCPIP0::127.0.0.1::5025::SOCKET", "tcpip::127.0.0.1::5025::socket",
                             "  TcpIp0::127.0.0.1::5025::Socket \t"}) {
        ResourceName name = Parsed(text);
        EXPECT_EQ(name.type, InterfaceType::Tcpip) << text;
        EXPECT_EQ(name.board, 0);
        EXPECT_EQ(name.host, "127.0.0.1");
        EXPECT_EQ(name.port, "5025");
        EXPECT_EQ(name.resourceClass, "SOCKET");
        EXPECT_EQ(name.canonical, "TCPIP0::127.0.0.1::5025::SOCKET");
    }
    EXPECT_EQ(Parsed("TCPIP3::host::1::SOCKET").board, 3);
}

TEST(ResourceName, Ipv6HostsInBracketsKeepTheirColons) {
    ResourceName name = Parsed("TCPIP::[::1]::5025::SOCKET");
    EXPECT_EQ(name.host, "::1");
    EXPECT_EQ(name.port, "5025");
    ResourceName full = Parsed("TCPIP0::[fe80::1:2]::INSTR");
    EXPECT_EQ(full.host, "fe80::1:2");
    EXPECT_EQ(full.device, "inst0");
    EXPECT_EQ(ParseFailure("TCPIP::[::1::5025::SOCKET"), kErrorInvalidResourceName);
}

TEST(ResourceName, InstrResourcesNameAVxi11DeviceEvenWhenItLooksLikeAPort) {
    ResourceName name = Parsed("TCPIP0::192.168.0.2::5025::INSTR");
    EXPECT_EQ(name.resourceClass, "INSTR");
    EXPECT_EQ(name.device, "5025");
    EXPECT_TRUE(name.port.empty());
    EXPECT_EQ(Parsed("TCPIP::host").device, "inst0");
    EXPECT_EQ(Parsed("TCPIP::host::gpib0,5::INSTR").device, "gpib0,5");
}

TEST(ResourceName, SerialByNumberAndByDevicePath) {
    ResourceName numbered = Parsed("ASRL1::INSTR");
    EXPECT_EQ(numbered.type, InterfaceType::Asrl);
    EXPECT_EQ(numbered.board, 1);
    EXPECT_TRUE(numbered.serialPath.empty());
    EXPECT_EQ(Parsed("asrl12").board, 12);
    ResourceName path = Parsed("ASRL/dev/ttyUSB0::INSTR");
    EXPECT_EQ(path.serialPath, "/dev/ttyUSB0");
    EXPECT_EQ(path.canonical, "ASRL/dev/ttyUSB0::INSTR");
    EXPECT_EQ(ParseFailure("ASRL1::SOCKET"), kErrorInvalidResourceName);
}

TEST(ResourceName, GpibAndOtherInterfacesAreRecognised) {
    EXPECT_EQ(Parsed("GPIB0::5::INSTR").type, InterfaceType::Gpib);
    EXPECT_EQ(Parsed("GPIB0::5::INSTR").address, "5");
    EXPECT_EQ(Parsed("GPIB-VXI0::1::INSTR").type, InterfaceType::GpibVxi);
    EXPECT_EQ(Parsed("gpib1::intfc").resourceClass, "INTFC");
    EXPECT_EQ(Parsed("USB0::0x1234::0x5678::SN1::INSTR").type, InterfaceType::Usb);
}

TEST(ResourceName, MalformedNamesSayWhatIsWrong) {
    std::string message;
    EXPECT_EQ(ParseFailure("COM1", &message), kErrorInvalidResourceName);
    EXPECT_NE(message.find("COM1"), std::string::npos);
    EXPECT_EQ(ParseFailure(""), kErrorInvalidResourceName);
    EXPECT_EQ(ParseFailure("TCPIP::host::port::SOCKET"), kErrorInvalidResourceName);
    EXPECT_EQ(ParseFailure("TCPIP::host::SOCKET"), kErrorInvalidResourceName);
    EXPECT_EQ(ParseFailure("TCPIPx::host::1::SOCKET"), kErrorInvalidResourceName);
    EXPECT_EQ(ParseFailure("TCPIP99999::host::1::SOCKET"), kErrorInvalidResourceName);
}

TEST(ResourceName, AClassWordIsNeverAHostADeviceOrAnAddress) {
    std::string message;
    EXPECT_EQ(ParseFailure("TCPIP0::INSTR", &message), kErrorInvalidResourceName);
    EXPECT_NE(message.find("needs a host before its class INSTR"), std::string::npos) << message;
    EXPECT_EQ(ParseFailure("tcpip::socket"), kErrorInvalidResourceName);
    // RAW and MEMACC are classes: RAW is none of TCPIP's, and a USB or VXI name keeps it as its class.
    EXPECT_EQ(ParseFailure("TCPIP0::host::RAW"), kErrorInvalidResourceName);
    ResourceName raw = Parsed("USB0::0x1234::0x5678::SN1::raw");
    EXPECT_EQ(raw.resourceClass, "RAW");
    EXPECT_EQ(raw.address, "0x1234::0x5678::SN1");
    EXPECT_EQ(raw.canonical, "USB0::0x1234::0x5678::SN1::RAW");
    ResourceName memory = Parsed("VXI0::MEMACC");
    EXPECT_EQ(memory.resourceClass, "MEMACC");
    EXPECT_TRUE(memory.address.empty());
}

TEST(ResourceName, PortsAboveTheTcpRangeAreRefused) {
    std::string message;
    EXPECT_EQ(ParseFailure("TCPIP0::host::65536::SOCKET", &message), kErrorInvalidResourceName);
    EXPECT_NE(message.find("the port 65536 is above 65535"), std::string::npos) << message;
    EXPECT_EQ(ParseFailure("TCPIP0::host::99999999999999999999::SOCKET"), kErrorInvalidResourceName);
    EXPECT_EQ(Parsed("TCPIP0::host::65535::SOCKET").port, "65535");
    EXPECT_EQ(Parsed("TCPIP0::host::0000005025::SOCKET").port, "0000005025");
}

TEST(ResourceName, RefusedSerialNamesSayWhatIsWrong) {
    struct Case {
        const char* text;
        const char* why;
    };
    const Case cases[] = {
        {"ASRLx::INSTR", "'x' is neither a port number nor a device path"},
        {"ASRL1/dev/ttyS0::INSTR", "a port number or a device path, not both"},
        {"ASRL1::2::INSTR", "'2' is not expected after the port"},
        {"ASRL/dev/ttyS0::INSTR::x", "'x' is not expected after the class"},
        {"ASRL1::SOCKET", "has the class INSTR, not 'SOCKET'"},
        {"ASRL1::", "the class INSTR is missing after '::'"},
        {"ASRL123456::INSTR", "the board number 123456 is above 9999"},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(ParseFailure(c.text, &message), kErrorInvalidResourceName) << c.text;
        EXPECT_NE(message.find(c.why), std::string::npos) << c.text << ": " << message;
        EXPECT_EQ(message.rfind("Invalid resource name '" + std::string(c.text) + "': ", 0), 0u) << message;
    }
}

TEST(ResourceSearch, ExpressionsMatchWholeNamesWithoutRegardToCase) {
    std::vector<std::string> names = {"ASRL1::INSTR", "ASRL2::INSTR", "ASRL/dev/ttyUSB0::INSTR",
                                      "GPIB0::5::INSTR"};
    std::vector<std::string> found;
    Failure failure;
    ASSERT_EQ(FindResources("?*", names, &found, &failure), S_OK);
    EXPECT_EQ(found, names);
    ASSERT_EQ(FindResources("asrl[0-9]*::instr", names, &found, &failure), S_OK);
    EXPECT_EQ(found, (std::vector<std::string>{"ASRL1::INSTR", "ASRL2::INSTR"}));
    ASSERT_EQ(FindResources("(GPIB|ASRL)?*2?*", names, &found, &failure), S_OK);
    EXPECT_EQ(found, (std::vector<std::string>{"ASRL2::INSTR"}));
    ASSERT_EQ(FindResources("ASRL/dev/ttyUSB0::INSTR", names, &found, &failure), S_OK);
    EXPECT_EQ(found.size(), 1u);
    // A dot is a plain character, not "any character".
    EXPECT_EQ(FindResources("ASRL1.?*", names, &found, &failure), kErrorResourceNotFound);
}

TEST(ResourceSearch, MalformedOrUnsupportedExpressionsAreRejected) {
    std::vector<std::string> found;
    Failure failure;
    for (const char* expression : {"", "ASRL[", "?*{VI_ATTR_ASRL_BAUD==9600}", "(ASRL", "trailing\\"}) {
        EXPECT_EQ(FindResources(expression, {"ASRL1::INSTR"}, &found, &failure), kErrorInvalidExpression)
            << expression;
    }
}

} // namespace
} // namespace vr::visa
