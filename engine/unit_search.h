// Finding one code unit in UTF-16 text four units at a time: the search that the full match and
// the prompt reader run over whole lines, where a unit-by-unit loop spends most of its time on
// the loop itself.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brawlhue {

// Four consecutive units as one number, the first in the low bits.
constexpr std::uint64_t QuadValue(char16_t a, char16_t b, char16_t c, char16_t d) noexcept {
    return std::uint64_t{a} | (std::uint64_t{b} << 16) | (std::uint64_t{c} << 32) |
           (std::uint64_t{d} << 48);
}

// QuadValue of the four units at units: one load where the layout in memory already is that
// number.
inline std::uint64_t LoadQuad(const char16_t* units) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t quad;
        std::memcpy(&quad, units, sizeof quad);
        return quad;
    } else {
        return QuadValue(units[0], units[1], units[2], units[3]);
    }
}

// The first place in [from, text.size()) that holds unit, or npos.
inline std::size_t FindUnit(std::u16string_view text, char16_t unit, std::size_t from) noexcept {
    constexpr std::uint64_t kLowBits = 0x0001000100010001u;
    constexpr std::uint64_t kHighBits = 0x8000800080008000u;
    const std::uint64_t repeated = kLowBits * unit;
    const char16_t* const units = text.data();
    std::size_t at = from;
#if defined(__SSE2__)
    // Where the processor has SSE2 (every x86-64 one), eight units a step.
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    for (; at + 8 <= text.size(); at += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
        const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(eight, wanted)));
        if (equal != 0) {
            return at + static_cast<std::size_t>(std::countr_zero(equal)) / 2;
        }
    }
#endif
    for (; at + 4 <= text.size(); at += 4) {
        // A unit equal to `unit` becomes zero; the lowest zero unit sets the lowest high bit
        // (a borrow can only mark units above a zero one, never below).
        const std::uint64_t x = LoadQuad(units + at) ^ repeated;
        const std::uint64_t zeros = (x - kLowBits) & ~x & kHighBits;
        if (zeros != 0) {
            return at + static_cast<std::size_t>(std::countr_zero(zeros)) / 16;
        }
    }
    for (; at < text.size(); ++at) {
        if (units[at] == unit) {
            return at;
        }
    }
    return std::u16string_view::npos;
}

}  // namespace brawlhue
