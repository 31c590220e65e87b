// Parse end to end: a coloured line is rebuilt in place behind the reset sequence and its prompts,
// anything else is left exactly as it came.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "filter/line_filter.h"
#include "hosted_plugin.h"

namespace brawlhue::testing {
namespace {

class ParseTest : public HostedPluginTest {};

struct ParseCase {
    std::u16string_view line;
    std::optional<std::u16string> rebuilt;  // nothing: left untouched
};

TEST_F(ParseTest, RebuildsOnlyColouredLines) {
    const SessionId session = host_.OpenSession(1);
    ASSERT_EQ(S_OK, plugin_->OnConnect(1));  // a first connect switches colouring on
    host_.ResetCalls();
    // Units pass through as they are, paired surrogates or not.
    const std::u16string odd_prompt = u"* HP:\U0001F600\xD800 > ";
    const std::u16string odd_message = u"You hit the \U0001F409\xDC00's head \xD83D";
    const std::u16string odd_line = odd_prompt + odd_message;
    const ParseCase cases[] = {
        {kOwnHit, RebuiltOwnHit(u"", kOwnHit)},
        {u"> You hit the troll's head", RebuiltOwnHit(u"> ", kOwnHit)},
        {u"* HP:12 > ] You hit the troll's head", RebuiltOwnHit(u"* HP:12 > ] ", kOwnHit)},
        {odd_line, RebuiltOwnHit(odd_prompt, odd_message)},
        {u"> ", std::nullopt},
        {u"", std::nullopt},
        {u"Bob says 'the guard hits your arm'", std::nullopt},
        {u"The room is quiet.", std::nullopt},
    };
    for (const ParseCase& test : cases) {
        for (VARIANT_BOOL is_prompt : {VARIANT_FALSE, VARIANT_TRUE}) {
            SCOPED_TRACE(std::string(test.line.begin(), test.line.end()));
            BSTR line = Text(test.line).release();
            const BSTR passed = line;
            LONG gag = 4321;
            VARIANT_BOOL update = 5;
            ASSERT_EQ(S_OK, plugin_->Parse(1, &line, is_prompt, &gag, &update));
            EXPECT_EQ(4321, gag);
            if (test.rebuilt) {
                EXPECT_EQ(VARIANT_TRUE, update);
                EXPECT_EQ(*test.rebuilt, com::TextOf(line));
            } else {
                EXPECT_EQ(VARIANT_FALSE, update);
                EXPECT_EQ(passed, line);
                EXPECT_EQ(test.line, com::TextOf(line));
            }
            ::SysFreeString(line);
        }
    }
    EXPECT_EQ(0u, host_.TotalCallCount());
    EXPECT_TRUE(TakeShown(session).size() == 1) << "the banner only";
}

// With every palette and tags choice, Parse answers as the engine's own line filter does: each
// outcome, behind prompts or not, and the lines that stay as they are.
TEST_F(ParseTest, RebuildsWithTheChosenAppearanceAsTheEngineDoes) {
    const std::u16string_view lines[] = {
        u"> You slash a Trolloc's body very hard.",
        u"o HP:Scratched SP:Full MV:Fresh > You try to hit a Trolloc, but your blade only finds "
        u"air.",
        u"* HP:Healthy SP:Full MV:Fresh > A Trolloc slashes your left leg hard.",
        u"A Trolloc fails to hit you.",
        u"A column of stone stands here covered in odd carvings.",
        u"Lan says 'You hit the troll's head'",
        u"The room is quiet.",
        u"> ",
    };
    for (const bool colouring : {true, false}) {
        for (const Appearance appearance : kEveryAppearance) {
            SetColouring(colouring);
            SetAppearance(appearance);
            for (const std::u16string_view line : lines) {
                SCOPED_TRACE(std::string(line.begin(), line.end()));
                const std::optional<RebuiltLine> rebuilt =
                    FilterLine(line, colouring ? -1 : 0, appearance);
                EXPECT_EQ(rebuilt ? rebuilt->ToString() : std::u16string(line), Parsed(line));
            }
        }
    }
}

TEST_F(ParseTest, LeavesEveryLineWhileColouringIsOff) {
    for (bool connected : {false, true}) {
        if (connected) {
            SetColouring(false);
        }
        BSTR line = Text(u"> You hit the troll's head").release();
        const BSTR passed = line;
        LONG gag = -1;
        VARIANT_BOOL update = VARIANT_TRUE;
        ASSERT_EQ(S_OK, plugin_->Parse(0, &line, VARIANT_FALSE, &gag, &update));
        EXPECT_EQ(VARIANT_FALSE, update);
        EXPECT_EQ(passed, line);
        EXPECT_EQ(-1, gag);
        ::SysFreeString(line);
    }
}

TEST_F(ParseTest, TakesANullLineAsEmpty) {
    SetColouring(true);
    BSTR line = nullptr;
    LONG gag = 0;
    VARIANT_BOOL update = VARIANT_TRUE;
    ASSERT_EQ(S_OK, plugin_->Parse(0, &line, VARIANT_FALSE, &gag, &update));
    EXPECT_EQ(nullptr, line);
    EXPECT_EQ(VARIANT_FALSE, update);
}

TEST_F(ParseTest, FailsWithoutPlacesForTheLine) {
    SetColouring(true);
    BSTR line = Text(kOwnHit).release();
    const BSTR passed = line;
    LONG gag = 0;
    VARIANT_BOOL update = 3;
    EXPECT_EQ(E_POINTER, plugin_->Parse(0, nullptr, VARIANT_FALSE, &gag, &update));
    EXPECT_EQ(3, update);
    EXPECT_EQ(E_POINTER, plugin_->Parse(0, &line, VARIANT_FALSE, &gag, nullptr));
    EXPECT_EQ(passed, line);
    // DoGag is never read or written, so it may point nowhere.
    EXPECT_EQ(S_OK, plugin_->Parse(0, &line, VARIANT_FALSE, nullptr, &update));
    EXPECT_EQ(VARIANT_TRUE, update);
    ::SysFreeString(line);
}

}  // namespace
}  // namespace brawlhue::testing
