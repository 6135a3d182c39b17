// Message-based sessions: end conditions of reads, one deadline per call, late answers dropped.
#include "platform/visa/message_session.h"

#include "platform/visa/serial_ports.h"
#include "platform/visa/tcp_channel.h"
#include "platform/visa/vxi11_channel.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace vr::visa {

namespace {

// The bounds of one read from the channel: 64 KB at least, a megabyte at most.
constexpr size_t kSmallestRead = 64 * 1024;
constexpr size_t kLargestRead = 1024 * 1024;
// The largest buffer a session keeps between reads: a read collects its whole answer there.
constexpr size_t kKeptBuffer = 16 * 1024 * 1024;

HRESULT Fail(Failure* failure, HRESULT status, const std::string& detail = {}) {
    failure->status = status;
    failure->message = StatusText(status) + (detail.empty() ? "" : " (" + detail + ")");
    return status;
}

HRESULT NotAvailable(Failure* failure, const std::string& message) {
    failure->status = kErrorResourceNotFound;
    failure->message = message;
    return kErrorResourceNotFound;
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// HiSLIP devices are named "hislip0", "hislip1", ... in any case.
bool IsHislipDevice(const std::string& device) {
    constexpr std::string_view kPrefix = "hislip";
    return device.size() >= kPrefix.size() &&
           std::equal(kPrefix.begin(), kPrefix.end(), device.begin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// A VXI-11 instrument that could not be reached; a device named like a port number was most likely meant as
// a raw socket.
HRESULT Vxi11NotReached(const ResourceName& name, Failure* failure) {
    std::string message =
        "The VXI-11 instrument " + name.canonical + " could not be opened: " + failure->message + ".";
    if (AllDigits(name.device)) {
        message += " '" + name.device +
                   "' is read as a VXI-11 device name: a raw TCP port needs '::SOCKET', as in "
                   "TCPIP" +
                   std::to_string(name.board) + "::" + name.host + "::" + name.device + "::SOCKET.";
    }
    return NotAvailable(failure, message);
}

HRESULT OpenChannel(const ResourceName& name, int32_t openTimeoutMs, std::unique_ptr<Channel>* channel,
                    Failure* failure) {
    switch (name.type) {
    case InterfaceType::Tcpip: {
        if (name.resourceClass == "INSTR" && IsHislipDevice(name.device)) {
            return NotAvailable(failure, "HiSLIP is not supported on this system (" + name.canonical +
                                             "); an instrument's raw port is TCPIP::host::port::SOCKET.");
        }
        if (name.resourceClass == "INSTR") {
            std::unique_ptr<Vxi11Channel> link;
            HRESULT hr = Vxi11Channel::Connect(name.host, name.device, openTimeoutMs, &link, failure);
            if (FAILED(hr)) {
                return Vxi11NotReached(name, failure);
            }
            *channel = std::move(link);
            return hr;
        }
        if (name.resourceClass != "SOCKET") {
            return NotAvailable(failure, "TCPIP resources of class " + name.resourceClass +
                                             " are not supported on this system (" + name.canonical + ").");
        }
        std::unique_ptr<TcpChannel> tcp;
        HRESULT hr = TcpChannel::Connect(name.host, name.port, openTimeoutMs, &tcp, failure);
        *channel = std::move(tcp);
        return hr;
    }
    case InterfaceType::Asrl: {
        std::string path = name.serialPath.empty() ? SerialDevicePath(name.board) : name.serialPath;
        if (path.empty()) {
            return NotAvailable(failure, "ASRL" + std::to_string(name.board) + " names no serial port.");
        }
        std::unique_ptr<SerialChannel> serial;
        HRESULT hr = SerialChannel::Open(path, SerialSettings{}, &serial, failure);
        *channel = std::move(serial);
        return hr;
    }
    case InterfaceType::Gpib:
    case InterfaceType::GpibVxi:
        return NotAvailable(failure, "No GPIB support on this system (" + name.canonical + ").");
    default:
        return NotAvailable(failure, "Resources of this kind are not supported on this system (" +
                                         name.canonical + ").");
    }
}

} // namespace

MessageSession::MessageSession(ResourceName name, std::unique_ptr<Channel> channel)
    : name_(std::move(name)), channel_(std::move(channel)) {
    if (IsSerial()) {
        serial_ = static_cast<SerialChannel*>(channel_.get());
    }
}

HRESULT MessageSession::Open(std::string_view resourceName, int32_t openTimeoutMs,
                             std::unique_ptr<MessageSession>* session, Failure* failure) {
    ResourceName name;
    HRESULT hr = ParseResourceName(resourceName, &name, failure);
    if (FAILED(hr)) {
        return hr;
    }
    std::unique_ptr<Channel> channel;
    hr = OpenChannel(name, openTimeoutMs, &channel, failure);
    if (FAILED(hr)) {
        return hr;
    }
    session->reset(new MessageSession(std::move(name), std::move(channel)));
    return S_OK;
}

void MessageSession::DropPending() {
    pendingBegin_ = pendingEnd_ = 0;
    messageEnd_ = std::string::npos;
}

HRESULT MessageSession::Closed(Failure* failure) const {
    return Fail(failure, kErrorInvalidObject, "the session is closed");
}

size_t MessageSession::FindEndByte(size_t begin, size_t end) const {
    const bool termCharEnds = termCharEnabled_ || (serial_ && endIn_ == kEndTermChar);
    if (!termCharEnds || begin == end) {
        return end;
    }
    const void* found = std::memchr(pending_.get() + begin, termChar_, end - begin);
    return found ? static_cast<size_t>(static_cast<const uint8_t*>(found) - pending_.get()) : end;
}

HRESULT MessageSession::TakeBuffered(size_t count, size_t* taken) const {
    const size_t from = pendingBegin_ + *taken;
    const size_t room = count > *taken ? count - *taken : 0;
    size_t stop = from + std::min(room, pendingEnd_ - from);
    HRESULT result = S_FALSE;
    const size_t endByte = FindEndByte(from, stop);
    if (endByte < stop) {
        stop = endByte + 1;
        // The termination character, or the END indicator of a serial line.
        result = termCharEnabled_ ? kSuccessTermChar : S_OK;
    } else if (messageEnd_ != std::string::npos && messageEnd_ <= stop) {
        stop = messageEnd_;
        result = S_OK; // the END of an instrument's message
    }
    *taken = stop - pendingBegin_;
    if (result == S_FALSE && *taken >= count) {
        result = kSuccessMaxCount;
    }
    return result;
}

void MessageSession::Consume(size_t taken) {
    pendingBegin_ += taken;
    if (messageEnd_ != std::string::npos && pendingBegin_ >= messageEnd_) {
        messageEnd_ = std::string::npos;
    }
    if (pendingBegin_ == pendingEnd_) {
        pendingBegin_ = pendingEnd_ = 0;
    }
}

uint8_t* MessageSession::ReserveInput(size_t want) {
    const size_t buffered = pendingEnd_ - pendingBegin_;
    if (pendingCapacity_ - pendingEnd_ >= want) {
        return pending_.get() + pendingEnd_;
    }
    if (pendingCapacity_ - buffered >= want) {
        // Moves only the bytes not yet handed out, once per refill, not once per byte taken.
        std::memmove(pending_.get(), pending_.get() + pendingBegin_, buffered);
    } else {
        const size_t capacity = std::max(2 * pendingCapacity_, buffered + want);
        std::unique_ptr<uint8_t[]> grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        if (buffered > 0) {
            std::memcpy(grown.get(), pending_.get() + pendingBegin_, buffered);
        }
        pending_ = std::move(grown);
        pendingCapacity_ = capacity;
    }
    if (messageEnd_ != std::string::npos) {
        messageEnd_ -= pendingBegin_;
    }
    pendingEnd_ = buffered;
    pendingBegin_ = 0;
    return pending_.get() + pendingEnd_;
}

HRESULT MessageSession::Read(size_t count, std::string* bytes, Failure* failure) {
    std::string_view received;
    HRESULT hr = ReadInPlace(count, &received, failure);
    bytes->assign(received);
    return hr;
}

HRESULT MessageSession::ReadInPlace(size_t count, std::string_view* bytes, Failure* failure) {
    *bytes = {};
    if (!channel_) {
        return Closed(failure);
    }
    if (pendingBegin_ == pendingEnd_ && pendingCapacity_ > kKeptBuffer) {
        pending_.reset(); // a huge answer's buffer is not kept for ever
        pendingCapacity_ = 0;
    }
    Deadline deadline = Deadline::After(timeoutMs_);
    size_t taken = 0; // this read's bytes: pending_[pendingBegin_, pendingBegin_ + taken)
    HRESULT hr;
    for (;;) {
        hr = TakeBuffered(count, &taken);
        if (hr != S_FALSE) {
            break;
        }
        if (lostSeen_) {
            hr = Fail(failure, kErrorConnectionLost, "the peer closed the connection");
            break;
        }
        // Large pieces, so that a long answer takes few reads and polls; what this read does not want
        // stays buffered for the next.
        size_t want = std::clamp(count - taken, kSmallestRead, kLargestRead);
        if (IsVxi11()) {
            // An instrument's message longer than this read wants stays with the instrument.
            want = std::min(want, count - taken);
        }
        size_t got = 0;
        hr = channel_->ReadSome({ReserveInput(want), want}, deadline, &got, failure);
        if (hr == kErrorConnectionLost) {
            lostSeen_ = true;
        }
        if (FAILED(hr)) {
            break;
        }
        pendingEnd_ += got;
        if (channel_->LastReadEndedMessage()) {
            if (got == 0) {
                hr = S_OK; // an empty message: nothing more comes for this read
                break;
            }
            messageEnd_ = pendingEnd_;
        }
    }
    *bytes = std::string_view(reinterpret_cast<const char*>(pending_.get()) + pendingBegin_, taken);
    Consume(taken);
    // Zero-timeout polls (a protocol converter's) leave the mark alone: they consume what they find.
    if (timeoutMs_ != 0) {
        lastReadTimedOut_ = hr == kErrorTimeout;
    }
    return hr;
}

HRESULT MessageSession::Write(std::string_view bytes, size_t* written, Failure* failure) {
    *written = 0;
    if (!channel_) {
        return Closed(failure);
    }
    if (lastReadTimedOut_) {
        DropPending();
        channel_->DiscardPending();
        lastReadTimedOut_ = false;
    }
    std::string withEnd; // only a serial line's end character makes a copy of the message
    std::string_view message = bytes;
    if (serial_ && endOut_ == kEndTermChar && sendEndEnabled_) {
        withEnd.reserve(bytes.size() + 1);
        withEnd.append(bytes).push_back(static_cast<char>(termChar_));
        message = withEnd;
    }
    size_t sent = 0;
    HRESULT hr = channel_->WriteAll({reinterpret_cast<const uint8_t*>(message.data()), message.size()},
                                    Deadline::After(timeoutMs_), &sent, failure);
    if (hr == kErrorConnectionLost) {
        lostSeen_ = true;
    }
    *written = std::min(sent, bytes.size()); // a serial end character added here is not the caller's
    return hr;
}

HRESULT MessageSession::SetSerialAttribute(uint32_t id, int32_t value, Failure* failure) {
    if (!serial_) {
        return Fail(failure, kErrorUnsupportedAttribute, "a serial attribute on a non-serial resource");
    }
    SerialSettings settings = serial_->Settings();
    switch (id) {
    case attr::kBaudRate:
        settings.baudRate = value;
        break;
    case attr::kDataBits:
        settings.dataBits = static_cast<int16_t>(value);
        break;
    case attr::kParity:
        settings.parity = static_cast<int16_t>(value);
        break;
    case attr::kStopBits:
        settings.stopBits = static_cast<int16_t>(value);
        break;
    case attr::kFlowControl:
        settings.flowControl = static_cast<int16_t>(value);
        break;
    case attr::kEndIn:
        if (value != kEndNone && value != kEndTermChar) {
            return Fail(failure, kErrorUnsupportedAttributeState, "end-in mode " + std::to_string(value));
        }
        endIn_ = value;
        return S_OK;
    case attr::kEndOut:
        if (value != kEndNone && value != kEndTermChar) {
            return Fail(failure, kErrorUnsupportedAttributeState, "end-out mode " + std::to_string(value));
        }
        endOut_ = value;
        return S_OK;
    default:
        return Fail(failure, kErrorUnsupportedAttribute);
    }
    return serial_->Apply(settings, failure);
}

HRESULT MessageSession::SetAttribute(uint32_t id, int32_t value, Failure* failure) {
    if (!channel_) {
        return Closed(failure);
    }
    switch (id) {
    case attr::kTimeout:
        if (value < kInfiniteTimeout) {
            return Fail(failure, kErrorUnsupportedAttributeState, "timeout " + std::to_string(value));
        }
        timeoutMs_ = value;
        return S_OK;
    case attr::kTermChar:
        if (value < 0 || value > 255) {
            return Fail(failure, kErrorUnsupportedAttributeState,
                        "termination character " + std::to_string(value));
        }
        termChar_ = static_cast<uint8_t>(value);
        return S_OK;
    case attr::kTermCharEnabled:
        termCharEnabled_ = value != 0;
        return S_OK;
    case attr::kSendEndEnabled:
        sendEndEnabled_ = value != 0;
        return S_OK;
    case attr::kTcpNoDelay: {
        if (name_.type != InterfaceType::Tcpip || IsVxi11()) {
            return Fail(failure, kErrorUnsupportedAttribute);
        }
        int on = value != 0;
        (void)::setsockopt(channel_->Descriptor(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return S_OK;
    }
    case attr::kInterfaceType:
    case attr::kInterfaceNumber:
        return Fail(failure, kErrorAttributeReadOnly);
    default:
        return SetSerialAttribute(id, value, failure);
    }
}

HRESULT MessageSession::GetAttribute(uint32_t id, int32_t* value, Failure* failure) const {
    if (!channel_) {
        return Closed(failure);
    }
    switch (id) {
    case attr::kTimeout:
        *value = timeoutMs_;
        return S_OK;
    case attr::kTermChar:
        *value = termChar_;
        return S_OK;
    case attr::kTermCharEnabled:
        *value = termCharEnabled_;
        return S_OK;
    case attr::kSendEndEnabled:
        *value = sendEndEnabled_;
        return S_OK;
    case attr::kInterfaceType:
        *value = static_cast<int32_t>(name_.type);
        return S_OK;
    case attr::kInterfaceNumber:
        *value = name_.board;
        return S_OK;
    case attr::kTcpNoDelay: {
        if (name_.type != InterfaceType::Tcpip || IsVxi11()) {
            return Fail(failure, kErrorUnsupportedAttribute);
        }
        int on = 0;
        socklen_t length = sizeof on;
        (void)::getsockopt(channel_->Descriptor(), IPPROTO_TCP, TCP_NODELAY, &on, &length);
        *value = on != 0;
        return S_OK;
    }
    default:
        break;
    }
    if (!serial_) {
        return Fail(failure, kErrorUnsupportedAttribute);
    }
    const SerialSettings& settings = serial_->Settings();
    switch (id) {
    case attr::kBaudRate:
        *value = settings.baudRate;
        return S_OK;
    case attr::kDataBits:
        *value = settings.dataBits;
        return S_OK;
    case attr::kParity:
        *value = settings.parity;
        return S_OK;
    case attr::kStopBits:
        *value = settings.stopBits;
        return S_OK;
    case attr::kFlowControl:
        *value = settings.flowControl;
        return S_OK;
    case attr::kEndIn:
        *value = endIn_;
        return S_OK;
    case attr::kEndOut:
        *value = endOut_;
        return S_OK;
    default:
        return Fail(failure, kErrorUnsupportedAttribute);
    }
}

void MessageSession::Clear() {
    DropPending();
    lastReadTimedOut_ = false;
    if (channel_) {
        channel_->DiscardPending();
    }
}

void MessageSession::Close() {
    channel_.reset();
    serial_ = nullptr;
    DropPending();
}

} // namespace vr::visa
