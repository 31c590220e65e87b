// The fuzz yardstick for the stream filter: what the client must see of a game's telnet
// stream, colour aside. Written over the whole input at once, with lookahead, rather than as
// the filter's byte-at-a-time machine: the compression negotiation taken out, compressed data
// inflated in one go, everything else as it came.
#pragma once

#include <string>
#include <string_view>

namespace brawlhue::fuzz {

struct TelnetReference {
    std::string to_client;
    bool unreadable = false;  // a compressed stream that zlib rejects
};

TelnetReference ReferenceClientStream(std::string_view from_game, bool compression);

}  // namespace brawlhue::fuzz
