// VXI-11 instrument links (TCPIP[board]::host[::device]::INSTR) through liblxi's core channel.
#pragma once

#include "platform/visa/io_channel.h"

#include <memory>
#include <string>

namespace vr::visa {

// Each read is one device_read of the instrument: it brings the bytes the instrument has, up to the end of
// its message (END) or the size asked for. liblxi does not hand out the reason a read ended, so a read that
// filled the whole buffer counts as not ended; nor a timed-out read's partial data, which the instrument
// keeps no more. A failed read is a timeout when the deadline has passed, else a lost connection.
class Vxi11Channel final : public Channel {
public:
    // Finds the instrument's core channel through the host's port mapper, checks that it accepts a link to
    // device (liblxi alone would take a refused link for one) and creates the link
    // within timeoutMs (< 0: liblxi's own limit). An unreachable host, a host without a VXI-11 server or a
    // device the server refuses fails with kErrorResourceNotFound.
    [[nodiscard]] static HRESULT Connect(const std::string& host, const std::string& device,
                                         int32_t timeoutMs, std::unique_ptr<Vxi11Channel>* channel,
                                         Failure* failure);
    ~Vxi11Channel() override;

    [[nodiscard]] HRESULT ReadSome(std::span<uint8_t> into, const Deadline& deadline, size_t* got,
                                   Failure* failure) override;
    [[nodiscard]] HRESULT WriteAll(std::span<const uint8_t> bytes, const Deadline& deadline, size_t* written,
                                   Failure* failure) override;
    // The instrument keeps its output until it is read: nothing waits on this side.
    void DiscardPending() override {}
    bool LastReadEndedMessage() const override { return lastReadEnded_; }

private:
    explicit Vxi11Channel(int link) : link_(link) {}

    int link_;
    bool lastReadEnded_ = false;
};

} // namespace vr::visa
