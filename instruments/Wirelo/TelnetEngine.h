// CTelnetEngine: the client side of the telnet protocol over a VISA message session, byte by byte.
#pragma once

#include "platform/visa/visa_com.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wirelo {

// Telnet command and option bytes (RFC 854, 857, 858, 1091).
namespace telnet {
inline constexpr uint8_t kSE = 240;
inline constexpr uint8_t kNOP = 241;
inline constexpr uint8_t kSB = 250;
inline constexpr uint8_t kWILL = 251;
inline constexpr uint8_t kWONT = 252;
inline constexpr uint8_t kDO = 253;
inline constexpr uint8_t kDONT = 254;
inline constexpr uint8_t kIAC = 255;
inline constexpr uint8_t kEcho = 1;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kTerminalType = 24;
inline constexpr uint8_t kTerminalTypeIs = 0;
inline constexpr uint8_t kTerminalTypeSend = 1;
} // namespace telnet

// Thread contract: one engine per converter, used by one call at a time; no locks. The negotiation state
// lives as long as the engine; only the result text is reset per read and per write.
class CTelnetEngine {
public:
    // The end conditions of the next pumps: count limit (-1 none), termination character and whether it is
    // enabled.
    void SetEndConditions(int32_t countLimit, uint8_t termChar, bool termEnabled);

    // Reads the inner session one byte at a time with its timeout at 0, until nothing is waiting
    // (0x80040015), a read fails, the count limit is met (0x00040006) or the termination character ended the
    // text (0x00040005). The inner timeout and termination settings are restored or set as described in the
    // header of the .cpp. Negotiation replies go out through inner's Write.
    [[nodiscard]] HRESULT Pump(IMessage* inner);

    // The text received since the last reset (Latin-1 bytes as UTF-16 units).
    const std::u16string& Result() const { return result_; }
    std::u16string TakeResult();
    void ResetResult() { result_.clear(); }

private:
    using DataHandler = void (CTelnetEngine::*)(uint8_t byte);
    using CommandHandler = void (CTelnetEngine::*)(uint8_t command, uint8_t option);
    using AnsiFinalHandler = void (CTelnetEngine::*)(std::string_view parameters);

    struct OptionRow {
        int option; // 256 ends the table and matches every option
        CommandHandler command;
        DataHandler subnegotiation; // null: the subnegotiation's bytes are discarded
    };
    struct TerminalTypeRow {
        const char* name;
        DataHandler data;
    };
    struct AnsiFinalRow {
        char final; // 0 ends the table
        AnsiFinalHandler handler;
    };

    static const OptionRow kOptionTable[];
    static const TerminalTypeRow kTerminalTypeTable[];
    static const AnsiFinalRow kAnsiFinalTable[];

    void ReceiveByte(uint8_t byte);
    void AfterIac(uint8_t byte);
    void AfterCommand(uint8_t option);
    void Deliver(uint8_t byte);
    bool MetEndCondition(HRESULT* code) const;
    static const OptionRow& OptionRowFor(uint8_t option);
    const TerminalTypeRow& CurrentTerminalType() const;

    // Replies.
    void SendBytes(std::string_view bytes);
    void SendRaw(uint8_t command, uint8_t option);
    void Accept(uint8_t command, uint8_t option);
    void Refuse(uint8_t command, uint8_t option);

    // Command handlers.
    void RefusingHandler(uint8_t command, uint8_t option);
    void EchoHandler(uint8_t command, uint8_t option);
    void SuppressGoAheadHandler(uint8_t command, uint8_t option);
    void TerminalTypeHandler(uint8_t command, uint8_t option);

    // Data handlers.
    void TerminalTypeSender(uint8_t byte);
    void Discard(uint8_t) {}
    void NvtData(uint8_t byte);
    void AnsiData(uint8_t byte);
    void IgnoreAnsiSequence(std::string_view) {}

    static constexpr unsigned kSuppressGoAheadOff = 2;
    static constexpr unsigned kEchoOff = 4;
    static constexpr size_t kAnsiParameterLimit = 256;

    IMessage* inner_ = nullptr; // borrowed for the duration of a pump
    std::u16string result_;
    int32_t countLimit_ = -1;
    uint8_t termChar_ = '\n';
    bool termEnabled_ = false;
    bool replySent_ = false;
    int receiveState_ = 0;
    uint8_t pendingCommand_ = telnet::kSB;
    DataHandler dataHandler_ = &CTelnetEngine::NvtData;
    int terminalTypeCounter_ = 0;
    unsigned optionMarks_ = 0;
    int ansiState_ = 0;
    std::string ansiParameters_;
};

} // namespace wirelo
