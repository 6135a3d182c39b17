// Raw TCP instrument connections (TCPIP::host::port::SOCKET).
#pragma once

#include "platform/visa/io_channel.h"

#include <memory>
#include <string>

namespace vr::visa {

class TcpChannel final : public DescriptorChannel {
public:
    // Connects within timeoutMs (< 0: the system's own limit). A refused, unreachable or unknown host fails
    // with kErrorResourceNotFound. The socket has TCP_NODELAY on; it blocks for reads only
    // (DescriptorChannel).
    [[nodiscard]] static HRESULT Connect(const std::string& host, const std::string& port, int32_t timeoutMs,
                                         std::unique_ptr<TcpChannel>* channel, Failure* failure);

private:
    explicit TcpChannel(int fd) : DescriptorChannel(fd, true) {}
};

} // namespace vr::visa
