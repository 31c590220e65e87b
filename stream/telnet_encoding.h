// The sending side of telnet: text, commands and negotiations as bytes of the stream. The
// parser (telnet_parser.h) is the reading side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "stream/telnet_parser.h"

namespace brawlhue::stream {

// Appends bytes of text, each 0xFF doubled so that it is not read as IAC.
inline void AppendTelnetText(std::string_view bytes, std::string& out) {
    constexpr char kIacChar = static_cast<char>(telnet::kIac);
    std::size_t from = 0;
    for (std::size_t at = bytes.find(kIacChar); at != std::string_view::npos;
         at = bytes.find(kIacChar, at + 1)) {
        out.append(bytes, from, at + 1 - from);
        out += kIacChar;
        from = at + 1;
    }
    out.append(bytes, from);
}

// IAC and a command (GA, EOR, NOP, ...).
inline void AppendCommand(std::string& out, std::uint8_t command) {
    out += static_cast<char>(telnet::kIac);
    out += static_cast<char>(command);
}

// IAC, WILL/WONT/DO/DONT and the option.
inline void AppendNegotiation(std::string& out, std::uint8_t verb, std::uint8_t option) {
    AppendCommand(out, verb);
    out += static_cast<char>(option);
}

}  // namespace brawlhue::stream
