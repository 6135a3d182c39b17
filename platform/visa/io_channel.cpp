// Deadline-bound reads and writes on a socket or serial descriptor.
#include "platform/visa/io_channel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace vr::visa {

namespace {

HRESULT Lost(Failure* failure, const char* what) {
    failure->status = kErrorConnectionLost;
    failure->message = StatusText(kErrorConnectionLost) + " (" + what + ")";
    return kErrorConnectionLost;
}

HRESULT IoError(Failure* failure, int error) {
    failure->status = kErrorIo;
    failure->message = StatusText(kErrorIo) + " (" + std::strerror(error) + ")";
    return kErrorIo;
}

bool IsLostError(int error) {
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ECONNABORTED ||
           error == EIO || error == ENXIO || error == ETIMEDOUT || error == EHOSTUNREACH;
}

// Waits for events on fd until the deadline; EINTR restarts the wait with the time that is left.
int WaitFor(int fd, short events, const Deadline& deadline, short* revents) {
    for (;;) {
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, deadline.RemainingMs());
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        *revents = entry.revents;
        return ready;
    }
}

} // namespace

Deadline Deadline::After(int32_t timeoutMs) {
    Deadline deadline;
    if (timeoutMs >= 0) {
        deadline.at_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    return deadline;
}

int Deadline::RemainingMs() const {
    if (!at_) {
        return -1;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*at_ - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

Channel::~Channel() = default;

DescriptorChannel::~DescriptorChannel() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

HRESULT DescriptorChannel::ReadSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got,
                                    Failure* failure) {
    *got = 0;
    if (isSocket_) {
        return ReceiveSome(into, deadline, got, failure);
    }
    for (;;) {
        short revents = 0;
        int ready = WaitFor(fd_, POLLIN, deadline, &revents);
        if (ready < 0) {
            return IoError(failure, errno);
        }
        if (ready == 0) {
            failure->status = kErrorTimeout;
            failure->message = StatusText(kErrorTimeout);
            return kErrorTimeout;
        }
        ssize_t count = ::read(fd_, into.data(), into.size());
        if (count > 0) {
            *got = static_cast<size_t>(count);
            return S_OK;
        }
        if (count == 0) {
            return Lost(failure, "the peer closed the connection");
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
            continue;
        }
        if (IsLostError(errno)) {
            return Lost(failure, std::strerror(errno));
        }
        return IoError(failure, errno);
    }
}

bool DescriptorChannel::SetReceiveTimeout(int milliseconds) {
    if (milliseconds == receiveTimeoutMs_) {
        return true;
    }
    timeval wait{}; // zero: no limit
    if (milliseconds > 0) {
        wait.tv_sec = milliseconds / 1000;
        wait.tv_usec = (milliseconds % 1000) * 1000;
    }
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0) {
        receiveTimeoutMs_ = kNoReceiveTimeoutSet;
        return false;
    }
    receiveTimeoutMs_ = milliseconds;
    return true;
}

HRESULT DescriptorChannel::ReceiveSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got,
                                       Failure* failure) {
    for (;;) {
        const int remaining = deadline.RemainingMs();
        int flags = 0;
        if (remaining == 0) {
            flags = MSG_DONTWAIT; // only what is there already
        } else if (!SetReceiveTimeout(remaining)) {
            return IoError(failure, errno);
        }
        ssize_t count = ::recv(fd_, into.data(), into.size(), flags);
        if (count > 0) {
            *got = static_cast<size_t>(count);
            return S_OK;
        }
        if (count == 0) {
            return Lost(failure, "the peer closed the connection");
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (deadline.RemainingMs() == 0) {
                failure->status = kErrorTimeout;
                failure->message = StatusText(kErrorTimeout);
                return kErrorTimeout;
            }
            continue; // the receive timeout ended a moment before the deadline
        }
        if (IsLostError(errno)) {
            return Lost(failure, std::strerror(errno));
        }
        return IoError(failure, errno);
    }
}

ssize_t DescriptorChannel::WriteOnce(std::span<const uint8_t> bytes) {
    if (isSocket_) {
        // The socket blocks for reads only: a write never waits here, but in WriteAll against its deadline.
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    return ::write(fd_, bytes.data(), bytes.size());
}

HRESULT DescriptorChannel::WriteAll(std::span<const uint8_t> bytes, const Deadline& deadline, size_t* written,
                                    Failure* failure) {
    *written = 0;
    while (!bytes.empty()) {
        ssize_t count = WriteOnce(bytes);
        if (count > 0) {
            bytes = bytes.subspan(static_cast<size_t>(count));
            *written += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            short revents = 0;
            int ready = WaitFor(fd_, POLLOUT, deadline, &revents);
            if (ready == 0) {
                failure->status = kErrorTimeout;
                failure->message = StatusText(kErrorTimeout);
                return kErrorTimeout;
            }
            continue;
        }
        if (count < 0 && IsLostError(errno)) {
            return Lost(failure, std::strerror(errno));
        }
        return IoError(failure, count < 0 ? errno : EIO);
    }
    return S_OK;
}

void DescriptorChannel::DiscardPending() {
    // Only what is there now: a peer that keeps sending must not keep this loop going.
    int pending = 0;
    if (::ioctl(fd_, FIONREAD, &pending) != 0) {
        return;
    }
    uint8_t scratch[4096];
    while (pending > 0) {
        ssize_t count = ::read(fd_, scratch, std::min(sizeof scratch, static_cast<size_t>(pending)));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return; // nothing left, or the peer is gone: the next read reports that
        }
        pending -= static_cast<int>(count);
    }
}

} // namespace vr::visa
