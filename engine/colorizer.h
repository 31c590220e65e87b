// Picks the colour of one message: speech is never coloured, otherwise the first category of the
// cascade that holds decides.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/category_tables.h"
#include "engine/colour_codes.h"

namespace brawlhue {

struct CascadeRow {
    const CategoryTest* test;
    std::u16string_view foreground;
    std::u16string_view background;
    std::u16string_view attribute;
};

// Tried in this order; the first test that holds gives the colours. The names are handed to
// ApplyColor as written, which lowers them.
inline constexpr std::array<CascadeRow, 13> kCascade{{
    {&IsOwnHit, u"Cyan", u"Black", u"Bold"},
    {&IsOwnMiss, u"White", u"Black", u"Bold"},
    {&IsOwnSpecialHit, u"Cyan", u"Black", u"Bold"},
    {&IsOwnSpecialMiss, u"White", u"Black", u"Bold"},
    {&IsHitOnYou, u"Red", u"Black", u"Bold"},
    {&IsMissOnYou, u"Green", u"Black", u"Bold"},
    {&IsSpecialHitOnYou, u"Red", u"Black", u"Bold"},
    {&IsSpecialMissOnYou, u"Green", u"Black", u"Bold"},
    {&IsOwnWeave, u"Cyan", u"Black", u"Bold"},
    {&IsOwnWeaveFailure, u"White", u"Black", u"Bold"},
    {&IsWeaveOnYou, u"Red", u"Black", u"Bold"},
    {&IsSourceRestored, u"Green", u"Black", u"Bold"},
    {&IsSpecialEvent, u"Cyan", u"Green", u"Bold"},
}};

enum class MessageKind : std::uint8_t { kPlain, kSpeech, kCategory };

struct Classification {
    MessageKind kind;
    const CascadeRow* row;  // the deciding row for kCategory, otherwise null
};

// What the cascade makes of a message, whether or not colouring is on.
Classification ClassifyMessage(std::u16string_view message) noexcept;

// The coloured message, or nothing when the message stays as it is: colouring off (enabled is
// 0; any other value is on), speech, or no category. Allocates nothing.
std::optional<ColouredText> ColorizeLine(std::u16string_view message,
                                         std::int16_t enabled) noexcept;

}  // namespace brawlhue
