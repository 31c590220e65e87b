// Picks the colour of one message: speech is never coloured, otherwise the first category of the
// cascade that holds decides.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/category_tables.h"
#include "engine/colour_codes.h"
#include "engine/outcome.h"
#include "engine/palettes.h"

namespace brawlhue {

struct CascadeRow {
    const CategoryTest* test;
    std::u16string_view foreground;
    std::u16string_view background;
    std::u16string_view attribute;
    // The look the row shares with the rows of the same outcome in every palette.
    Outcome outcome;
};

// Tried in this order; the first test that holds gives the colours. The names are handed to
// ApplyColor as written, which lowers them; they are the classic palette's look for the row's
// outcome (checked where the openings are built).
inline constexpr std::array<CascadeRow, 13> kCascade{{
    {&IsOwnHit, u"Cyan", u"Black", u"Bold", Outcome::kOwnSuccess},
    {&IsOwnMiss, u"White", u"Black", u"Bold", Outcome::kOwnFailure},
    {&IsOwnSpecialHit, u"Cyan", u"Black", u"Bold", Outcome::kOwnSuccess},
    {&IsOwnSpecialMiss, u"White", u"Black", u"Bold", Outcome::kOwnFailure},
    {&IsHitOnYou, u"Red", u"Black", u"Bold", Outcome::kLandsOnYou},
    {&IsMissOnYou, u"Green", u"Black", u"Bold", Outcome::kMissesYou},
    {&IsSpecialHitOnYou, u"Red", u"Black", u"Bold", Outcome::kLandsOnYou},
    {&IsSpecialMissOnYou, u"Green", u"Black", u"Bold", Outcome::kMissesYou},
    {&IsOwnWeave, u"Cyan", u"Black", u"Bold", Outcome::kOwnSuccess},
    {&IsOwnWeaveFailure, u"White", u"Black", u"Bold", Outcome::kOwnFailure},
    {&IsWeaveOnYou, u"Red", u"Black", u"Bold", Outcome::kLandsOnYou},
    {&IsSourceRestored, u"Green", u"Black", u"Bold", Outcome::kMissesYou},
    {&IsSpecialEvent, u"Cyan", u"Green", u"Bold", Outcome::kSpecialEvent},
}};

enum class MessageKind : std::uint8_t { kPlain, kSpeech, kCategory };

struct Classification {
    MessageKind kind;
    const CascadeRow* row;  // the deciding row for kCategory, otherwise null
};

// What the cascade makes of a message, whether or not colouring is on.
Classification ClassifyMessage(std::u16string_view message) noexcept;

// How a player has coloured messages shown: the palette, and whether each begins with its
// spoken tag. The default is the cascade's own colours without tags.
struct Appearance {
    PaletteIndex palette = kClassicPalette;
    bool tags = false;

    friend constexpr bool operator==(Appearance, Appearance) = default;
};

// The opening of a message of the outcome: the palette's colour sequence, then with tags the
// outcome's spoken tag and its separator.
MessageOpening OpeningFor(Outcome outcome, Appearance appearance) noexcept;

// The coloured message, or nothing when the message stays as it is: colouring off (enabled is
// 0; any other value is on), speech, or no category. Allocates nothing.
std::optional<ColouredText> ColorizeLine(std::u16string_view message, std::int16_t enabled,
                                         Appearance appearance = {}) noexcept;

}  // namespace brawlhue
