// How the bytes of a fuzz input become a line of 16-bit units, and back (for the seeds).
// ASCII bytes stay themselves, so seeds and dictionary words are plain text and libFuzzer's
// comparison hints land as they are. A UTF-8-shaped sequence gives any unit: two or three bytes
// one unit (shortest form not required, lone surrogates allowed), four bytes a surrogate pair.
// Every other byte stands for the unit of the same value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brawlhue::fuzz {

inline std::u16string UnitsFromBytes(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    const auto at = [&](std::size_t i) {
        return static_cast<std::uint32_t>(std::uint8_t(bytes[i]));
    };
    // Whether the k bytes behind position i are all continuation bytes.
    const auto followed_by = [&](std::size_t i, std::size_t k) {
        if (i + k >= bytes.size()) {
            return false;
        }
        for (std::size_t j = 1; j <= k; ++j) {
            if ((at(i + j) & 0xC0) != 0x80) {
                return false;
            }
        }
        return true;
    };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint32_t lead = at(i);
        if (lead >= 0xC0 && lead < 0xE0 && followed_by(i, 1)) {
            units += static_cast<char16_t>(((lead & 0x1F) << 6) | (at(i + 1) & 0x3F));
            i += 2;
        } else if (lead >= 0xE0 && lead < 0xF0 && followed_by(i, 2)) {
            units += static_cast<char16_t>(((lead & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) |
                                           (at(i + 2) & 0x3F));
            i += 3;
        } else if (lead >= 0xF0 && lead < 0xF8 && followed_by(i, 3)) {
            const std::uint32_t code_point = ((lead & 0x07) << 18) | ((at(i + 1) & 0x3F) << 12) |
                                             ((at(i + 2) & 0x3F) << 6) | (at(i + 3) & 0x3F);
            const std::uint32_t offset = (code_point - 0x10000) & 0xFFFFF;
            units += static_cast<char16_t>(0xD800 + (offset >> 10));
            units += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
            i += 4;
        } else {
            units += static_cast<char16_t>(lead);
            i += 1;
        }
    }
    return units;
}

// The shortest bytes that UnitsFromBytes turns back into units: a surrogate pair as four bytes,
// every other unit as one to three.
inline std::string BytesFromUnits(std::u16string_view units) {
    std::string bytes;
    const auto put = [&](std::uint32_t byte) { bytes += static_cast<char>(byte); };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            const std::uint32_t code_point =
                0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00);
            put(0xF0 | (code_point >> 18));
            put(0x80 | ((code_point >> 12) & 0x3F));
            put(0x80 | ((code_point >> 6) & 0x3F));
            put(0x80 | (code_point & 0x3F));
        } else if (unit < 0x80) {
            put(unit);
        } else if (unit < 0x800) {
            put(0xC0 | (unit >> 6));
            put(0x80 | (unit & 0x3F));
        } else {
            put(0xE0 | (unit >> 12));
            put(0x80 | ((unit >> 6) & 0x3F));
            put(0x80 | (unit & 0x3F));
        }
    }
    return bytes;
}

inline std::string_view AsBytes(const std::uint8_t* data, std::size_t size) {
    return size == 0 ? std::string_view()
                     : std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace brawlhue::fuzz
