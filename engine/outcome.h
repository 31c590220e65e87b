// The five outcomes the cascade's rows fall into, each shown in a look of its own: what the
// player does lands or fails, what is done to the player lands or fails, and special events.
// Plain text is the sixth look a player must tell them from.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brawlhue {

enum class Outcome : std::uint8_t {
    kOwnSuccess,    // your blows, special attacks and weaves that land
    kOwnFailure,    // your blows, special attacks and channelling that fail
    kLandsOnYou,    // blows, special attacks and weaves that land on you
    kMissesYou,     // attacks on you that fail, and your connection to the Source restored
    kSpecialEvent,  // the stone columns, drawing dangerously much power, ...
};

inline constexpr std::size_t kOutcomeCount = 5;

constexpr std::size_t IndexOf(Outcome outcome) noexcept {
    return static_cast<std::size_t>(outcome);
}

}  // namespace brawlhue
