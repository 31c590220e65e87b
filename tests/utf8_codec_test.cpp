#include "transcript/utf8_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace brawlhue {
namespace {

std::u16string Decode(std::string_view bytes) {
    std::u16string units;
    DecodeUtf8(bytes, units);
    return units;
}

std::string Encode(std::u16string_view units) {
    std::string bytes;
    EncodeUtf8(units, bytes);
    return bytes;
}

struct DecodeCase {
    const char* name;
    std::string_view bytes;
    std::u16string_view units;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << c.name;
}

// Valid sequences at the edges of each length, and every kind of invalid input: each byte that
// is not part of a valid sequence is escaped alone and decoding resumes right behind it.
const DecodeCase kDecodeCases[] = {
    {"ascii", "abc", u"abc"},
    {"nul_and_controls", std::string_view("\0\x01\x1b\r\x7f", 5),
     std::u16string_view(u"\0\x01\x1b\r\x7f", 5)},
    {"two_bytes", "\xC2\x80\xC3\xA9\xDF\xBF", u"\u0080\u00E9\u07FF"},
    {"three_bytes", "\xE0\xA0\x80\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF",
     u"\u0800\u20AC\uD7FF\uE000\uFFFF"},
    {"four_bytes_as_pairs", "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
     u"\xD800\xDC00\xD83D\xDE00\xDBFF\xDFFF"},
    {"stray_continuations", "\x80\xBF", u"\xDC80\xDCBF"},
    {"never_valid_bytes", "\xC0\xC1\xF5\xF8\xFE\xFF", u"\xDCC0\xDCC1\xDCF5\xDCF8\xDCFE\xDCFF"},
    {"overlong_two", "\xC0\xAF", u"\xDCC0\xDCAF"},
    {"overlong_three", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
    {"overlong_four", "\xF0\x8F\xBF\xBF", u"\xDCF0\xDC8F\xDCBF\xDCBF"},
    {"encoded_surrogates", "\xED\xA0\x80\xED\xBF\xBF", u"\xDCED\xDCA0\xDC80\xDCED\xDCBF\xDCBF"},
    {"above_10ffff", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
    {"truncated_at_end", "a\xE2\x82", u"a\xDCE2\xDC82"},
    {"truncated_before_ascii", "\xF0\x9F\x98x", u"\xDCF0\xDC9F\xDC98x"},
    {"lead_before_valid_sequence", "\xC3\xC3\xA9", u"\xDCC3\u00E9"},
    {"truncated_before_newline", "\xE2\n", u"\xDCE2\n"},
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesAndEncodesBack) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(Decode(c.bytes), c.units);
    EXPECT_EQ(Encode(Decode(c.bytes)), c.bytes);
    EXPECT_EQ(Utf8Size(c.units), c.bytes.size());

    // Between runs of ASCII long enough for the sixteen- and eight-byte steps, into caller's
    // storage.
    const std::string bytes =
        "0123456789abcdefghij" + std::string(c.bytes) + "abcdefgh" + std::string(c.bytes) + "xyz";
    const std::u16string units = u"0123456789abcdefghij" + std::u16string(c.units) + u"abcdefgh" +
                                 std::u16string(c.units) + u"xyz";
    std::u16string storage(bytes.size(), u'\0');
    const char16_t* end = DecodeUtf8(bytes, storage.data());
    EXPECT_EQ(std::u16string_view(storage.data(), static_cast<std::size_t>(end - storage.data())),
              units);

    // At every place in a line of ASCII, so that the case falls in every step of the fast paths,
    // the last sixteen bytes among them.
    constexpr std::string_view kAscii = "The quick brown fox jumps over the lazy dog";
    const std::u16string ascii_units(kAscii.begin(), kAscii.end());
    for (std::size_t at = 0; at <= kAscii.size(); ++at) {
        const std::string line = std::string(kAscii.substr(0, at)) + std::string(c.bytes) +
                                 std::string(kAscii.substr(at));
        EXPECT_EQ(Decode(line),
                  ascii_units.substr(0, at) + std::u16string(c.units) + ascii_units.substr(at))
            << "at " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Utf8, DecodeTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8Codec, AppendsToWhatIsThere) {
    std::u16string units = u"> ";
    DecodeUtf8("\xC3\xA9", units);
    EXPECT_EQ(units, u"> \u00E9");
    std::string bytes = "> ";
    EncodeUtf8(u"\u00E9", bytes);
    EXPECT_EQ(bytes, "> \xC3\xA9");
}

// A sequence cut by the end of the view is truncated, whatever bytes follow in memory.
TEST(Utf8Codec, StopsAtTheEndOfTheView) {
    constexpr std::string_view kEuro = "\xE2\x82\xAC";
    EXPECT_EQ(Decode(kEuro.substr(0, 1)), u"\xDCE2");
    EXPECT_EQ(Decode(kEuro.substr(0, 2)), u"\xDCE2\xDC82");
}

// Units that no decoding gives: lone surrogates outside the escape range. An escaped byte right
// behind a high surrogate is still a pair, as it would be for any UTF-16 producer.
TEST(Utf8Codec, EncodesUnitsThatDecodingNeverGives) {
    EXPECT_EQ(Encode(u"\xD800"), "\xEF\xBF\xBD");
    EXPECT_EQ(Encode(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Encode(u"\xDC00\xDC7F\xDD00\xDFFF"),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Encode(u"\xDC80\xD800"), "\x80\xEF\xBF\xBD");
    EXPECT_EQ(Encode(u"\xD800\xDC80"), "\xF0\x90\x82\x80");
}

// Bytes drawn mostly from the troublesome ranges: continuation bytes, lead bytes and their
// edges, NUL, CR and LF.
TEST(Utf8Codec, RandomByteStringsRoundTrip) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 48);
    std::uniform_int_distribution<int> any_byte(0, 255);
    std::uniform_int_distribution<int> pick(0, 4);
    constexpr unsigned char kEdges[] = {0x00, '\r', '\n', 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                        0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::uniform_int_distribution<std::size_t> edge(0, std::size(kEdges) - 1);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(static_cast<std::size_t>(length(random)), '\0');
        for (char& byte : bytes) {
            const int choice = pick(random);
            byte = static_cast<char>(choice == 0   ? kEdges[edge(random)]
                                     : choice == 1 ? 0x80 + any_byte(random) % 0x40
                                     : choice == 2 ? any_byte(random) % 0x80
                                                   : any_byte(random));
        }
        const std::u16string units = Decode(bytes);
        ASSERT_LE(units.size(), bytes.size());
        ASSERT_EQ(Encode(units), bytes) << "round " << round;
        ASSERT_EQ(Utf8Size(units), bytes.size()) << "round " << round;
    }
}

// Every code point except the surrogates goes through UTF-8 and back, and a character above
// U+FFFF counts two units, as the Windows host counts it.
TEST(Utf8Codec, EveryCodePointRoundTrips) {
    for (char32_t code_point = 0; code_point <= 0x10FFFF; ++code_point) {
        if (code_point >= 0xD800 && code_point <= 0xDFFF) {
            continue;
        }
        std::u16string units;
        if (code_point < 0x10000) {
            units.push_back(static_cast<char16_t>(code_point));
        } else {
            units.push_back(static_cast<char16_t>(0xD800 + ((code_point - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF)));
        }
        const std::string bytes = Encode(units);
        ASSERT_EQ(Decode(bytes), units) << std::hex << static_cast<unsigned long>(code_point);
    }
}

}  // namespace
}  // namespace brawlhue
