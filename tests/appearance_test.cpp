// Palettes and spoken tags: the default stays the cascade's own output, every other choice only
// changes the opening of a line that is coloured anyway, and the command words that pick them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "bench/corpus.h"
#include "command/plugin_command_text.h"
#include "engine/palettes.h"
#include "filter/line_filter.h"

namespace brawlhue {
namespace {

std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += c == 0x1b ? std::string("ESC") : std::string(1, static_cast<char>(c));
    }
    return out;
}

// The outcome's tag, told by the classic colour alone: in the classic palette the five
// outcomes have five different sequences.
std::u16string_view TagOfClassicOpening(std::u16string_view opening) {
    struct Known {
        std::u16string_view opening;
        std::u16string_view tag;
    };
    static constexpr Known kKnown[] = {
        {u"\x1b[36;40;1m", u"Hit"},  {u"\x1b[37;40;1m", u"Miss"},  {u"\x1b[31;40;1m", u"Ouch"},
        {u"\x1b[32;40;1m", u"Safe"}, {u"\x1b[36;42;1m", u"Event"},
    };
    for (const Known& known : kKnown) {
        if (known.opening == opening) {
            return known.tag;
        }
    }
    ADD_FAILURE() << "no outcome has the classic opening " << Narrow(opening);
    return {};
}

// Every line of the corpus, every choice: the line is coloured exactly when it is by default,
// and then only its opening differs: the palette's sequence for the same outcome, and with
// tags the outcome's word and ": " right after it, in front of the message.
TEST(Appearance, ChangesOnlyTheOpeningOfLinesColouredAnyway) {
    const std::u16string_view sequences[] = {
        // The colourblind sequences by outcome, as documented.
        u"\x1b[36;44;1m", u"\x1b[30;47m", u"\x1b[33;41;1m", u"\x1b[35;40;1m", u"\x1b[31;40;1m"};
    const std::u16string_view tags[] = {u"Hit", u"Miss", u"Ouch", u"Safe", u"Event"};
    const PaletteIndex colourblind = FindPalette(u"colourblind");
    ASSERT_NE(colourblind, kNoPalette);
    int coloured = 0;
    for (const std::u16string& line : bench::MakeCorpus({.lines = 4000})) {
        const std::optional<RebuiltLine> classic = FilterLine(line, -1);
        EXPECT_EQ(FilterLine(line, -1, Appearance{}).has_value(), classic.has_value());
        for (const PaletteIndex palette : {kClassicPalette, colourblind}) {
            for (const bool with_tags : {false, true}) {
                const std::optional<RebuiltLine> chosen =
                    FilterLine(line, -1, Appearance{palette, with_tags});
                ASSERT_EQ(chosen.has_value(), classic.has_value()) << Narrow(line);
                EXPECT_FALSE(FilterLine(line, 0, Appearance{palette, with_tags}));
                if (!classic) {
                    continue;
                }
                const std::u16string_view tag =
                    TagOfClassicOpening(classic->message.opening.view());
                std::size_t outcome = 0;
                while (outcome < std::size(tags) && tags[outcome] != tag) {
                    ++outcome;
                }
                std::u16string opening(palette == kClassicPalette ? classic->message.opening.view()
                                                                  : sequences[outcome]);
                if (with_tags) {
                    opening += std::u16string(tag) + u": ";
                }
                const std::u16string expected = u"\x1b[0m" + std::u16string(classic->prompt) +
                                                opening + std::u16string(classic->message.text) +
                                                u"\x1b[0m";
                EXPECT_EQ(Narrow(chosen->ToString()), Narrow(expected));
            }
        }
        coloured += classic ? 1 : 0;
    }
    EXPECT_GT(coloured, 400);  // the corpus is a fifth combat
}

TEST(Appearance, PaletteNamesIgnoreLetterCaseButNotBlanks) {
    EXPECT_EQ(FindPalette(u"classic"), kClassicPalette);
    EXPECT_EQ(FindPalette(u"ColourBlind"), FindPalette(u"colourblind"));
    EXPECT_EQ(FindPalette(u"colourblind "), kNoPalette);
    EXPECT_EQ(FindPalette(u""), kNoPalette);
}

// Which sub-command a text asks for, and what palette and tags answer. Texts whose first word is
// not palette or tags keep the answer of the plain substring search.
TEST(AppearanceCommand, PaletteAndTagsCountOnlyAsTheFirstWord) {
    const PaletteIndex colourblind = FindPalette(u"colourblind");
    const Appearance start{kClassicPalette, false};
    struct Case {
        std::u16string_view text;
        SubCommand sub_command;
        std::u16string_view answer;  // palette and tags only
        Appearance after;
    };
    const Case cases[] = {
        {u"off on", SubCommand::kOn, {}, {}},
        {u"colours", SubCommand::kNone, {}, {}},
        {u"help palette", SubCommand::kHelp, {}, {}},
        {u"tagsoff", SubCommand::kOff, {}, {}},
        {u"on tags off", SubCommand::kOn, {}, {}},
        {u"button", SubCommand::kOn, {}, {}},
        {u"", SubCommand::kNone, {}, {}},
        {u"palette", SubCommand::kPalette, u"Brawlhue: Palettes: classic (in use), colourblind.",
         start},
        {u"  PALETTE  ColourBlind ",
         SubCommand::kPalette,
         u"Brawlhue: Palette colourblind in use.",
         {colourblind, false}},
        {u"#brawlhue palette classic", SubCommand::kPalette, u"Brawlhue: Palette classic in use.",
         start},
        {u"palette rainbow", SubCommand::kPalette,
         u"Brawlhue: Unknown palette. Palettes: classic, colourblind.", start},
        {u"palette colourblind on", SubCommand::kPalette,
         u"Brawlhue: Unknown palette. Palettes: classic, colourblind.", start},
        {u"tags on", SubCommand::kTags, u"Brawlhue: Spoken tags on.", {kClassicPalette, true}},
        {u"#BrawlHue\tTags OFF", SubCommand::kTags, u"Brawlhue: Spoken tags off.", start},
        {u"tags", SubCommand::kTags,
         u"Brawlhue: Spoken tags are off; use '#brawlhue tags on' or '#brawlhue tags off'.", start},
        {u"tags on off", SubCommand::kTags,
         u"Brawlhue: Spoken tags are off; use '#brawlhue tags on' or '#brawlhue tags off'.", start},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        const ParsedCommand parsed = ParseCommand(c.text);
        EXPECT_EQ(parsed.sub_command, c.sub_command);
        if (c.sub_command != SubCommand::kPalette && c.sub_command != SubCommand::kTags) {
            EXPECT_EQ(parsed.sub_command, FindSubCommand(c.text));
            continue;
        }
        const AppearanceAnswer answer = AnswerAppearanceCommand(parsed, start);
        EXPECT_EQ(Narrow(answer.text), Narrow(c.answer));
        EXPECT_EQ(answer.appearance, c.after);
        EXPECT_EQ(answer.palette_set, c.sub_command == SubCommand::kPalette &&
                                          c.answer.find(u" in use.") != std::u16string_view::npos);
        EXPECT_EQ(answer.tags_set, c.answer.ends_with(u"on.") || c.answer.ends_with(u"off."));
    }
}

}  // namespace
}  // namespace brawlhue
