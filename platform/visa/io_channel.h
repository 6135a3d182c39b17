// The byte channel under a message session: a socket, a serial port or a VXI-11 link, used against deadlines.
#pragma once

#include "platform/visa/visa_status.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vr::visa {

// One point in time that a whole operation must meet, however many system calls it takes.
class Deadline {
public:
    // timeoutMs < 0 waits for ever; 0 means "only what is there already".
    static Deadline After(int32_t timeoutMs);
    // Milliseconds left for poll(): -1 for ever, 0 when passed.
    int RemainingMs() const;

private:
    std::optional<std::chrono::steady_clock::time_point> at_;
};

// A link that carries instrument bytes. Thread contract: one caller at a time (the session's).
class Channel {
public:
    virtual ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Waits until bytes are there or the deadline passes, then takes what is there (at most into.size()).
    // kErrorTimeout with *got = 0 when nothing came in time; kErrorConnectionLost when the peer closed or
    // reset, reported as soon as it is seen.
    [[nodiscard]] virtual HRESULT ReadSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got,
                                           Failure* failure) = 0;
    // Writes all bytes (normally in one system call); never raises SIGPIPE. *written: the bytes that went
    // out, also when the call fails (a timeout can strike after megabytes).
    [[nodiscard]] virtual HRESULT WriteAll(std::span<const uint8_t> bytes, const Deadline& deadline,
                                           size_t* written, Failure* failure) = 0;
    // Drops every byte that has arrived and not been read.
    virtual void DiscardPending() = 0;
    // Whether the bytes of the last ReadSome ended with the end of a message (a link that carries
    // messages, not a byte stream).
    virtual bool LastReadEndedMessage() const { return false; }
    // The socket or device descriptor; -1 for a link without one of its own.
    virtual int Descriptor() const { return -1; }

protected:
    Channel() = default;
};

// A socket or serial device descriptor, read and written against deadlines. A serial descriptor is
// non-blocking and waited for with poll(). A socket is blocking and waits in recv() itself with the time
// left as its receive timeout (SO_RCVTIMEO, set only when it changes): one system call per answer, as a
// plain blocking read takes, where poll() and read() took two; its writes never block (MSG_DONTWAIT).
class DescriptorChannel : public Channel {
public:
    ~DescriptorChannel() override;

    [[nodiscard]] HRESULT ReadSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got,
                                   Failure* failure) override;
    [[nodiscard]] HRESULT WriteAll(std::span<const uint8_t> bytes, const Deadline& deadline, size_t* written,
                                   Failure* failure) override;
    void DiscardPending() override;
    int Descriptor() const override { return fd_; }

protected:
    DescriptorChannel(int fd, bool isSocket) : fd_(fd), isSocket_(isSocket) {}

private:
    static constexpr int kNoReceiveTimeoutSet = -2;

    ssize_t WriteOnce(std::span<const uint8_t> bytes);
    HRESULT ReceiveSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got, Failure* failure);
    // SO_RCVTIMEO in milliseconds (-1: none); false with errno set when the socket refuses it.
    bool SetReceiveTimeout(int milliseconds);

    int fd_;
    bool isSocket_;
    int receiveTimeoutMs_ = kNoReceiveTimeoutSet; // as last set on the socket; the one caller's
};

} // namespace vr::visa
