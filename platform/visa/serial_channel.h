// Serial instrument ports over termios (ASRL resources).
#pragma once

#include "platform/visa/io_channel.h"

#include <memory>
#include <string>

namespace vr::visa {

// Line settings with VISA's values: parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 10 (one),
// 15 (one and a half), 20 (two); flow control 0 none, 1 XON/XOFF, 2 RTS/CTS.
struct SerialSettings {
    int32_t baudRate = 9600;
    int16_t dataBits = 8;
    int16_t parity = 0;
    int16_t stopBits = 10;
    int16_t flowControl = 0;
};

class SerialChannel final : public DescriptorChannel {
public:
    // Opens a terminal device raw, non-blocking, with settings applied. A missing device or one that is no
    // terminal fails with kErrorResourceNotFound.
    [[nodiscard]] static HRESULT Open(const std::string& path, const SerialSettings& settings,
                                      std::unique_ptr<SerialChannel>* channel, Failure* failure);

    // Writes the settings to the port; kErrorUnsupportedAttributeState for a value the port cannot take
    // (nothing is changed then).
    [[nodiscard]] HRESULT Apply(const SerialSettings& settings, Failure* failure);
    const SerialSettings& Settings() const { return settings_; }

private:
    explicit SerialChannel(int fd) : DescriptorChannel(fd, false) {}

    SerialSettings settings_;
};

} // namespace vr::visa
