#include "stream/command_catcher.h"

#include "stream/telnet_encoding.h"

namespace brawlhue::stream {
namespace {

constexpr std::string_view kCommandWord = "#brawlhue";

constexpr bool EndsLine(std::uint8_t byte) noexcept {
    return byte == '\r' || byte == '\n';
}

constexpr char Lowered(std::uint8_t byte) noexcept {
    return static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte);
}

}  // namespace

void CommandCatcher::Release(std::string& to_server) {
    to_server += held_;  // letters and '#' only: nothing to escape
    held_.clear();
}

bool CommandCatcher::Text(std::uint8_t byte, std::string& to_server) {
    const char as_char = static_cast<char>(byte);
    switch (phase_) {
        case Phase::kAfterCommandCr:
            phase_ = Phase::kMatching;
            if (byte == '\n' || byte == '\0') {
                return false;
            }
            break;  // a new line begins with this byte
        case Phase::kCommand:
            if (EndsLine(byte)) {
                phase_ = byte == '\r' ? Phase::kAfterCommandCr : Phase::kMatching;
                return true;
            }
            if (text_.size() < kCommandCap) {
                text_ += as_char;
            }
            return false;
        case Phase::kOrdinary:
            AppendTelnetText(std::string_view(&as_char, 1), to_server);
            if (EndsLine(byte)) {
                phase_ = Phase::kMatching;
            }
            return false;
        case Phase::kMatching:
            break;
    }

    // At the line's start or inside what may be the command word.
    if (held_.size() < kCommandWord.size()) {
        if (Lowered(byte) == kCommandWord[held_.size()]) {
            held_ += as_char;
            return false;
        }
        // NUL after CR and the empty line keep the line's start where it is.
        if (held_.empty() && (EndsLine(byte) || byte == '\0')) {
            to_server += as_char;
            return false;
        }
    } else if (byte == ' ' || byte == '\t' || EndsLine(byte)) {
        // The whole word, then a blank or the line's end: the command.
        held_.clear();
        text_.clear();
        phase_ = Phase::kCommand;
        return EndsLine(byte) ? Text(byte, to_server) : false;
    }
    Release(to_server);
    phase_ = Phase::kOrdinary;
    return Text(byte, to_server);
}

}  // namespace brawlhue::stream
