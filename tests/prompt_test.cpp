// Recognising and stripping the game's prompts at the start of a received line.
#include "filter/prompt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace brawlhue {
namespace {

constexpr std::u16string_view kPager = u" Press <Return> to continue, q to quit *>";

std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += c < 0x80 ? std::string(1, static_cast<char>(c))
                        : "\\u" + std::to_string(static_cast<unsigned>(c));
    }
    return out;
}

std::u16string Repeat(std::u16string_view part, std::size_t times) {
    std::u16string out;
    out.reserve(part.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        out += part;
    }
    return out;
}

std::u16string Cat(std::u16string_view a, std::u16string_view b, std::u16string_view c = u"") {
    return std::u16string(a) + std::u16string(b) + std::u16string(c);
}

// GetNonPrompt must hand back the end of the very line it was given.
bool IsTailOf(std::u16string_view tail, std::u16string_view line) {
    return tail.size() <= line.size() && tail.data() + tail.size() == line.data() + line.size();
}

TEST(IsPromptStart, OpeningsAreExactAndCaseSensitive) {
    struct Case {
        std::u16string_view line;
        bool prompt;
    };
    const Case cases[] = {
        {u"* ", true},
        {u"o ", true},
        {u"S ", true},
        {u"R ", true},
        {u" HP:", true},
        {u" R:", true},
        {u" S:", true},
        {u" SP:", true},
        {u" DP:", true},
        {u" MV:", true},
        {u" > ", true},
        {u"I5 ", true},
        {u"* HP:12", true},
        {u"R has arrived.", true},
        // One character off.
        {u"s ", false},
        {u"O ", false},
        {u"r ", false},
        {u"i5 ", false},
        {u" hp:", false},
        {u" Hp:", false},
        {u" r:", false},
        {u" s:", false},
        {u" sp:", false},
        {u" dP:", false},
        {u" mv:", false},
        {u" Mv:", false},
        {u" >", false},
        {u" >x", false},
        {u"  > ", false},
        {u"*", false},
        {u"o", false},
        {u"*x", false},
        {u"oo ", false},
        {u" HP", false},
        {u" HP :", false},
        {u"", false},
        {u" ", false},
        // The bare prompts are not openings.
        {u"> ", false},
        {u"] ", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsPromptStart(c.line), c.prompt) << '"' << Narrow(c.line) << '"';
    }
}

TEST(IsPromptStart, NumberAfterIMustComeBackUnchanged) {
    struct Case {
        std::u16string_view line;
        bool prompt;
    };
    const Case cases[] = {
        {u"I51 > You hit", true},
        {u"I-5 > You hit", true},
        {u"I0 > You hit", true},
        {u"I123456789012345 > x", true},
        {u"I-123456789012345 > x", true},
        {u"I1.5 > x", true},
        // The number ends at the first blank, wherever the terminator is.
        {u"I51 HP > x", true},
        {u"I51 ", true},
        {u"I051 > You hit", false},
        {u"I00 > x", false},
        {u"I+5 > x", false},
        {u"I-0 > x", false},
        {u"I1234567890123456 > x", false},
        {u"I1.50 > x", false},
        {u"I5a > x", false},
        {u"I > You hit", false},
        {u"Inside the room > x", false},
        {u"I51", false},
        {u"I", false},
        {u"I5\t > x", false},
        {u"I5> x", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsPromptStart(c.line), c.prompt) << '"' << Narrow(c.line) << '"';
    }
}

TEST(PromptLength, RunsToTheFirstTerminatorOrCoversThePager) {
    struct Case {
        std::u16string line;
        std::int32_t length;
    };
    const Case cases[] = {
        {u"", 0},
        {u"> ", 2},
        {u"] ", 2},
        {u"> You hit", 2},
        {u"] You hit", 2},
        {u">", 0},
        {u"]", 0},
        {u">x", 0},
        {u"]]", 0},
        {u" > You hit", 3},
        {u"* HP:12 > The orc flees.", 10},
        {u" HP:12 > x", 9},
        {u" R:3 > x", 7},
        {u" S:3 > x", 7},
        {u" SP:3 > x", 8},
        {u" DP:3 > x", 8},
        {u" MV:3 > x", 8},
        {u"S 12 > x", 7},
        {u"I51 > You hit", 6},
        {u"* > x", 4},
        // The first terminator ends the prompt, however far from the opening it stands.
        {u"* a > b > c", 6},
        {u"o I say > you win", 10},
        {Cat(u"* ", Repeat(u"x", 5000), u" > msg"), 5005},
        // Begins like a prompt but holds no terminator: no prompt, bare prompts or not.
        {u"R has arrived.", 0},
        {u"* > ", 4},
        {u"* ]  ", 0},
        // The pager stands behind any one of the first four openings' first characters.
        {Cat(u"*", kPager, u"The orc"), 42},
        {Cat(u"o", kPager, u"The orc"), 42},
        {Cat(u"S", kPager, u"The orc"), 42},
        {Cat(u"R", kPager, u"The orc"), 42},
        {Cat(u"*", kPager), 42},
        {Cat(u"*", kPager, u" > x"), 42},
        {std::u16string(kPager), 0},
        {Cat(u"x", kPager, u"The orc"), 0},
        {Cat(u"*", u" press <Return> to continue, q to quit *>", u"The orc"), 0},
        {Cat(u"*", kPager.substr(0, 40)), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PromptLength(c.line), c.length) << '"' << Narrow(c.line) << '"';
    }
}

TEST(GetNonPrompt, StripsEveryLeadingPrompt) {
    struct Case {
        std::u16string line;
        std::u16string_view message;
    };
    const Case cases[] = {
        {u"", u""},
        {u"> ", u""},
        {u"> > You hit", u"You hit"},
        {u"] You hit", u"You hit"},
        {u" > You hit", u"You hit"},
        {u"* HP:12 > The orc flees.", u"The orc flees."},
        {u"* HP:12 > * HP:12 > The orc flees.", u"The orc flees."},
        {u"> ] > ] x", u"x"},
        {u"> * HP:1 > x", u"x"},
        {u"* HP:1 > > x", u"x"},
        {u"* a > b > c", u"b > c"},
        {u"o I say > you win", u"you win"},
        {u"R has arrived.", u"R has arrived."},
        {u"]] x", u"]] x"},
        {u"s > x", u"s > x"},
        {u"O > x", u"O > x"},
        {u" hp:5 > x", u" hp:5 > x"},
        {u"I51 > You hit", u"You hit"},
        {u"I-5 > You hit", u"You hit"},
        {u"I051 > You hit", u"I051 > You hit"},
        {u"I > You hit", u"I > You hit"},
        {u"Inside the room > x", u"Inside the room > x"},
        {u"I51", u"I51"},
        {Cat(u"*", kPager, u"The orc"), u"The orc"},
        {Cat(u"*", kPager), u""},
        {Cat(u"*", kPager, u" > x"), u"x"},
        {std::u16string(kPager), kPager},
        {u"* \U0001F600 > \xD800x", u"\xD800x"},
        {u"\xD800 > x", u"\xD800 > x"},
    };
    for (const Case& c : cases) {
        const std::u16string_view message = GetNonPrompt(c.line);
        EXPECT_EQ(Narrow(message), Narrow(c.message)) << '"' << Narrow(c.line) << '"';
        EXPECT_TRUE(IsTailOf(message, c.line)) << '"' << Narrow(c.line) << '"';
    }
}

// Each pass removes one prompt; a long run of them must strip in about one read of the line.
TEST(GetNonPrompt, ThousandsOfPromptsInARow) {
    const std::u16string_view prompts[] = {u"> ", u"] ", u"* HP:1 > ", u"I5 > ", u" > "};
    for (std::u16string_view prompt : prompts) {
        const std::u16string line = Cat(Repeat(prompt, 200000), u"You hit");
        const std::u16string_view message = GetNonPrompt(line);
        EXPECT_EQ(Narrow(message), "You hit") << Narrow(prompt);
        EXPECT_TRUE(IsTailOf(message, line));
    }
    const std::u16string pagers = Cat(Repeat(Cat(u"R", kPager), 20000), u"x");
    EXPECT_EQ(Narrow(GetNonPrompt(pagers)), "x");
    // An opening repeated with no terminator anywhere is no prompt at all.
    const std::u16string openings = Repeat(u"* ", 200000);
    EXPECT_EQ(GetNonPrompt(openings).size(), openings.size());
}

TEST(GetNonPrompt, AlwaysReturnsATailOfItsInput) {
    const std::u16string_view fragments[] = {
        u"* ",   u"o ",   u"S ",     u"R ",         u" HP:", u" R:", u" S:", u" SP:",
        u" DP:", u" MV:", u" > ",    u"> ",         u"] ",   u"I",   u"I5 ", u"51",
        u"-",    u"0",    u" ",      u">",          u"]",    u"*",   u"x",   u"You hit",
        kPager,  u"12",   u"\xD800", u"\U0001F600", u".",    u"s ",
    };
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(fragments) - 1);
    std::uniform_int_distribution<int> count(0, 12);
    for (int round = 0; round < 20000; ++round) {
        std::u16string line;
        for (int n = count(random); n > 0; --n) {
            line += fragments[pick(random)];
        }
        const std::int32_t first = PromptLength(line);
        EXPECT_TRUE(first == 0 || (first >= 2 && static_cast<std::size_t>(first) <= line.size()))
            << '"' << Narrow(line) << "\" " << first;
        const std::u16string_view message = GetNonPrompt(line);
        ASSERT_TRUE(IsTailOf(message, line)) << '"' << Narrow(line) << '"';
        EXPECT_EQ(PromptLength(message), 0) << '"' << Narrow(line) << '"';
        EXPECT_EQ(message.size() == line.size(), first == 0) << '"' << Narrow(line) << '"';
    }
}

}  // namespace
}  // namespace brawlhue
