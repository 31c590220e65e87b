// The fuzzers are only as good as their yardsticks: the reference matcher, the reference UTF-8
// decoder and line splitter, the telnet stream reference and the input decoding are checked here
// on known answers.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/reference_matcher.h"
#include "fuzz/reference_telnet.h"
#include "fuzz/reference_transcript.h"

namespace brawlhue::fuzz {
namespace {

struct MatchCase {
    std::u16string_view pattern;
    std::u16string_view line;
    bool fits;
};

void ExpectMatches(std::initializer_list<MatchCase> cases) {
    for (const MatchCase& c : cases) {
        EXPECT_EQ(ReferenceMatch(c.line, c.pattern), c.fits)
            << "pattern \"" << std::string(c.pattern.begin(), c.pattern.end()) << "\" line \""
            << std::string(c.line.begin(), c.line.end()) << "\"";
    }
}

TEST(ReferenceMatch, StarsAndQuestionMarksOnTheDocumentedLines) {
    ExpectMatches({
        {u"* hit*", u"The guard hits you.", true},
        {u"* hit*", u" hit", true},
        {u"* hit*", u"hit him", false},
        {u"* hit*", u"The guard HITS you.", false},
        {u"You fail to *.", u"You fail to hit the guard.", true},
        {u"You fail to *.", u"You fail to hit the guard. ", false},
        {u"You fail to *.", u"You fail to hit the guard", false},
        {u"* wipes ??? boots in your face!", u"The thug wipes his boots in your face!", true},
        {u"* wipes ??? boots in your face!", u"The thug wipes their boots in your face!", false},
        {u"You * at *, but * passes through it.",
         u"You swing at the wraith, but your blade passes through it.", true},
        {u"*a*b*c", u"acb", false},
        {u"*aab", u"aaab", true},
        {u"a?c", u"a*c", true},
        {u"a", u"*", false},
        {u"", u"", true},
        {u"***", u"", true},
        {u"?", u"", false},
        {u"", u"a", false},
    });
}

TEST(ReferenceMatch, DigitsAndLists) {
    ExpectMatches({
        {u"I#", u"I5", true},
        {u"#", u":", false},
        {u"#", u"\u0665", false},
        {u"[a-c]", u"c", true},
        {u"[a-c]", u"-", false},
        {u"[!a-c]", u"d", true},
        {u"[!a-c]", u"", false},
        {u"[-a]", u"-", true},
        {u"[a-]", u"-", true},
        {u"[a-]", u"b", false},
        {u"[!-a]", u"-", false},
        {u"[--0]", u"/", true},  // a range may start with the leading "-"
        {u"[a-c-e]", u"-", true},
        {u"[a-c-e]", u"d", false},
        {u"[z-a]", u"m", false},
        {u"[!z-a]", u"m", true},
        {u"[!]", u"q", true},
        {u"[]", u"", true},
        {u"x[]y", u"xy", true},
        {u"x[]y", u"x y", false},
        {u"[*][?][#][[]", u"*?#[", true},
        {u"[*]", u"a", false},
        {u"[a]]", u"a]", true},
        {u"]!", u"]!", true},
        {u"a[b", u"a[b", true},
        {u"[*", u"[abc", true},
        {u"*[0-9]", u"abc7x", false},
        {u"[\u00e9-\uffff]", u"\xD800", true},
    });
}

TEST(ReferenceDecodeUtf8, WellFormedSequencesAndEscapedBytes) {
    EXPECT_EQ(ReferenceDecodeUtf8(""), u"");
    EXPECT_EQ(ReferenceDecodeUtf8(std::string_view("a\0\x7F", 3)), std::u16string(u"a\0\x7F", 3));
    EXPECT_EQ(ReferenceDecodeUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              u"\u00e9\u20ac\U0001F600");
    EXPECT_EQ(ReferenceDecodeUtf8("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
    // Overlong, encoded surrogate, above U+10FFFF, truncated, stray continuation, never a lead.
    EXPECT_EQ(ReferenceDecodeUtf8("\xC0\x80"), u"\xDCC0\xDC80");
    EXPECT_EQ(ReferenceDecodeUtf8("\xE0\x9F\xBF"), u"\xDCE0\xDC9F\xDCBF");
    EXPECT_EQ(ReferenceDecodeUtf8("\xED\xA0\x80"), u"\xDCED\xDCA0\xDC80");
    EXPECT_EQ(ReferenceDecodeUtf8("\xF4\x90\x80\x80"), u"\xDCF4\xDC90\xDC80\xDC80");
    EXPECT_EQ(ReferenceDecodeUtf8("\xE2\x82x"), u"\xDCE2\xDC82x");
    EXPECT_EQ(ReferenceDecodeUtf8("\x80\xC3\xA9"), u"\xDC80\u00e9");
    EXPECT_EQ(ReferenceDecodeUtf8("\xF5\xFF"), u"\xDCF5\xDCFF");
}

TEST(SplitLines, KeepsEachEndingAndALastLineWithoutOne) {
    using Lines = std::vector<SplitLine>;
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("\n"), (Lines{{"", "\n"}}));
    EXPECT_EQ(SplitLines("a\r\nb\nc"), (Lines{{"a", "\r\n"}, {"b", "\n"}, {"c", ""}}));
    EXPECT_EQ(SplitLines("a\rb\r"), (Lines{{"a\rb\r", ""}}));
    EXPECT_EQ(SplitLines("\r\n\r\r\n"), (Lines{{"", "\r\n"}, {"\r", "\r\n"}}));
}

TEST(UnitsFromBytes, AsciiStaysAndSequencesGiveAnyUnit) {
    EXPECT_EQ(UnitsFromBytes("* hit*"), u"* hit*");
    EXPECT_EQ(UnitsFromBytes("\xC0\x8A"), u"\n");  // overlong forms are welcome
    EXPECT_EQ(UnitsFromBytes("\xED\xA0\x80"), u"\xD800");
    EXPECT_EQ(UnitsFromBytes("\xF0\x9F\x98\x80"), u"\U0001F600");
    // Bytes that start no complete sequence stand for themselves.
    EXPECT_EQ(UnitsFromBytes("\x80\xFF\xE2\x82"), u"\x80\xFF\xE2\x82");
}

TEST(UnitsFromBytes, UndoesBytesFromUnitsForEveryUnit) {
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const std::u16string units{u'a', static_cast<char16_t>(unit), u'b'};
        ASSERT_EQ(UnitsFromBytes(BytesFromUnits(units)), units)
            << "unit " << static_cast<unsigned>(unit);
    }
    const std::u16string pair = u"x\U0001F600\xDBFF\xDFFFy";
    EXPECT_EQ(UnitsFromBytes(BytesFromUnits(pair)), pair);
}

TEST(ReferenceClientStream, TakesOutCompressionAndInflates) {
    const std::string plain = "You hit\xFF\xFF\r\n";
    std::string compressed(64, '\0');
    uLongf size = compressed.size();
    compress(reinterpret_cast<Bytef*>(compressed.data()), &size,
             reinterpret_cast<const Bytef*>(plain.data()), plain.size());
    compressed.resize(size);
    const std::string start = "\xFF\xFB\x56\xFF\xFA\x56\xFF\xF0";
    struct Case {
        std::string game;
        bool compression;
        std::string client;
    };
    const Case cases[] = {
        {"a\xFF\xFD\x1F\xFF\xF9" "b", true, "a\xFF\xFD\x1F\xFF\xF9" "b"},
        {"\xFF\xFB\x55\xFF\xFD\x57x", true, "x"},
        {"\xFF\xFA\x18\xFF\xFF\xFF\xF0\xFF\xFA\x55zz\xFF\xF0y", true,
         "\xFF\xFA\x18\xFF\xFF\xFF\xF0y"},
        {"a" + start + compressed + "b", true, "a" + plain + "b"},
        {"a" + start + "b", false, "ab"},
        // A subnegotiation ended by another command; commands cut off by the end.
        {"\xFF\xFA\x18x\xFF\xF9\xFF\xFB", true, "\xFF\xFA\x18x\xFF\xF9\xFF\xFB"},
    };
    for (const Case& c : cases) {
        const TelnetReference reference = ReferenceClientStream(c.game, c.compression);
        EXPECT_FALSE(reference.unreadable);
        EXPECT_EQ(c.client, reference.to_client);
    }
    EXPECT_TRUE(ReferenceClientStream(start + "\x78\x9C\xFF\xFF", true).unreadable);
}

}  // namespace
}  // namespace brawlhue::fuzz
