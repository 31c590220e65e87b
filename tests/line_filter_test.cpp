// One received line in, the rebuilt line (or none) out.
#include "filter/line_filter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brawlhue {
namespace {

constexpr std::u16string_view kReset = u"\x1b[0m";
constexpr std::u16string_view kOwnHit = u"\x1b[36;40;1m";
constexpr std::int16_t kOn = -1;

std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c == 0x1b) {
            out += "ESC";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += "\\u" + std::to_string(static_cast<unsigned>(c));
        }
    }
    return out;
}

// Reset first, then the prompt part as received, then the message in its colour.
std::u16string Expected(std::u16string_view prompt, std::u16string_view opening,
                        std::u16string_view message) {
    std::u16string out(kReset);
    out += prompt;
    out += opening;
    out += message;
    out += kReset;
    return out;
}

TEST(FilterLine, ColouredMessageIsRebuiltBehindResetAndPrompt) {
    struct Case {
        std::u16string_view prompt;
        std::u16string_view message;
    };
    const Case cases[] = {
        {u"", u"You hit the troll's head"},
        {u"> ", u"You hit the troll's head"},
        {u"> > ", u"You hit the troll's head"},
        {u"* HP:12 > * HP:12 > ", u"You hit the troll's head"},
        {u"I51 > ", u"You hit the troll's head"},
        // Prompt and message with characters outside the BMP and lone surrogates.
        {u"* HP:\U0001F600\xD800 > ", u"You hit the \U0001F409\xDC00's head \xD83D"},
        {u"* \xDBFF > ", u"You hit the troll's head"},
    };
    for (const Case& c : cases) {
        const std::u16string line = std::u16string(c.prompt) + std::u16string(c.message);
        const std::optional<RebuiltLine> rebuilt = FilterLine(line, kOn);
        ASSERT_TRUE(rebuilt.has_value()) << Narrow(line);
        EXPECT_EQ(Narrow(rebuilt->prompt), Narrow(c.prompt));
        const std::u16string text = rebuilt->ToString();
        EXPECT_EQ(Narrow(text), Narrow(Expected(c.prompt, kOwnHit, c.message)));
        EXPECT_EQ(rebuilt->size(), text.size());

        std::vector<char16_t> buffer(rebuilt->size() + 1, u'#');
        EXPECT_EQ(rebuilt->CopyTo(buffer.data()), buffer.data() + rebuilt->size());
        EXPECT_EQ(std::u16string(buffer.data(), rebuilt->size()), text);
        EXPECT_EQ(buffer.back(), u'#');
    }
}

TEST(FilterLine, SpecialEventKeepsItsGreenBackgroundBehindThePrompt) {
    const std::u16string line = u"] A column of stone stands here covered in odd carvings.";
    const std::optional<RebuiltLine> rebuilt = FilterLine(line, kOn);
    ASSERT_TRUE(rebuilt.has_value());
    EXPECT_EQ(rebuilt->ToString(),
              Expected(u"] ", u"\x1b[36;42;1m",
                       u"A column of stone stands here covered in odd carvings."));
}

TEST(FilterLine, UncolouredLinesAreLeftUntouched) {
    struct Case {
        std::u16string_view line;
        std::int16_t enabled;
    };
    const Case cases[] = {
        {u"You hit the troll's head", 0},
        {u"> You hit the troll's head", 0},
        {u"> ", kOn},
        {u"> > ] ", kOn},
        {u"* HP:12 > ", kOn},
        {u"", kOn},
        {u"Bob says 'the guard hits your arm'", kOn},
        {u"> Bob says 'the guard hits your arm'", kOn},
        {u"The orc flees.", kOn},
        {u"> The orc flees.", kOn},
        // Only the message is classified: the whole line would be a hit on the user.
        {u"* The guard hits your arm > The orc flees.", kOn},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(FilterLine(c.line, c.enabled).has_value())
            << Narrow(c.line) << " enabled " << c.enabled;
    }
}

}  // namespace
}  // namespace brawlhue
