// How well a palette keeps its looks apart: for each vision and each client's colours, the two
// looks a player could most easily confuse, and how readable each look's text is on its own
// background. The documentation's table is written from here, never typed.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "contrast/colour_science.h"
#include "contrast/terminal_colours.h"
#include "engine/outcome.h"
#include "engine/palettes.h"

namespace brawlhue::contrast {

// Plain text, then the outcomes in their order.
inline constexpr std::size_t kLookCount = kOutcomeCount + 1;
inline constexpr std::array<std::string_view, kLookCount> kLookNames{
    "plain text", "your hits", "your failures", "hits on you", "misses on you", "special events",
};

std::array<Look, kLookCount> LooksOf(PaletteIndex palette, const TerminalColours& terminal);

// Two looks differ by the larger of their foregrounds' and their backgrounds' CIEDE2000, both
// as the vision sees them.
double LookDifference(const Look& first, const Look& second, Vision vision) noexcept;

struct LookPair {
    double difference;
    std::size_t first;  // indices into kLookNames
    std::size_t second;
};

// The pair of looks that differ least for the vision.
LookPair ClosestLooks(PaletteIndex palette, const TerminalColours& terminal, Vision vision);

struct Legibility {
    double difference;    // CIEDE2000 of text against its own background, under any vision
    std::size_t outcome;  // index into kLookNames
    double ratio;         // the least WCAG contrast ratio of text and background
    std::size_t outcome_of_ratio;
};

// The outcomes whose text stands out least from its background.
Legibility LeastLegibleLook(PaletteIndex palette, const TerminalColours& terminal);

// The documentation's tables, in Markdown.
std::string ContrastTables();

}  // namespace brawlhue::contrast
