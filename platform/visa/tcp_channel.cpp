// Connecting raw TCP instrument sockets.
#include "platform/visa/tcp_channel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vr::visa {

namespace {

// The cause first ("127.0.0.1 port 5025: Connection refused."), then the status's own text, which speaks of
// location information the resource name did give.
HRESULT NotFound(Failure* failure, const std::string& host, const std::string& port, const std::string& why) {
    failure->status = kErrorResourceNotFound;
    failure->message = host + " port " + port + ": " + why + ". " + StatusText(kErrorResourceNotFound);
    return kErrorResourceNotFound;
}

// Connects one address; returns the connected non-blocking socket or -1 with errno set.
int ConnectAddress(const addrinfo& address, const Deadline& deadline) {
    int fd =
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
        return fd;
    }
    if (errno == EINPROGRESS) {
        pollfd entry{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&entry, 1, deadline.RemainingMs());
        } while (ready < 0 && errno == EINTR);
        int error = ETIMEDOUT;
        socklen_t length = sizeof error;
        if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
            return fd;
        }
        errno = ready > 0 ? error : ETIMEDOUT;
    }
    int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
}

} // namespace

HRESULT TcpChannel::Connect(const std::string& host, const std::string& port, int32_t timeoutMs,
                            std::unique_ptr<TcpChannel>* channel, Failure* failure) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    int lookup = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses);
    if (lookup != 0) {
        return NotFound(failure, host, port, ::gai_strerror(lookup));
    }
    Deadline deadline = Deadline::After(timeoutMs);
    int fd = -1;
    int error = EHOSTUNREACH;
    for (addrinfo* address = addresses; address && fd < 0; address = address->ai_next) {
        fd = ConnectAddress(*address, deadline);
        error = errno;
    }
    ::freeaddrinfo(addresses);
    if (fd < 0) {
        return NotFound(failure, host, port, std::strerror(error));
    }
    // A query and its terminator must leave at once, not wait for the peer's acknowledgement.
    int on = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // Reads wait in recv() with a receive timeout (DescriptorChannel); writes never block by their flags.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = errno;
        ::close(fd);
        return NotFound(failure, host, port, std::strerror(error));
    }
    channel->reset(new TcpChannel(fd));
    return S_OK;
}

} // namespace vr::visa
