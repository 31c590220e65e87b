// Lossless conversion between the bytes of a transcript and the UTF-16 text the line filter
// works on. Transcripts are mostly UTF-8 but may hold anything a game server sent; every byte
// must come back out exactly as it went in, so bytes that are not UTF-8 are carried through as
// lone low surrogates rather than replaced.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brawlhue {

// The code unit that stands for a byte which is not part of a valid UTF-8 sequence: U+DC80 to
// U+DCFF for the bytes 0x80 to 0xFF. Bytes below 0x80 are always valid on their own.
constexpr char16_t EscapedByte(unsigned char byte) noexcept {
    return static_cast<char16_t>(0xDC00 + byte);
}

// Appends the UTF-16 form of bytes to units. A valid, shortest-form UTF-8 sequence becomes its
// character (two units, a surrogate pair, above U+FFFF); every other byte (a stray continuation
// byte, a lead byte of an overlong, truncated or out-of-range sequence, an encoded surrogate)
// becomes EscapedByte(byte), and decoding goes on with the next byte. NUL and control bytes are
// ordinary characters.
void DecodeUtf8(std::string_view bytes, std::u16string& units);

// The same decoding into storage the caller provides, which must have room for bytes.size()
// units (no sequence gives more units than it has bytes). Returns the end of what was written.
char16_t* DecodeUtf8(std::string_view bytes, char16_t* out) noexcept;

// Appends the UTF-8 form of units to bytes, undoing DecodeUtf8: a surrogate pair becomes its
// four-byte sequence and a lone U+DC80 to U+DCFF the byte it stands for. Any other lone
// surrogate cannot come out of DecodeUtf8 and has no byte form of its own; it is written as
// U+FFFD (EF BF BD).
void EncodeUtf8(std::u16string_view units, std::string& bytes);

// How many bytes EncodeUtf8 gives for units.
std::size_t Utf8Size(std::u16string_view units) noexcept;

}  // namespace brawlhue
