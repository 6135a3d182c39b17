// Which device a numbered serial resource (ASRL<n>::INSTR) stands for, and the serial resources present.
//
// The map lives in the registry: HKEY_CURRENT_USER\Software\Vornic\VISA\Serial, one REG_SZ value per
// resource, named "ASRL<n>" and holding the device path. Without a value, ASRL<n> is /dev/ttyS<n-1>
// (ASRL1 is the first on-board port), as on the system the resources were first named on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vr::visa {

inline constexpr const char16_t* kSerialMapKey = u"Software\\Vornic\\VISA\\Serial";

// The device path of ASRL<board>; empty for board 0, which names no port.
std::string SerialDevicePath(int16_t board);

// Stores the device of ASRL<board> in the map (a station's set-up, and tests). False when the write failed.
bool SetSerialDevicePath(int16_t board, const std::string& path);

// The serial resources of this station: every mapped ASRL<n> whose device exists, then ASRL/dev/<tty>::INSTR
// for each USB serial adapter present (/dev/ttyUSB*, /dev/ttyACM*).
std::vector<std::string> ListSerialResources();

} // namespace vr::visa
