// CTelnetEngine: receive states, option negotiation, terminal types, ANSI sequences and the pump.
//
// A pump sets the inner session's timeout to 0 so that each one-byte read returns at once when nothing is
// waiting, and hands the inner session the engine's termination settings; the timeout is put back when the
// pump ends. Every byte goes through ReceiveByte before the next one is read, so a negotiation is answered
// as soon as its last byte arrived.
#include "TelnetEngine.h"

#include "platform/com/variant.h"
#include "platform/visa/visa_status.h"

#include <cstring>

namespace wirelo {

using namespace telnet;

const CTelnetEngine::OptionRow CTelnetEngine::kOptionTable[] = {
    {kEcho, &CTelnetEngine::EchoHandler, nullptr},
    {kSuppressGoAhead, &CTelnetEngine::SuppressGoAheadHandler, nullptr},
    {kTerminalType, &CTelnetEngine::TerminalTypeHandler, &CTelnetEngine::TerminalTypeSender},
    {256, &CTelnetEngine::RefusingHandler, nullptr},
};

const CTelnetEngine::TerminalTypeRow CTelnetEngine::kTerminalTypeTable[] = {
    {"NVT", &CTelnetEngine::NvtData},
    {"ANSI", &CTelnetEngine::AnsiData},
};

const CTelnetEngine::AnsiFinalRow CTelnetEngine::kAnsiFinalTable[] = {
    {'m', &CTelnetEngine::IgnoreAnsiSequence}, {'H', &CTelnetEngine::IgnoreAnsiSequence},
    {'K', &CTelnetEngine::IgnoreAnsiSequence}, {'J', &CTelnetEngine::IgnoreAnsiSequence},
    {'A', &CTelnetEngine::IgnoreAnsiSequence}, {0, nullptr},
};

void CTelnetEngine::SetEndConditions(int32_t countLimit, uint8_t termChar, bool termEnabled) {
    countLimit_ = countLimit;
    termChar_ = termChar;
    termEnabled_ = termEnabled;
}

std::u16string CTelnetEngine::TakeResult() {
    std::u16string taken = std::move(result_);
    result_.clear();
    return taken;
}

// ---- Receiving ----

void CTelnetEngine::ReceiveByte(uint8_t byte) {
    switch (receiveState_) {
    case 0:
        if (byte == kIAC) {
            receiveState_ = 1;
        } else {
            Deliver(byte);
        }
        return;
    case 1:
        receiveState_ = 0;
        AfterIac(byte);
        return;
    default:
        receiveState_ = 0;
        AfterCommand(byte);
        return;
    }
}

void CTelnetEngine::AfterIac(uint8_t byte) {
    if (byte == kSE) {
        // The end of a subnegotiation: data is read again as the terminal type last sent says.
        dataHandler_ = CurrentTerminalType().data;
    } else if (byte == kSB || (byte >= kWILL && byte <= kDONT)) {
        pendingCommand_ = byte;
        receiveState_ = 2;
    } else if (byte == kIAC) {
        Deliver(byte); // an escaped data byte 255
    }
    // Bytes below SE and the commands NOP to GA carry nothing for this client.
}

void CTelnetEngine::AfterCommand(uint8_t option) {
    const OptionRow& row = OptionRowFor(option);
    if (pendingCommand_ == kSB) {
        dataHandler_ = row.subnegotiation ? row.subnegotiation : &CTelnetEngine::Discard;
        return;
    }
    (this->*row.command)(pendingCommand_, option);
}

void CTelnetEngine::Deliver(uint8_t byte) {
    (this->*dataHandler_)(byte);
}

const CTelnetEngine::OptionRow& CTelnetEngine::OptionRowFor(uint8_t option) {
    const OptionRow* row = kOptionTable;
    while (row->option != 256 && row->option != option) {
        ++row;
    }
    return *row;
}

const CTelnetEngine::TerminalTypeRow& CTelnetEngine::CurrentTerminalType() const {
    return kTerminalTypeTable[terminalTypeCounter_ == 2 ? 1 : terminalTypeCounter_];
}

// ---- Replies ----

void CTelnetEngine::SendBytes(std::string_view bytes) {
    replySent_ = true;
    if (!inner_) {
        return;
    }
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) {
        return;
    }
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::memcpy(data, bytes.data(), bytes.size());
        (void)SafeArrayUnaccessData(array);
        LONG written = 0;
        // A reply that cannot be sent is not reported: the read or write that received it goes on.
        (void)inner_->Write(array, -1, &written);
    }
    (void)SafeArrayDestroy(array);
}

void CTelnetEngine::SendRaw(uint8_t command, uint8_t option) {
    const char bytes[] = {static_cast<char>(kIAC), static_cast<char>(command), static_cast<char>(option)};
    SendBytes({bytes, sizeof bytes});
}

void CTelnetEngine::Accept(uint8_t command, uint8_t option) {
    switch (command) {
    case kDO:
        return SendRaw(kWILL, option);
    case kDONT:
        return SendRaw(kWONT, option);
    case kWILL:
        return SendRaw(kDO, option);
    default:
        return SendRaw(kDONT, option);
    }
}

void CTelnetEngine::Refuse(uint8_t command, uint8_t option) {
    SendRaw(command == kDO ? kWONT : kDONT, option);
}

// ---- Command handlers ----

void CTelnetEngine::RefusingHandler(uint8_t command, uint8_t option) {
    if (command == kWILL || command == kDO) {
        Refuse(command, option);
    }
}

void CTelnetEngine::EchoHandler(uint8_t command, uint8_t option) {
    switch (command) {
    case kWILL:
        if (optionMarks_ & kEchoOff) {
            optionMarks_ &= ~kEchoOff;
            Accept(command, option);
        }
        return;
    case kWONT:
        if (!(optionMarks_ & kEchoOff)) {
            optionMarks_ |= kEchoOff;
            Accept(command, option);
        }
        return;
    case kDO:
        return Refuse(command, option);
    default:
        return Accept(command, option);
    }
}

void CTelnetEngine::SuppressGoAheadHandler(uint8_t command, uint8_t option) {
    const bool markedOff = optionMarks_ & kSuppressGoAheadOff;
    switch (command) {
    case kWILL:
        if (markedOff) {
            optionMarks_ &= ~(kSuppressGoAheadOff | kEchoOff);
            SendRaw(kDO, kSuppressGoAhead);
            SendRaw(kWILL, kSuppressGoAhead);
            SendRaw(kDO, kEcho);
        }
        return;
    case kWONT:
        if (!markedOff) {
            optionMarks_ |= kSuppressGoAheadOff;
            SendRaw(kDONT, kSuppressGoAhead);
            SendRaw(kWONT, kSuppressGoAhead);
        }
        return;
    case kDO:
        // While marked off the server asks us to suppress go-aheads again: a DO is answered with WILL.
        if (markedOff) {
            SendRaw(kWILL, kSuppressGoAhead);
        }
        return;
    default:
        // A DONT is always answered with WONT; while marked off it was already said.
        if (!markedOff) {
            SendRaw(kWONT, kSuppressGoAhead);
        }
        return;
    }
}

void CTelnetEngine::TerminalTypeHandler(uint8_t command, uint8_t option) {
    if (command == kWILL) {
        Refuse(command, option);
    } else if (command == kDO) {
        Accept(command, option);
    }
}

// ---- Data handlers ----

void CTelnetEngine::TerminalTypeSender(uint8_t byte) {
    if (byte != kTerminalTypeSend) {
        return;
    }
    terminalTypeCounter_ = terminalTypeCounter_ == 2 ? 0 : terminalTypeCounter_ + 1;
    std::string reply = {static_cast<char>(kIAC), static_cast<char>(kSB), static_cast<char>(kTerminalType),
                         static_cast<char>(kTerminalTypeIs)};
    reply += CurrentTerminalType().name;
    reply += static_cast<char>(kIAC);
    reply += static_cast<char>(kSE);
    SendBytes(reply);
}

void CTelnetEngine::NvtData(uint8_t byte) {
    if (byte != 0) {
        result_.push_back(static_cast<char16_t>(byte));
    }
}

void CTelnetEngine::AnsiData(uint8_t byte) {
    switch (ansiState_) {
    case 0:
        if (byte == 27) {
            ansiState_ = 1;
        } else if (byte != 0) {
            result_.push_back(static_cast<char16_t>(byte));
        }
        return;
    case 1:
        ansiParameters_.clear();
        ansiState_ = 2;
        return;
    default:
        if (byte <= 0x40 || byte >= 0x80) {
            if (ansiParameters_.size() < kAnsiParameterLimit) {
                ansiParameters_.push_back(static_cast<char>(byte));
            }
            return;
        }
        for (const AnsiFinalRow* row = kAnsiFinalTable; row->final != 0; ++row) {
            if (static_cast<uint8_t>(row->final) == byte) {
                (this->*row->handler)(ansiParameters_);
                break;
            }
        }
        ansiState_ = 0;
        return;
    }
}

// ---- The pump ----

bool CTelnetEngine::MetEndCondition(HRESULT* code) const {
    if (countLimit_ >= 0 && result_.size() >= static_cast<size_t>(countLimit_)) {
        *code = vr::visa::kSuccessMaxCount;
        return true;
    }
    if (termEnabled_ && !result_.empty() && static_cast<uint8_t>(result_.back() & 0xFF) == termChar_) {
        *code = vr::visa::kSuccessTermChar;
        return true;
    }
    return false;
}

HRESULT CTelnetEngine::Pump(IMessage* inner) {
    LONG savedTimeout = 0;
    HRESULT hr = inner->get_Timeout(&savedTimeout);
    if (FAILED(hr)) {
        return hr;
    }
    if (FAILED(hr = inner->put_Timeout(0))) {
        return hr;
    }
    if (termEnabled_) {
        hr = inner->put_TerminationCharacterEnabled(VARIANT_TRUE);
        if (SUCCEEDED(hr)) {
            hr = inner->put_TerminationCharacter(termChar_);
        }
    } else {
        hr = inner->put_TerminationCharacterEnabled(VARIANT_FALSE);
    }
    inner_ = inner;
    while (SUCCEEDED(hr)) {
        replySent_ = false;
        SAFEARRAY* bytes = nullptr;
        hr = inner->Read(1, &bytes);
        if (FAILED(hr)) {
            (void)SafeArrayDestroy(bytes);
            break;
        }
        LONG upper = -1;
        void* data = nullptr;
        if (!bytes || FAILED(SafeArrayGetUBound(bytes, 1, &upper)) || upper < 0 ||
            FAILED(SafeArrayAccessData(bytes, &data))) {
            // A read that succeeds with no byte says nothing is waiting; polling on would never end.
            (void)SafeArrayDestroy(bytes);
            hr = vr::visa::kErrorTimeout;
            break;
        }
        for (LONG i = 0; i <= upper; ++i) {
            ReceiveByte(static_cast<const uint8_t*>(data)[i]);
        }
        (void)SafeArrayUnaccessData(bytes);
        (void)SafeArrayDestroy(bytes);
        if (!replySent_ && MetEndCondition(&hr)) {
            break;
        }
    }
    inner_ = nullptr;
    HRESULT restored = inner->put_Timeout(savedTimeout);
    return FAILED(restored) && SUCCEEDED(hr) ? restored : hr;
}

} // namespace wirelo
