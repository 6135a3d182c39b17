// The byte channel under a message session: a socket or a serial port, read and written against deadlines.
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

// A file descriptor that carries instrument bytes. Thread contract: one caller at a time (the session's).
class Channel {
public:
    virtual ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Waits until bytes are there or the deadline passes, then takes what is there (at most into.size()).
    // kErrorTimeout with *got = 0 when nothing came in time; kErrorConnectionLost when the peer closed or
    // reset, reported as soon as it is seen.
    [[nodiscard]] HRESULT ReadSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got,
                                   Failure* failure);
    // Writes all bytes (normally in one system call); never raises SIGPIPE.
    [[nodiscard]] HRESULT WriteAll(std::span<const uint8_t> bytes, const Deadline& deadline,
                                   Failure* failure);
    // Drops every byte that has arrived and not been read.
    void DiscardPending();

    int Descriptor() const { return fd_; }

protected:
    Channel(int fd, bool isSocket) : fd_(fd), isSocket_(isSocket) {}

private:
    ssize_t WriteOnce(std::span<const uint8_t> bytes);

    int fd_;
    bool isSocket_;
};

} // namespace vr::visa
