#include "contrast/palette_contrast.h"

#include <algorithm>
#include <cstdio>

namespace brawlhue::contrast {
namespace {

double Difference(Rgb first, Rgb second, Vision vision) noexcept {
    return Ciede2000(ToLab(first, vision), ToLab(second, vision));
}

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Ascii(std::u16string_view name) {
    return {name.begin(), name.end()};  // palette names are ASCII
}

}  // namespace

std::array<Look, kLookCount> LooksOf(PaletteIndex palette, const TerminalColours& terminal) {
    std::array<Look, kLookCount> looks{};
    looks[0] = PlainLook(terminal);
    for (std::size_t outcome = 0; outcome < kOutcomeCount; ++outcome) {
        looks[outcome + 1] =
            LookOf(PaletteSequence(palette, static_cast<Outcome>(outcome)).view(), terminal);
    }
    return looks;
}

double LookDifference(const Look& first, const Look& second, Vision vision) noexcept {
    return std::max(Difference(first.foreground, second.foreground, vision),
                    Difference(first.background, second.background, vision));
}

LookPair ClosestLooks(PaletteIndex palette, const TerminalColours& terminal, Vision vision) {
    const std::array<Look, kLookCount> looks = LooksOf(palette, terminal);
    LookPair closest{1e9, 0, 0};
    for (std::size_t first = 0; first < kLookCount; ++first) {
        for (std::size_t second = first + 1; second < kLookCount; ++second) {
            const double difference = LookDifference(looks[first], looks[second], vision);
            if (difference < closest.difference) {
                closest = {difference, first, second};
            }
        }
    }
    return closest;
}

Legibility LeastLegibleLook(PaletteIndex palette, const TerminalColours& terminal) {
    const std::array<Look, kLookCount> looks = LooksOf(palette, terminal);
    Legibility least{1e9, 0, 1e9, 0};
    for (std::size_t look = 1; look < kLookCount; ++look) {
        const double ratio = ContrastRatio(looks[look].foreground, looks[look].background);
        if (ratio < least.ratio) {
            least.ratio = ratio;
            least.outcome_of_ratio = look;
        }
        for (const VisionName& vision : kVisions) {
            const double difference =
                Difference(looks[look].foreground, looks[look].background, vision.vision);
            if (difference < least.difference) {
                least.difference = difference;
                least.outcome = look;
            }
        }
    }
    return least;
}

std::string ContrastTables() {
    std::string table =
        "The two looks a player could most easily confuse, and their CIEDE2000 difference "
        "(the larger of their text colours' and their backgrounds' differences):\n\n"
        "| palette | colours |";
    for (const VisionName& vision : kVisions) {
        table += " ";
        table += vision.name;
        table += " |";
    }
    table += "\n|---|---|";
    for (std::size_t column = 0; column < kVisions.size(); ++column) {
        table += "---|";
    }
    table += "\n";
    for (std::size_t palette = 0; palette < kPalettes.size(); ++palette) {
        for (const TerminalColours* terminal : kTerminals) {
            table +=
                "| " + Ascii(kPalettes[palette].name) + " | " + std::string(terminal->name) + " |";
            for (const VisionName& vision : kVisions) {
                const LookPair pair =
                    ClosestLooks(static_cast<PaletteIndex>(palette), *terminal, vision.vision);
                table += " **" + OneDecimal(pair.difference) + "** " +
                         std::string(kLookNames[pair.first]) + " / " +
                         std::string(kLookNames[pair.second]) + " |";
            }
            table += "\n";
        }
    }
    table +=
        "\nThe text that stands out least from its own background: its CIEDE2000 difference "
        "under any of the four visions, and the least WCAG contrast ratio:\n\n"
        "| palette | colours | least difference | least contrast ratio |\n|---|---|---|---|\n";
    for (std::size_t palette = 0; palette < kPalettes.size(); ++palette) {
        for (const TerminalColours* terminal : kTerminals) {
            const Legibility least =
                LeastLegibleLook(static_cast<PaletteIndex>(palette), *terminal);
            table += "| " + Ascii(kPalettes[palette].name) + " | " + std::string(terminal->name) +
                     " | " + OneDecimal(least.difference) + " " +
                     std::string(kLookNames[least.outcome]) + " | " + OneDecimal(least.ratio) +
                     " " + std::string(kLookNames[least.outcome_of_ratio]) + " |\n";
        }
    }
    return table;
}

}  // namespace brawlhue::contrast
