// The colour science behind the palettes, and the palettes measured with it.
#include <gtest/gtest.h>

#include <string>

#include "contrast/palette_contrast.h"

namespace brawlhue::contrast {
namespace {

// Sharma, Wu and Dalal (2005), table 1: pairs that exercise every branch of the formula.
TEST(ColourScience, Ciede2000MatchesThePublishedPairs) {
    struct Pair {
        Lab first;
        Lab second;
        double difference;
    };
    const Pair pairs[] = {
        {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
        {{50, 0, 0}, {50, -1, 2}, 2.3669},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0009}, 7.1792},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0011}, 7.2195},
        {{50, -0.001, 2.49}, {50, 0.0011, -2.49}, 4.7461},
        {{50, 2.5, 0}, {73, 25, -18}, 27.1492},
        {{50, 2.5, 0}, {58, 24, 15}, 19.4535},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
        {{22.7233, 20.0904, -46.694}, {23.0331, 14.973, -42.5619}, 2.0373},
    };
    for (const Pair& pair : pairs) {
        EXPECT_NEAR(Ciede2000(pair.first, pair.second), pair.difference, 1e-4);
        EXPECT_NEAR(Ciede2000(pair.second, pair.first), pair.difference, 1e-4);
    }
}

// Each deficiency's matrix keeps greys grey: every row of it sums to one.
TEST(ColourScience, EveryVisionSeesGreysAsGreys) {
    for (const VisionName& vision : kVisions) {
        for (const std::uint8_t level : {0, 64, 128, 229, 255}) {
            const Rgb grey{level, level, level};
            const Rgb seen = Simulate(grey, vision.vision);
            EXPECT_NEAR(seen.red, level, 1) << vision.name;
            EXPECT_NEAR(seen.green, level, 1) << vision.name;
            EXPECT_NEAR(seen.blue, level, 1) << vision.name;
            EXPECT_NEAR(ToLab(grey, vision.vision).a, 0, 0.5) << vision.name;
        }
    }
    EXPECT_NEAR(ToLab({255, 255, 255}).lightness, 100, 0.01);
    EXPECT_NEAR(ContrastRatio({255, 255, 255}, {0, 0, 0}), 21, 0.01);
    EXPECT_NEAR(ContrastRatio({118, 118, 118}, {255, 255, 255}), 4.54, 0.01);
}

TEST(ColourScience, SequencesGiveTheLookAClientShows) {
    struct Case {
        std::u16string_view sequence;
        Rgb foreground;
        Rgb background;
    };
    const Case cases[] = {
        {u"\x1b[0m", {229, 229, 229}, {0, 0, 0}},
        {u"\x1b[36;40;1m", {0, 255, 255}, {0, 0, 0}},
        {u"\x1b[36;42;1m", {0, 255, 255}, {0, 205, 0}},
        {u"\x1b[30;47m", {0, 0, 0}, {229, 229, 229}},
        {u"\x1b[1;31;7m", {0, 0, 0}, {255, 0, 0}},
        {u"\x1b[31;1;22;44m", {205, 0, 0}, {0, 0, 238}},
        {u"\x1b[32;39;49;1m", {229, 229, 229}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        const Look look = LookOf(c.sequence, kXterm);
        EXPECT_EQ(look.foreground, c.foreground);
        EXPECT_EQ(look.background, c.background);
    }
}

// Figures measured independently on the classic palette with xterm's colours.
TEST(PaletteContrast, ClassicPaletteMeasuresAsReported) {
    const std::array<Look, kLookCount> looks = LooksOf(kClassicPalette, kXterm);
    const auto between = [&](std::size_t first, std::size_t second, Vision vision) {
        return LookDifference(looks[first], looks[second], vision);
    };
    EXPECT_NEAR(between(0, 2, Vision::kNormal), 5.4, 0.05);  // plain / your failures
    EXPECT_NEAR(between(1, 2, Vision::kProtan), 6.6, 0.05);  // your hits / your failures
    EXPECT_NEAR(between(0, 1, Vision::kDeutan), 13.2, 0.05);
    EXPECT_NEAR(between(1, 4, Vision::kTritan), 9.3, 0.05);  // your hits / misses on you
    const LookPair closest = ClosestLooks(kClassicPalette, kXterm, Vision::kNormal);
    EXPECT_EQ(closest.first, 0u);
    EXPECT_EQ(closest.second, 2u);
}

// A palette made for colour-blind players keeps every two of its six looks at least 20 apart
// for every vision, with every client's colours, and each look's text readable on its own
// background.
TEST(PaletteContrast, EveryPaletteButClassicKeepsItsLooksApart) {
    for (std::size_t palette = 0; palette < kPalettes.size(); ++palette) {
        if (palette == kClassicPalette) {
            continue;
        }
        const auto index = static_cast<PaletteIndex>(palette);
        for (const TerminalColours* terminal : kTerminals) {
            for (const VisionName& vision : kVisions) {
                const LookPair closest = ClosestLooks(index, *terminal, vision.vision);
                EXPECT_GE(closest.difference, 20)
                    << std::string(kPalettes[palette].name.begin(), kPalettes[palette].name.end())
                    << " on " << terminal->name << ", " << vision.name << ": "
                    << kLookNames[closest.first] << " / " << kLookNames[closest.second];
            }
            const Legibility least = LeastLegibleLook(index, *terminal);
            EXPECT_GE(least.difference, 30) << terminal->name;
            EXPECT_GE(least.ratio, 4.5) << terminal->name;
        }
    }
}

}  // namespace
}  // namespace brawlhue::contrast
