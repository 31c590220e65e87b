// The answer to one received line: split off the prompts, colour the message, rebuild the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/colorizer.h"
#include "engine/colour_codes.h"

namespace brawlhue {

// A received line whose message was coloured: the reset sequence, the prompt part unchanged,
// then the coloured message. It refers to the received line; the caller builds the text once,
// in whatever storage it needs.
struct RebuiltLine {
    std::u16string_view prompt;
    ColouredText message;

    std::size_t size() const noexcept {
        return kResetSequence.size() + prompt.size() + message.size();
    }
    // Writes size() units at out and returns the end of what was written.
    char16_t* CopyTo(char16_t* out) const noexcept;
    std::u16string ToString() const;
};

// The rebuilt line, or nothing when the line stays exactly as received (the update flag is
// whether there is a result). enabled is the colouring flag: 0 off, any other value on; the
// appearance picks the palette and the spoken tags. Allocates nothing.
std::optional<RebuiltLine> FilterLine(std::u16string_view line, std::int16_t enabled,
                                      Appearance appearance = {}) noexcept;

}  // namespace brawlhue
