// The palettes a player chooses from: each gives the five outcomes their looks, as colour and
// attribute names in the form the cascade's rows use. "classic" is the cascade's own colours,
// the default everywhere; "colourblind" keeps every two of the six looks (plain text and the
// five outcomes) apart for protan, deutan and tritan vision as well as for normal vision, with
// each look's text still readable on its background (contrast/ measures both).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/colour_codes.h"
#include "engine/outcome.h"

namespace brawlhue {

struct PaletteLook {
    std::u16string_view foreground;
    std::u16string_view background;
    std::u16string_view attribute;
};

struct Palette {
    std::u16string_view name;
    // In the order of Outcome.
    std::array<PaletteLook, kOutcomeCount> looks;
};

// Names are lower case ASCII; players may type them in any case. The first is the default.
inline constexpr std::array<Palette, 2> kPalettes{{
    {u"classic",
     {{
         {u"Cyan", u"Black", u"Bold"},
         {u"White", u"Black", u"Bold"},
         {u"Red", u"Black", u"Bold"},
         {u"Green", u"Black", u"Bold"},
         {u"Cyan", u"Green", u"Bold"},
     }}},
    {u"colourblind",
     {{
         {u"Cyan", u"Blue", u"Bold"},
         {u"Black", u"White", u""},
         {u"Yellow", u"Red", u"Bold"},
         {u"Magenta", u"Black", u"Bold"},
         {u"Red", u"Black", u"Bold"},
     }}},
}};

using PaletteIndex = std::uint8_t;
inline constexpr PaletteIndex kClassicPalette = 0;
inline constexpr PaletteIndex kNoPalette = 0xFF;
static_assert(kPalettes.size() < kNoPalette);

// The palette with the name, letter case ignored; kNoPalette when there is none. Blanks are
// part of the name: the caller trims.
constexpr PaletteIndex FindPalette(std::u16string_view name) noexcept {
    for (std::size_t index = 0; index < kPalettes.size(); ++index) {
        if (colour_detail::EqualsLowered(name, kPalettes[index].name)) {
            return static_cast<PaletteIndex>(index);
        }
    }
    return kNoPalette;
}

// The palettes' names in order, as the programs' usage errors list them: "classic, colourblind".
inline std::string PaletteNameList() {
    std::string names;
    for (const Palette& palette : kPalettes) {
        names += names.empty() ? "" : ", ";
        names.append(palette.name.begin(), palette.name.end());  // ASCII
    }
    return names;
}

constexpr ColourSequence PaletteSequence(PaletteIndex palette, Outcome outcome) noexcept {
    const PaletteLook& look = kPalettes[palette].looks[IndexOf(outcome)];
    return BuildColourSequence(look.foreground, look.background, look.attribute);
}

}  // namespace brawlhue
