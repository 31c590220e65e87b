// The whole-line matcher and exact comparison that every category test is built on, and the
// compiled form the cascade runs, which must decide every case without "#" or "[" alike.
#include "engine/wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/compiled_entry.h"
#include "engine/unit_search.h"

namespace brawlhue {
namespace {

// For failure messages only: ASCII as is, anything else as "\x..".
std::string Show(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x" + std::to_string(static_cast<unsigned>(c));
        }
    }
    return out;
}

struct Case {
    std::u16string_view pattern;
    std::u16string_view line;
    bool fits;
};

void ExpectAll(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesPattern(c.line, Pattern(c.pattern)), c.fits)
            << "pattern \"" << Show(c.pattern) << "\" line \"" << Show(c.line) << "\"";
        if (c.pattern.find_first_of(u"#[") == std::u16string_view::npos) {
            const CompiledEntry compiled = compiled_detail::Compile(Entry{kPattern, c.pattern});
            EXPECT_EQ(MatchesCompiled(c.line, compiled), c.fits)
                << "compiled pattern \"" << Show(c.pattern) << "\" line \"" << Show(c.line) << "\"";
        }
    }
}

TEST(MatchesPattern, IsAnchoredAtBothEnds) {
    ExpectAll({
        {u"abc", u"abc", true},
        {u"abc", u"abcd", false},
        {u"abc", u"xabc", false},
        {u"abc", u"ab", false},
        {u"You fail to *.", u"You fail to hit the guard.", true},
        {u"You fail to *.", u"You fail to hit the guard. ", false},
        {u"You fail to *.", u"You fail to hit the guard", false},
        {u"You fail to *.", u"xYou fail to hit the guard.", false},
        // Nothing is trimmed or skipped: blanks, escapes and line ends all count.
        {u"abc", u"abc\r", false},
        {u"abc", u" abc", false},
        {u"a*b", u"a\x1b[0mb", true},
        {u"ab", u"a\x1b[0mb", false},
    });
}

TEST(MatchesPattern, StarsTakeAnyRunAnywhere) {
    ExpectAll({
        {u"* hit*", u"The guard hits you.", true},
        {u"* hit*", u" hit", true},
        {u"* hit*", u"The horse has a hitch.", true},
        {u"* hit*", u"hit him", false},
        {u"* hit*", u"The guard HITS you.", false},
        {u"* hit*", u"The guard\thits you.", false},
        {u"a*", u"a", true},
        {u"*a", u"ba", true},
        {u"*a", u"ab", false},
        {u"a*a", u"a", false},
        {u"a*a", u"aa", true},
        {u"**", u"xyz", true},
    });
}

TEST(MatchesPattern, LaterStarRetriesLongerRunsWhenAnEarlyChoiceFails) {
    ExpectAll({
        {u"*aab", u"aaab", true},
        {u"a*bc", u"abcbc", true},
        {u"*a*b*c", u"acb", false},
        {u"*a*b*c", u"xaybzc", true},
        {u"*ab*cd*", u"xabyabcdz", true},
        {u"*a*b", u"aaa", false},
        {u"You * at *, but * passes through it.",
         u"You swing at the wraith, but your blade passes through it.", true},
        {u"You * at *, but * passes through it.",
         u"You swing at the wraith, but miss, but your blade passes through it.", true},
        {u"You * at *, but * passes through it.",
         u"You swing at the wraith, but your blade passes through it. Again.", false},
        {u"Spikes of*ice form in your hands,*you launch *.",
         u"Spikes of jagged ice form in your hands, and you launch them at the orc.", true},
        {u"* says '*", u"Bob says 'Joe says 'hi''", true},
    });
}

// The compiled form looks for a run between stars by its rarest unit: these put that unit where
// the run does not fit, next to the line's ends, and in patterns with more runs than it prepares.
TEST(MatchesPattern, RunsAreFoundByTheirRarestUnit) {
    ExpectAll({
        {u"*'s head*", u"'s hea'd 's head", true},
        {u"*'s head*", u"'s hea'd 's hea", false},
        {u"*'s head*", u"'s head", true},
        {u"*'s head*", u"x's head", true},
        {u"*'s head*", u"''s head", true},
        {u"*'s head*", u"''s hea", false},
        {u"*?'s*", u"'s", false},
        {u"*?'s*", u"a's", true},
        {u"*'?*", u"x'", false},
        {u"*'?*", u"x'y", true},
        {u"*??*", u"ab", true},
        {u"*??*", u"a", false},
        {u"*????x*", u"abcdx", true},
        {u"a?bc?d", u"aXbcYd", true},
        {u"a?bc?d", u"aXbdYd", false},
        {u"a????b", u"a\xFFFF?@>b", true},
        {u"a?\x8000?b", u"a\x803F\x8000?b", true},
        {u"a?\x8000?b", u"a\x803F\x803F?b", false},
        {u"*a*b*c*d*", u"xaxbxcxdx", true},
        {u"*a*b*c*d*", u"xaxbxdxcx", false},
        {u"*a*b*c*d*e", u"abcde", true},
        {u"*a*b*c*d*e", u"abcdd", false},
        {u"You *'s *, and * you*", u"You slash the orc's arm, and it hits you hard", true},
        {u"You *'s *, and * you*", u"You slash the orc's arm, and it hits yo", false},
    });
}

// A prefix, suffix or run of up to eight units is compared eight lanes at once where the line
// has room, a longer one eight at a time with an overlapping last step: lengths around eight,
// "?" in every kind of lane, a difference in the first and the last lane, and lines too short
// for the eight.
TEST(MatchesPattern, EightUnitsAtOnce) {
    ExpectAll({
        {u"abcdefgh*", u"abcdefgh", true},
        {u"abcdefgh*", u"abcdefgX", false},
        {u"abcdefgh*", u"Xbcdefgh and on", false},
        {u"abc?efg?*", u"abcXefgY and on", true},
        {u"abcdefghi*", u"abcdefghi", true},
        {u"abcdefghi*", u"abcdefghX", false},
        {u"abcdefghijklmnopq?*", u"abcdefghijklmnopqXY", true},
        {u"abcdefghijklmnopq?*", u"abcdefghiXklmnopqXY", false},
        {u"ab*", u"ab", true},
        {u"ab*", u"aX", false},
        {u"*gh", u"abcdefgh", true},
        {u"*gh", u"abcdefgX", false},
        {u"*?bcdefgh", u"bcdefgh", false},
        {u"*?bcdefgh", u"Xbcdefgh", true},
        {u"*?bcdefgh", u"0Xbcdefgh", true},
        {u"*abcdefghij", u"0abcdefghij", true},
        {u"*abcdefghij", u"0Xbcdefghij", false},
        {u"*b?d*", u"abcd", true},
        {u"*b?d*", u"abcX", false},
        {u"*'s head*", u"You cut the orc's head off.", true},
        {u"*'s head*", u"You cut the orc's hea", false},
        {u"*'s head*", u"You cut the orc's heXd and 's head", true},
        {u"*'s left arm!*", u"The orc's left arm! and more", true},
        {u"*'s left arm!*", u"The orc's left arX! or 's left arm!", true},
        {u"*'s left ?rm!*", u"The orc's left arX! or 's left Xrm!", true},
        {u"*'s left ?rm!*", u"The orc's left arX! or 's left Xrm", false},
    });
}

// Every place, every length around the four-unit steps of the search, and neighbours one
// above and one below the unit and with the top bit set, where a carry could mislead it.
TEST(FindUnit, FindsTheFirstPlaceAtOrAfterTheStart) {
    constexpr char16_t kSought = u'>';
    constexpr char16_t kNeighbours[] = {kSought - 1, kSought + 1, 0xFFFF, 0x8000 | kSought, 0};
    for (std::size_t size = 0; size <= 13; ++size) {
        for (std::size_t place = 0; place <= size; ++place) {  // place == size: not there
            for (char16_t neighbour : kNeighbours) {
                std::u16string text(size, neighbour);
                if (place < size) {
                    text[place] = kSought;
                }
                for (std::size_t from = 0; from <= size + 1; ++from) {
                    const std::size_t expected =
                        place < size && from <= place ? place : std::u16string_view::npos;
                    EXPECT_EQ(FindUnit(text, kSought, from), expected)
                        << "size " << size << " place " << place << " from " << from
                        << " neighbour " << static_cast<unsigned>(neighbour);
                }
            }
        }
    }
}

TEST(MatchesPattern, QuestionMarkTakesExactlyOneCharacter) {
    ExpectAll({
        {u"* wipes ??? boots in your face!", u"The thug wipes his boots in your face!", true},
        {u"* wipes ??? boots in your face!", u"The thug wipes their boots in your face!", false},
        {u"* wipes ??? boots in your face!", u"The thug wipes hers boots in your face!", false},
        {u"* wipes ??? boots in your face!", u"The thug wipes it boots in your face!", false},
        {u"a?c", u"a c", true},
        {u"a?c", u"a.c", true},
        {u"a?c", u"ac", false},
        {u"a?c", u"abbc", false},
        {u"?", u"", false},
        {u"???", u"a1!", true},
        // One character is one UTF-16 unit: a character outside the BMP takes two.
        {u"?", u"\U0001F600", false},
        {u"??", u"\U0001F600", true},
    });
}

TEST(MatchesPattern, WildcardCharactersInTheLineAreOrdinary) {
    ExpectAll({
        {u"a", u"*", false},
        {u"*", u"*", true},
        {u"ab", u"a*", false},
        {u"abc", u"a?c", false},
        {u"a?c", u"a*c", true},
        {u"a?c", u"a?c", true},
        {u"1", u"#", false},
        {u"a", u"[a]", false},
        {u"You fail to *.", u"You fail to *.", true},
    });
}

TEST(MatchesPattern, EmptyLineAndEmptyPattern) {
    ExpectAll({
        {u"", u"", true},
        {u"*", u"", true},
        {u"***", u"", true},
        {u"", u"a", false},
        {u"?", u"", false},
        {u"* hit*", u"", false},
        {u"*a*", u"", false},
    });
}

TEST(MatchesPattern, HashTakesOneAsciiDigit) {
    ExpectAll({
        {u"I#", u"I5", true},
        {u"I#", u"Ia", false},
        {u"I#", u"I", false},
        {u"##", u"12", true},
        {u"##", u"1", false},
        {u"#", u"/", false},
        {u"#", u":", false},
        {u"#", u"\u0665", false},  // ARABIC-INDIC DIGIT FIVE
        {u"*#", u"room 9", true},
    });
}

TEST(MatchesPattern, CharacterLists) {
    ExpectAll({
        {u"[abc]", u"b", true},
        {u"[abc]", u"d", false},
        {u"[abc]", u"ab", false},
        {u"[abc]", u"", false},
        {u"[a-c]", u"a", true},
        {u"[a-c]", u"b", true},
        {u"[a-c]", u"c", true},
        {u"[a-c]", u"d", false},
        {u"[a-c]", u"-", false},
        {u"[a-cx-z]", u"y", true},
        {u"[a-cx-z]", u"m", false},
        {u"[0-9][0-9]", u"42", true},
        {u"[!a-c]", u"d", true},
        {u"[!a-c]", u"b", false},
        {u"[!a]", u"", false},
        // A "-" at either end of the list, or behind the "!", stands for itself.
        {u"[-a]", u"-", true},
        {u"[-a]", u"a", true},
        {u"[-a]", u"b", false},
        {u"[a-]", u"-", true},
        {u"[a-]", u"a", true},
        {u"[a-]", u"b", false},
        {u"[!-a]", u"-", false},
        {u"[!-a]", u"b", true},
        // "[]" stands for no character at all.
        {u"[]", u"", true},
        {u"x[]y", u"xy", true},
        {u"x[]y", u"x y", false},
        {u"*[]", u"abc", true},
        {u"ab[]", u"ab", true},
        // A list is how wildcard characters are matched literally.
        {u"[*]", u"*", true},
        {u"[*]", u"a", false},
        {u"[?]", u"?", true},
        {u"[?]", u"a", false},
        {u"[#]", u"#", true},
        {u"[#]", u"1", false},
        {u"[[]", u"[", true},
        // "]" and "!" outside a list are ordinary.
        {u"]", u"]", true},
        {u"a]", u"a]", true},
        {u"!", u"!", true},
        // A "[" with no "]" after it is ordinary.
        {u"[", u"[", true},
        {u"a[b", u"a[b", true},
        {u"a[b", u"ab", false},
        {u"[*", u"[abc", true},
        // Lists inside a backtracking search.
        {u"*[ab]c", u"xacbc", true},
        {u"*[0-9]", u"abc7", true},
        {u"*[0-9]", u"abc7x", false},
        {u"[a-c]*", u"bxyz", true},
    });
}

// A "[" with no "]" after it is one ordinary unit, however many of them stand in a row; the
// matcher finds that out without rescanning the pattern at every step (the fuzzers' time limit
// guards the cost).
TEST(MatchesPattern, LongRunsOfUnclosedListsAreOrdinaryUnits) {
    constexpr std::size_t kRun = 3000;
    const std::u16string run(kRun, u'[');
    EXPECT_TRUE(MatchesPattern(run + u"x", Pattern(u"*" + run + u"x")));
    EXPECT_FALSE(MatchesPattern(run + u"y", Pattern(u"*" + run + u"x")));
    EXPECT_TRUE(MatchesPattern(u"ab" + run, Pattern(u"a?" + run)));
    // With a "]" behind them, the first "[" opens a list of the others: one unit, a "[".
    EXPECT_TRUE(MatchesPattern(u"ab[", Pattern(u"ab" + run + u"]")));
}

TEST(EqualsExactly, SameLengthAndSameUnitsOnly) {
    struct ExactCase {
        std::u16string_view text;
        std::u16string_view line;
        bool equal;
    };
    for (const ExactCase& c : {
             ExactCase{u"Ouch!", u"Ouch!", true},
             ExactCase{u"Ouch!", u"Ouch! ", false},
             ExactCase{u"Ouch!", u" Ouch!", false},
             ExactCase{u"Ouch!", u"ouch!", false},
             ExactCase{u"Ouch!", u"Ouch", false},
             ExactCase{u"Ouch!", u"", false},
             ExactCase{u"", u"", true},
             ExactCase{u"a*", u"abc", false},
             ExactCase{u"a*", u"a*", true},
             ExactCase{u"?", u"x", false},
         }) {
        EXPECT_EQ(EqualsExactly(c.line, ExactText(c.text)), c.equal)
            << "text \"" << Show(c.text) << "\" line \"" << Show(c.line) << "\"";
    }
}

}  // namespace
}  // namespace brawlhue
