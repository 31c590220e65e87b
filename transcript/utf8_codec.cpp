#include "transcript/utf8_codec.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brawlhue {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

constexpr bool IsContinuation(unsigned char byte) noexcept {
    return (byte & 0xC0) == 0x80;
}

constexpr bool IsHighSurrogate(char32_t unit) noexcept {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit) noexcept {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// How many bytes the valid sequence at the start of bytes takes, and its code point; 0 when no
// valid sequence starts there. The allowed range of the second byte is what rules out
// overlongs (E0, F0), encoded surrogates (ED) and code points above U+10FFFF (F4).
struct Sequence {
    std::size_t length;
    char32_t code_point;
};

Sequence ReadSequence(const unsigned char* bytes, std::size_t available) noexcept {
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        return {1, lead};
    }
    std::size_t length = 0;
    unsigned char second_min = 0x80;
    unsigned char second_max = 0xBF;
    char32_t code_point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code_point = lead & 0x0F;
        if (lead == 0xE0) {
            second_min = 0xA0;
        } else if (lead == 0xED) {
            second_max = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code_point = lead & 0x07;
        if (lead == 0xF0) {
            second_min = 0x90;
        } else if (lead == 0xF4) {
            second_max = 0x8F;
        }
    } else {
        return {0, 0};
    }
    if (available < length || bytes[1] < second_min || bytes[1] > second_max) {
        return {0, 0};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(bytes[i])) {
            return {0, 0};
        }
        code_point = (code_point << 6) | (bytes[i] & 0x3F);
    }
    return {length, code_point};
}

char* PutCodePoint(char32_t code_point, char* out) noexcept {
    if (code_point < 0x80) {
        *out++ = static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code_point >> 6));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (code_point >> 12));
        *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (code_point >> 18));
        *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    }
    return out;
}

// Four bytes, as the low half of a number, spread to one byte in each 16-bit lane.
constexpr std::uint64_t SpreadFourBytes(std::uint64_t four) noexcept {
    four = (four | (four << 16)) & 0x0000FFFF0000FFFFu;
    return (four | (four << 8)) & 0x00FF00FF00FF00FFu;
}

// Writes the eight bytes read into `eight` (in memory order) as eight units.
inline void WidenEightAscii(std::uint64_t eight, char16_t* out) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t low = SpreadFourBytes(eight & 0xFFFFFFFFu);
        const std::uint64_t high = SpreadFourBytes(eight >> 32);
        std::memcpy(out, &low, sizeof low);
        std::memcpy(out + 4, &high, sizeof high);
    } else {
        unsigned char bytes[8];
        std::memcpy(bytes, &eight, sizeof bytes);
        for (int i = 0; i < 8; ++i) {
            out[i] = bytes[i];
        }
    }
}

}  // namespace

void DecodeUtf8(std::string_view bytes, std::u16string& units) {
    // No sequence yields more units than it has bytes, so one resize up front is enough.
    const std::size_t start = units.size();
    units.resize(start + bytes.size());
    char16_t* const end = DecodeUtf8(bytes, units.data() + start);
    units.resize(static_cast<std::size_t>(end - units.data()));
}

namespace {

#if defined(__SSE2__)
// Sixteen bytes below 0x80 as sixteen units; false, writing nothing, when any byte is not.
bool WidenSixteenAscii(const unsigned char* in, char16_t* out) noexcept {
    const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (_mm_movemask_epi8(sixteen) != 0) {
        return false;
    }
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(sixteen, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(sixteen, zero));
    return true;
}
#endif

}  // namespace

char16_t* DecodeUtf8(std::string_view bytes, char16_t* out) noexcept {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = in + bytes.size();
#if defined(__SSE2__)
    // A line of sixteen bytes or more that is all ASCII, as most game text is: sixteen bytes a
    // step, then the last sixteen in one step, writing again the units of bytes already done
    // (each ASCII byte is one unit wherever it stands, so they come out the same). Otherwise the
    // loop below goes on from the first step that held something else.
    if (end - in >= 16) {
        while (end - in > 16 && WidenSixteenAscii(in, out)) {
            in += 16;
            out += 16;
        }
        if (end - in <= 16 && WidenSixteenAscii(end - 16, out + (end - in) - 16)) {
            return out + (end - in);
        }
    }
#endif
    while (in != end) {
#if defined(__SSE2__)
        // Where the processor has SSE2 (every x86-64 one), sixteen ASCII bytes a step.
        while (end - in >= 16 && WidenSixteenAscii(in, out)) {
            in += 16;
            out += 16;
        }
#endif
        // Game text is mostly ASCII: eight bytes below 0x80 become eight units in one step.
        while (end - in >= 8) {
            std::uint64_t eight;
            std::memcpy(&eight, in, sizeof eight);
            if ((eight & 0x8080808080808080u) != 0) {
                break;
            }
            WidenEightAscii(eight, out);
            in += 8;
            out += 8;
        }
        // Fewer than eight bytes left: when the last eight bytes of the input are all ASCII,
        // widen them in one step, writing again the units of those already done. Each ASCII
        // byte is one unit wherever it stands, so those units come out the same.
        const auto left = static_cast<std::size_t>(end - in);
        if (left > 0 && left < 8 && bytes.size() >= 8) {
            std::uint64_t last_eight;
            std::memcpy(&last_eight, end - 8, sizeof last_eight);
            if ((last_eight & 0x8080808080808080u) == 0) {
                WidenEightAscii(last_eight, out + left - 8);
                return out + left;
            }
        }
        if (in == end) {
            break;
        }
        if (*in < 0x80) {
            *out++ = *in++;
            continue;
        }
        const Sequence sequence = ReadSequence(in, static_cast<std::size_t>(end - in));
        if (sequence.length == 0) {
            *out++ = EscapedByte(*in++);
        } else if (sequence.code_point < 0x10000) {
            *out++ = static_cast<char16_t>(sequence.code_point);
            in += sequence.length;
        } else {
            const char32_t offset = sequence.code_point - 0x10000;
            *out++ = static_cast<char16_t>(0xD800 + (offset >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
            in += sequence.length;
        }
    }
    return out;
}

void EncodeUtf8(std::u16string_view units, std::string& bytes) {
    // Three bytes per unit at most: a BMP character takes up to three, a pair four for two units.
    const std::size_t start = bytes.size();
    bytes.resize(start + 3 * units.size());
    char* out = bytes.data() + start;

    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit < 0x80) {
            *out++ = static_cast<char>(unit);
        } else if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            const char32_t low = units[++i];
            out = PutCodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        } else if (unit >= EscapedByte(0x80) && unit <= EscapedByte(0xFF)) {
            *out++ = static_cast<char>(unit - 0xDC00);
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            out = PutCodePoint(kReplacementCharacter, out);
        } else {
            out = PutCodePoint(unit, out);
        }
    }
    bytes.resize(static_cast<std::size_t>(out - bytes.data()));
}

std::size_t Utf8Size(std::u16string_view units) noexcept {
    std::size_t size = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit < 0x80) {
            size += 1;
        } else if (unit < 0x800) {
            size += 2;
        } else if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            size += 4;
            ++i;
        } else if (unit >= EscapedByte(0x80) && unit <= EscapedByte(0xFF)) {
            size += 1;
        } else {
            size += 3;  // any other BMP character, and U+FFFD for a lone surrogate
        }
    }
    return size;
}

}  // namespace brawlhue
