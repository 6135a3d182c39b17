// VXI-11 links over liblxi: create_link at connect, device_write and device_read per call, destroy_link at
// the end.
#include "platform/visa/vxi11_channel.h"

#include "platform/visa/vxi11_link_check.h"

#include <lxi.h>

#include <climits>
#include <mutex>

namespace vr::visa {

namespace {

// liblxi keeps its links in one table of its own: opening and closing them is serialised here.
std::mutex& LinkTableLock() {
    static std::mutex lock;
    return lock;
}

void InitialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { (void)lxi_init(); });
}

// liblxi takes timeouts as int milliseconds; "for ever" becomes the largest it can carry.
int LinkTimeout(int remainingMs) {
    return remainingMs < 0 ? INT_MAX : remainingMs;
}

HRESULT Failed(Failure* failure, HRESULT status, const std::string& detail) {
    failure->status = status;
    failure->message = StatusText(status) + " (" + detail + ")";
    return status;
}

// A failed call says only that it failed: the deadline tells a timeout from a link that broke.
HRESULT CallFailed(const Deadline& deadline, const char* call, Failure* failure) {
    if (deadline.RemainingMs() == 0) {
        return Failed(failure, kErrorTimeout, std::string("VXI-11 ") + call + " timed out");
    }
    return Failed(failure, kErrorConnectionLost, std::string("VXI-11 ") + call + " failed");
}

} // namespace

HRESULT Vxi11Channel::Connect(const std::string& host, const std::string& device, int32_t timeoutMs,
                              std::unique_ptr<Vxi11Channel>* channel, Failure* failure) {
    HRESULT hr = CheckVxi11Device(host, device, timeoutMs, failure);
    if (FAILED(hr)) {
        return hr;
    }
    InitialiseLibrary();
    int link;
    {
        std::lock_guard<std::mutex> guard(LinkTableLock());
        link = lxi_connect(host.c_str(), 0, device.c_str(), LinkTimeout(timeoutMs), VXI11);
    }
    if (link == LXI_ERROR) {
        failure->status = kErrorResourceNotFound;
        failure->message = "no link to device '" + device + "' on " + host;
        return kErrorResourceNotFound;
    }
    channel->reset(new Vxi11Channel(link));
    return S_OK;
}

Vxi11Channel::~Vxi11Channel() {
    std::lock_guard<std::mutex> guard(LinkTableLock());
    (void)lxi_disconnect(link_);
}

HRESULT Vxi11Channel::ReadSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got,
                               Failure* failure) {
    *got = 0;
    lastReadEnded_ = false;
    const int size = static_cast<int>(std::min<size_t>(into.size(), INT_MAX));
    int received =
        lxi_receive(link_, reinterpret_cast<char*>(into.data()), size, LinkTimeout(deadline.RemainingMs()));
    if (received < 0) {
        return CallFailed(deadline, "device_read", failure);
    }
    *got = static_cast<size_t>(received);
    lastReadEnded_ = received < size;
    return S_OK;
}

HRESULT Vxi11Channel::WriteAll(std::span<const uint8_t> bytes, const Deadline& deadline, size_t* written,
                               Failure* failure) {
    *written = 0;
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        return Failed(failure, kErrorIo, "message too long for one VXI-11 write");
    }
    const int size = static_cast<int>(bytes.size());
    int sent = lxi_send(link_, reinterpret_cast<const char*>(bytes.data()), size,
                        LinkTimeout(deadline.RemainingMs()));
    // A failed write says nothing of how much the instrument took; a short one says exactly that.
    *written = sent > 0 ? static_cast<size_t>(sent) : 0;
    if (sent != size) {
        return CallFailed(deadline, "device_write", failure);
    }
    return S_OK;
}

} // namespace vr::visa
