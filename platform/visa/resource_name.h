// VISA resource names: interface, board number, address parts and resource class.
#pragma once

#include "platform/visa/visa_status.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vr::visa {

// VISA's interface type numbers.
enum class InterfaceType : int16_t { Gpib = 1, Vxi = 2, GpibVxi = 3, Asrl = 4, Pxi = 5, Tcpip = 6, Usb = 7 };

// A parsed resource name. Keywords and classes are matched without regard to case; host names and device
// paths keep theirs.
struct ResourceName {
    InterfaceType type = InterfaceType::Tcpip;
    int16_t board = 0;
    std::string host;          // TCPIP: host name or address (an IPv6 address without its brackets)
    std::string port;          // TCPIP ::SOCKET: the port as written
    std::string device;        // TCPIP ::INSTR: the VXI-11 device name ("inst0" when none is given)
    std::string serialPath;    // ASRL/dev/...: the device path; empty for ASRL<n>
    std::string address;       // other interfaces: the address parts after the board, "::"-joined
    std::string resourceClass; // upper case: "INSTR", "SOCKET", "INTFC", ...
    std::string canonical;     // the name in VISA's canonical spelling
};

// Parses text (surrounding blanks ignored). Fails with kErrorInvalidResourceName and a message that says
// what is wrong.
[[nodiscard]] HRESULT ParseResourceName(std::string_view text, ResourceName* name, Failure* failure);

} // namespace vr::visa
