// termios set-up of serial instrument ports.
#include "platform/visa/serial_channel.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vr::visa {

namespace {

struct BaudEntry {
    int32_t rate;
    speed_t speed;
};

constexpr std::array<BaudEntry, 18> kBaudRates = {{{50, B50},
                                                   {75, B75},
                                                   {110, B110},
                                                   {134, B134},
                                                   {150, B150},
                                                   {200, B200},
                                                   {300, B300},
                                                   {600, B600},
                                                   {1200, B1200},
                                                   {1800, B1800},
                                                   {2400, B2400},
                                                   {4800, B4800},
                                                   {9600, B9600},
                                                   {19200, B19200},
                                                   {38400, B38400},
                                                   {57600, B57600},
                                                   {115200, B115200},
                                                   {230400, B230400}}};

HRESULT BadState(Failure* failure, const std::string& what) {
    failure->status = kErrorUnsupportedAttributeState;
    failure->message = StatusText(kErrorUnsupportedAttributeState) + " (" + what + ")";
    return kErrorUnsupportedAttributeState;
}

// Fills the line-setting bits of tio from settings; false names the value that cannot be set.
bool FillTermios(const SerialSettings& settings, termios* tio, std::string* bad) {
    const BaudEntry* baud = nullptr;
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.rate == settings.baudRate) {
            baud = &entry;
        }
    }
    if (!baud) {
        *bad = "baud rate " + std::to_string(settings.baudRate);
        return false;
    }
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (settings.dataBits < 5 || settings.dataBits > 8) {
        *bad = "data bits " + std::to_string(settings.dataBits);
        return false;
    }
    if (settings.parity < 0 || settings.parity > 4) {
        *bad = "parity " + std::to_string(settings.parity);
        return false;
    }
    if (settings.stopBits != 10 && settings.stopBits != 20) {
        *bad = "stop bits " + std::to_string(settings.stopBits);
        return false;
    }
    if (settings.flowControl < 0 || settings.flowControl > 2) {
        *bad = "flow control " + std::to_string(settings.flowControl);
        return false;
    }
    ::cfmakeraw(tio);
    tio->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio->c_cflag |= CLOCAL | CREAD | kSizes[settings.dataBits - 5];
    tio->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    switch (settings.parity) {
    case 1:
        tio->c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio->c_cflag |= PARENB;
        break;
    case 3:
        tio->c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        tio->c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (settings.parity != 0) {
        tio->c_iflag |= INPCK;
    }
    if (settings.stopBits == 20) {
        tio->c_cflag |= CSTOPB;
    }
    if (settings.flowControl == 1) {
        tio->c_iflag |= IXON | IXOFF;
    } else if (settings.flowControl == 2) {
        tio->c_cflag |= CRTSCTS;
    }
    tio->c_cc[VMIN] = 0;
    tio->c_cc[VTIME] = 0;
    ::cfsetispeed(tio, baud->speed);
    ::cfsetospeed(tio, baud->speed);
    return true;
}

} // namespace

HRESULT SerialChannel::Open(const std::string& path, const SerialSettings& settings,
                            std::unique_ptr<SerialChannel>* channel, Failure* failure) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !::isatty(fd)) {
        std::string why = fd < 0 ? std::strerror(errno) : "not a terminal device";
        if (fd >= 0) {
            ::close(fd);
        }
        failure->status = kErrorResourceNotFound;
        // The cause first, then the status's own text.
        failure->message = path + ": " + why + ". " + StatusText(kErrorResourceNotFound);
        return kErrorResourceNotFound;
    }
    std::unique_ptr<SerialChannel> opened(new SerialChannel(fd));
    HRESULT hr = opened->Apply(settings, failure);
    if (FAILED(hr)) {
        return hr;
    }
    *channel = std::move(opened);
    return S_OK;
}

HRESULT SerialChannel::Apply(const SerialSettings& settings, Failure* failure) {
    termios tio{};
    if (::tcgetattr(Descriptor(), &tio) != 0) {
        failure->status = kErrorIo;
        failure->message = StatusText(kErrorIo) + " (" + std::strerror(errno) + ")";
        return kErrorIo;
    }
    std::string bad;
    if (!FillTermios(settings, &tio, &bad)) {
        return BadState(failure, bad);
    }
    termios previous{};
    (void)::tcgetattr(Descriptor(), &previous);
    if (::tcsetattr(Descriptor(), TCSANOW, &tio) != 0) {
        return BadState(failure, std::strerror(errno));
    }
    // tcsetattr succeeds when any part was taken: a driver that ignores a setting is found out by reading
    // back.
    termios taken{};
    constexpr tcflag_t kLineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    if (::tcgetattr(Descriptor(), &taken) != 0 || (taken.c_cflag & kLineBits) != (tio.c_cflag & kLineBits) ||
        ::cfgetospeed(&taken) != ::cfgetospeed(&tio)) {
        (void)::tcsetattr(Descriptor(), TCSANOW, &previous);
        return BadState(failure, "the port does not take these line settings");
    }
    settings_ = settings;
    return S_OK;
}

} // namespace vr::visa
