// The telnet grammar as a byte-at-a-time state machine. It never buffers: each byte is reported
// to the caller's sink as soon as it is understood, so a command, a negotiation or a
// subnegotiation may be split across pieces at any byte and a subnegotiation of any length is
// streamed through. Each event carries what the caller needs to forward the item's raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace brawlhue::stream {

namespace telnet {
inline constexpr std::uint8_t kEor = 239;
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kGa = 249;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;
// The compression protocol, versions 1, 2 and 3.
inline constexpr std::uint8_t kCompress1 = 85;
inline constexpr std::uint8_t kCompress2 = 86;
inline constexpr std::uint8_t kCompress3 = 87;

constexpr bool IsCompressionOption(std::uint8_t option) noexcept {
    return option >= kCompress1 && option <= kCompress3;
}
}  // namespace telnet

// A sink has these members; each returns true to go on, false to stop right after that byte:
//   bool Text(std::uint8_t byte);                   a byte of text (IAC IAC gives 0xFF)
// and may have, to take a run of text bytes at once:
//   std::size_t TextRun(std::span<const std::uint8_t> bytes);  bytes of text without IAC;
//                                                   returns how many it took, fewer to stop
//   bool Command(std::uint8_t command);             IAC command: GA, EOR, NOP, any other byte
//   bool Negotiation(std::uint8_t verb, std::uint8_t option);   IAC WILL|WONT|DO|DONT option
//   bool SubnegotiationStart(std::uint8_t option);  IAC SB option
//   bool SubnegotiationData(std::uint8_t byte);     a parameter byte (IAC IAC gives 0xFF)
//   bool SubnegotiationEnd(bool complete);          IAC SE (complete), or IAC followed by a
//                                                   command, which ends it and is reported next
class TelnetParser {
  public:
    // Reports bytes to the sink and returns how many it took: all of them, or fewer when the
    // sink asked to stop.
    template <typename Sink>
    std::size_t Feed(std::span<const std::uint8_t> bytes, Sink& sink);

    // The raw bytes of a command begun but not finished (IAC, IAC verb, IAC SB), to be
    // forwarded as they are when the stream ends there.
    std::string_view UnfinishedCommand() const noexcept;
    // Inside a subnegotiation, with an IAC as its last byte so far.
    bool InSubnegotiationAfterIac() const noexcept { return state_ == State::kSbIac; }

  private:
    enum class State : std::uint8_t {
        kText,
        kIac,       // IAC seen in text
        kOption,    // IAC verb seen; the option byte comes next
        kSbOption,  // IAC SB seen; the option byte comes next
        kSbData,
        kSbIac,  // IAC seen inside a subnegotiation
    };

    // What IAC x does, in text and, after ending a subnegotiation, inside one.
    template <typename Sink>
    bool AfterIac(std::uint8_t byte, Sink& sink);

    State state_ = State::kText;
    std::uint8_t unfinished_[2] = {telnet::kIac, 0};  // IAC and the verb or SB being read
};

// The grammar, one byte at a time:
//
//   stream   := { TEXT | IAC IAC | IAC verb OPTION | IAC sub | IAC COMMAND }
//   verb     := WILL | WONT | DO | DONT
//   sub      := SB OPTION { BYTE | IAC IAC } ( IAC SE | IAC COMMAND-other-than-SE )
//
//   kText    --IAC--> kIac        --IAC--> kText (text 0xFF)
//                                 --verb--> kOption --OPTION--> kText (negotiation)
//                                 --SB--> kSbOption --OPTION--> kSbData
//                                 --other--> kText (command)
//   kSbData  --IAC--> kSbIac      --IAC--> kSbData (parameter 0xFF)
//                                 --SE--> kText (end)
//                                 --other--> end, then as after IAC in text
template <typename Sink>
std::size_t TelnetParser::Feed(std::span<const std::uint8_t> bytes, Sink& sink) {
    std::size_t taken = 0;
    while (taken < bytes.size()) {
        const std::uint8_t byte = bytes[taken++];
        bool go_on = true;
        switch (state_) {
            case State::kText:
                if (byte == telnet::kIac) {
                    state_ = State::kIac;
                } else if constexpr (requires { sink.TextRun(bytes); }) {
                    // The run up to the next IAC goes to the sink in one call.
                    const std::uint8_t* run = bytes.data() + taken - 1;
                    const std::size_t left = bytes.size() - taken + 1;
                    const void* iac = std::memchr(run, telnet::kIac, left);
                    const std::size_t length =
                        iac ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(iac) - run)
                            : left;
                    const std::size_t used = sink.TextRun(std::span(run, length));
                    taken += used - 1;
                    go_on = used == length;
                } else {
                    go_on = sink.Text(byte);
                }
                break;
            case State::kIac:
                go_on = AfterIac(byte, sink);
                break;
            case State::kOption:
                state_ = State::kText;
                go_on = sink.Negotiation(unfinished_[1], byte);
                break;
            case State::kSbOption:
                state_ = State::kSbData;
                go_on = sink.SubnegotiationStart(byte);
                break;
            case State::kSbData:
                if (byte == telnet::kIac) {
                    state_ = State::kSbIac;
                } else {
                    go_on = sink.SubnegotiationData(byte);
                }
                break;
            case State::kSbIac:
                if (byte == telnet::kIac) {
                    state_ = State::kSbData;
                    go_on = sink.SubnegotiationData(byte);
                } else if (byte == telnet::kSe) {
                    state_ = State::kText;
                    go_on = sink.SubnegotiationEnd(true);
                } else {
                    // A sender that forgot IAC SE: the subnegotiation ends, the command counts.
                    go_on = sink.SubnegotiationEnd(false);
                    go_on = AfterIac(byte, sink) && go_on;
                }
                break;
        }
        if (!go_on) {
            break;
        }
    }
    return taken;
}

template <typename Sink>
bool TelnetParser::AfterIac(std::uint8_t byte, Sink& sink) {
    switch (byte) {
        case telnet::kIac:
            state_ = State::kText;
            return sink.Text(byte);
        case telnet::kWill:
        case telnet::kWont:
        case telnet::kDo:
        case telnet::kDont:
            state_ = State::kOption;
            unfinished_[1] = byte;
            return true;
        case telnet::kSb:
            state_ = State::kSbOption;
            unfinished_[1] = byte;
            return true;
        default:
            state_ = State::kText;
            return sink.Command(byte);
    }
}

inline std::string_view TelnetParser::UnfinishedCommand() const noexcept {
    const char* raw = reinterpret_cast<const char*>(unfinished_);
    switch (state_) {
        case State::kIac:
            return {raw, 1};
        case State::kOption:
        case State::kSbOption:
            return {raw, 2};
        default:
            return {};
    }
}

}  // namespace brawlhue::stream
