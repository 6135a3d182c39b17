// A message-based VISA session on one instrument: reads that end on the termination character, the count or
// the timeout, writes, and the attributes that steer them.
#pragma once

#include "platform/visa/io_channel.h"
#include "platform/visa/resource_name.h"
#include "platform/visa/serial_channel.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vr::visa {

// VISA attribute identifiers the sessions know.
namespace attr {
inline constexpr uint32_t kSendEndEnabled = 0x3FFF0016;
inline constexpr uint32_t kTermChar = 0x3FFF0018;
inline constexpr uint32_t kTimeout = 0x3FFF001A;
inline constexpr uint32_t kBaudRate = 0x3FFF0021;
inline constexpr uint32_t kDataBits = 0x3FFF0022;
inline constexpr uint32_t kParity = 0x3FFF0023;
inline constexpr uint32_t kStopBits = 0x3FFF0024;
inline constexpr uint32_t kFlowControl = 0x3FFF0025;
inline constexpr uint32_t kTermCharEnabled = 0x3FFF0038;
inline constexpr uint32_t kEndIn = 0x3FFF00B3;
inline constexpr uint32_t kEndOut = 0x3FFF00B4;
inline constexpr uint32_t kInterfaceType = 0x3FFF0171;
inline constexpr uint32_t kInterfaceNumber = 0x3FFF0176;
inline constexpr uint32_t kTcpNoDelay = 0x3FFF019A;
} // namespace attr

// Serial end-in modes: none, last bit, termination character.
inline constexpr int32_t kEndNone = 0;
inline constexpr int32_t kEndTermChar = 2;
// The timeout value that waits for ever.
inline constexpr int32_t kInfiniteTimeout = -1;

// Thread contract: a session is used by one caller at a time; it takes no locks.
class MessageSession {
public:
    // Opens the resource: connects a TCP socket, links to a VXI-11 instrument, or opens and sets up a serial
    // port. Resources this system cannot reach (GPIB, USB, ...) and instruments that do not answer fail with
    // kErrorResourceNotFound and a message saying why.
    [[nodiscard]] static HRESULT Open(std::string_view resourceName, int32_t openTimeoutMs,
                                      std::unique_ptr<MessageSession>* session, Failure* failure);

    // Reads at most count bytes (Latin-1, one char per byte). Ends with kSuccessTermChar on the termination
    // character (when enabled), kSuccessMaxCount at count, S_OK on a serial termination character with end-in
    // set to it or at the end of a VXI-11 instrument's message, kErrorTimeout when the timeout passed (the
    // bytes that came are in *bytes), kErrorConnectionLost as soon as the peer is gone. One deadline covers
    // the whole call; timeout 0 takes only what is there.
    [[nodiscard]] HRESULT Read(size_t count, std::string* bytes, Failure* failure);
    // The same read, its bytes left where the session received them: *bytes is valid until the next call
    // on the session, so a long answer is not copied on its way to the caller's own form of it.
    [[nodiscard]] HRESULT ReadInPlace(size_t count, std::string_view* bytes, Failure* failure);
    // Writes bytes in one piece. When the last read with a timeout above 0 timed out, whatever has arrived
    // since (a late answer) is dropped first, so that it is not taken for the answer to this message.
    // *written: the caller's bytes that went out, also when the write fails.
    [[nodiscard]] HRESULT Write(std::string_view bytes, size_t* written, Failure* failure);

    [[nodiscard]] HRESULT SetAttribute(uint32_t id, int32_t value, Failure* failure);
    [[nodiscard]] HRESULT GetAttribute(uint32_t id, int32_t* value, Failure* failure) const;

    // Drops unread input (VISA's clear).
    void Clear();
    // Closes the channel; every later call fails with kErrorInvalidObject.
    void Close();

    // False once Close ran.
    bool IsOpen() const { return channel_ != nullptr; }
    const ResourceName& Name() const { return name_; }
    bool IsSerial() const { return name_.type == InterfaceType::Asrl; }
    bool IsVxi11() const { return name_.type == InterfaceType::Tcpip && name_.resourceClass == "INSTR"; }
    int32_t Timeout() const { return timeoutMs_; }

private:
    MessageSession(ResourceName name, std::unique_ptr<Channel> channel);

    [[nodiscard]] HRESULT SetSerialAttribute(uint32_t id, int32_t value, Failure* failure);
    // Extends the read's *taken bytes (at the front of the buffered ones) up to an end condition or count;
    // S_FALSE when none was met.
    HRESULT TakeBuffered(size_t count, size_t* taken) const;
    // Hands the read's taken bytes out: the buffer starts after them.
    void Consume(size_t taken);
    // Where in the buffered bytes [begin, end) the first byte that ends a read stands; end when none does.
    size_t FindEndByte(size_t begin, size_t end) const;
    // Room for at least `want` more bytes after the buffered ones; returns where they go.
    uint8_t* ReserveInput(size_t want);
    HRESULT Closed(Failure* failure) const;
    void DropPending();

    ResourceName name_;
    std::unique_ptr<Channel> channel_;
    SerialChannel* serial_ = nullptr; // channel_ when the resource is a serial port
    // Bytes read from the channel and not yet handed out are pending_[pendingBegin_, pendingEnd_): a read
    // collects its answer at the front and takes it by moving pendingBegin_, so a long answer is never
    // shifted byte by byte, and the bytes it handed out stay in place until the next call.
    // Grown without zero-filling, so that room a read never fills costs no memory.
    std::unique_ptr<uint8_t[]> pending_;
    size_t pendingCapacity_ = 0;
    size_t pendingBegin_ = 0;
    size_t pendingEnd_ = 0;
    size_t messageEnd_ = std::string::npos; // in pending_: where an instrument's message (END) ends
    bool lostSeen_ = false;                 // the peer is gone; what is pending is the last of its bytes
    bool lastReadTimedOut_ = false;
    int32_t timeoutMs_ = 2000;
    uint8_t termChar_ = '\n';
    bool termCharEnabled_ = false;
    bool sendEndEnabled_ = true;
    int32_t endIn_ = kEndTermChar;
    int32_t endOut_ = kEndNone;
};

} // namespace vr::visa
