#include "fuzz/reference_transcript.h"

#include <cstddef>
#include <cstdint>

namespace brawlhue::fuzz {
namespace {

// The well-formed UTF-8 byte sequences: a lead byte range, the range its second byte must lie
// in, and the length; third and fourth bytes are always 80 to BF.
struct SequenceForm {
    std::uint8_t lead_low, lead_high;
    std::uint8_t second_low, second_high;
    std::size_t length;
};

constexpr SequenceForm kWellFormed[] = {
    {0x00, 0x7F, 0x00, 0x00, 1}, {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
    {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
    {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

// The length of the well-formed sequence at the start of bytes, or 0.
std::size_t WellFormedLength(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    for (const SequenceForm& form : kWellFormed) {
        if (byte(0) < form.lead_low || byte(0) > form.lead_high) {
            continue;
        }
        if (bytes.size() < form.length) {
            return 0;
        }
        if (form.length > 1 && (byte(1) < form.second_low || byte(1) > form.second_high)) {
            return 0;
        }
        for (std::size_t i = 2; i < form.length; ++i) {
            if (byte(i) < 0x80 || byte(i) > 0xBF) {
                return 0;
            }
        }
        return form.length;
    }
    return 0;
}

}  // namespace

std::u16string ReferenceDecodeUtf8(std::string_view bytes) {
    std::u16string units;
    while (!bytes.empty()) {
        const std::size_t length = WellFormedLength(bytes);
        if (length == 0) {
            units += static_cast<char16_t>(0xDC00 + static_cast<std::uint8_t>(bytes[0]));
            bytes.remove_prefix(1);
            continue;
        }
        // The payload bits: 7 of a single byte, 5, 4 or 3 of a lead, 6 of each continuation.
        const std::uint32_t lead = static_cast<std::uint8_t>(bytes[0]);
        std::uint32_t code_point = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t i = 1; i < length; ++i) {
            code_point = code_point << 6 | (static_cast<std::uint8_t>(bytes[i]) & 0x3F);
        }
        if (code_point > 0xFFFF) {
            units += static_cast<char16_t>(0xD7C0 + (code_point >> 10));
            units += static_cast<char16_t>(0xDC00 | (code_point & 0x3FF));
        } else {
            units += static_cast<char16_t>(code_point);
        }
        bytes.remove_prefix(length);
    }
    return units;
}

std::vector<SplitLine> SplitLines(std::string_view bytes) {
    std::vector<SplitLine> lines;
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            lines.push_back({bytes, {}});
            break;
        }
        const bool crlf = newline > 0 && bytes[newline - 1] == '\r';
        const std::size_t body_end = crlf ? newline - 1 : newline;
        lines.push_back(
            {bytes.substr(0, body_end), bytes.substr(body_end, newline + 1 - body_end)});
        bytes.remove_prefix(newline + 1);
    }
    return lines;
}

}  // namespace brawlhue::fuzz
