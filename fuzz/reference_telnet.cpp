#include "fuzz/reference_telnet.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace brawlhue::fuzz {
namespace {

constexpr unsigned char kIac = 255, kSb = 250, kSe = 240, kWill = 251, kDont = 254;
constexpr unsigned char kMccp2 = 86;

bool IsCompressionOption(unsigned char option) {
    return option >= 85 && option <= 87;
}

unsigned char At(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

struct Inflated {
    std::string bytes;
    std::size_t used = 0;  // compressed bytes that belonged to the stream
    bool rejected = false;
};

// The whole compressed stream at the start of bytes, or as much as there is of it.
Inflated InflateAll(std::string_view bytes) {
    Inflated result;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        result.rejected = true;
        return result;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    unsigned char out[4096];
    int status = Z_OK;
    do {
        stream.next_out = out;
        stream.avail_out = sizeof out;
        status = inflate(&stream, Z_SYNC_FLUSH);
        result.bytes.append(reinterpret_cast<const char*>(out), sizeof out - stream.avail_out);
    } while (status == Z_OK && (stream.avail_in > 0 || stream.avail_out == 0));
    result.rejected = status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR;
    result.used = bytes.size() - stream.avail_in;
    inflateEnd(&stream);
    return result;
}

}  // namespace

TelnetReference ReferenceClientStream(std::string_view from_game, bool compression) {
    TelnetReference reference;
    std::string& out = reference.to_client;
    // The stream as the parser sees it: a compressed stream is replaced by what it inflates to
    // as soon as the parser reaches it. Bytes below inflated_end came out of a compressed stream.
    std::string stream(from_game);
    std::size_t inflated_end = 0;
    std::size_t i = 0;
    while (i < stream.size()) {
        const std::string_view s = stream;
        if (At(s, i) != kIac) {
            out += s[i++];
            continue;
        }
        if (i + 1 == s.size()) {
            out += s[i++];  // an IAC cut off by the end
            continue;
        }
        const unsigned char command = At(s, i + 1);
        if (command == kIac || (command != kSb && (command < kWill || command > kDont))) {
            out += s.substr(i, 2);
            i += 2;
            continue;
        }
        if (i + 2 == s.size()) {
            out += s.substr(i, 2);  // IAC verb or IAC SB cut off by the end
            i += 2;
            continue;
        }
        const unsigned char option = At(s, i + 2);
        if (command != kSb) {
            if (!IsCompressionOption(option)) {
                out += s.substr(i, 3);
            }
            i += 3;
            continue;
        }
        // A subnegotiation: up to IAC SE, or up to an IAC with another command, which ends it
        // and is read as a command; IAC IAC is a parameter byte.
        std::size_t end = i + 3;
        bool complete = false;
        while (end < s.size()) {
            if (At(s, end) != kIac) {
                ++end;
            } else if (end + 1 == s.size()) {
                ++end;  // an IAC cut off by the end: part of the subnegotiation
            } else if (At(s, end + 1) == kIac) {
                end += 2;
            } else {
                complete = At(s, end + 1) == kSe;
                end += complete ? 2 : 0;
                break;
            }
        }
        if (!IsCompressionOption(option)) {
            out += s.substr(i, end - i);
        }
        i = end;
        if (complete && option == kMccp2 && compression && i > inflated_end) {
            const Inflated inflated = InflateAll(s.substr(i));
            if (inflated.rejected) {
                reference.unreadable = true;
                return reference;
            }
            stream = stream.substr(0, i) + inflated.bytes + stream.substr(i + inflated.used);
            inflated_end = i + inflated.bytes.size();
        }
    }
    return reference;
}

}  // namespace brawlhue::fuzz
