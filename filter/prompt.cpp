#include "filter/prompt.h"

#include <array>
#include <bit>
#include <cstdint>
#include <iterator>
#include <limits>

#include "engine/unit_search.h"
#include "filter/number_form.h"
#include "filter/prompt_forms.h"

namespace brawlhue {
namespace {

// For each unit a prompt can begin with, the openings that begin with it as bits of their
// places in kPromptOpenings, so that a line is compared only with those.
constexpr std::size_t kAsciiUnits = 128;
constexpr auto kOpeningsByFirstUnit = [] {
    static_assert(std::size(kPromptOpenings) <= 16);
    std::array<std::uint16_t, kAsciiUnits> openings{};
    for (std::size_t i = 0; i < std::size(kPromptOpenings); ++i) {
        openings[kPromptOpenings[i].front()] |= static_cast<std::uint16_t>(1u << i);
    }
    return openings;
}();

// The units a prompt can begin with: the first unit of each opening, "I" and the first unit of
// each bare prompt. Most lines begin with none of them and are let go after one lookup.
constexpr auto kMayBeginPrompt = [] {
    std::array<bool, kAsciiUnits> may{};
    for (std::size_t unit = 0; unit < kAsciiUnits; ++unit) {
        may[unit] = kOpeningsByFirstUnit[unit] != 0;
    }
    may[kNumberedOpening] = true;
    for (std::u16string_view bare : kBarePrompts) {
        may[bare.front()] = true;
    }
    return may;
}();

bool MayBeginPrompt(std::u16string_view line) noexcept {
    return !line.empty() && line.front() < kAsciiUnits && kMayBeginPrompt[line.front()];
}

// A loop, not memcmp: the openings are a few units long, shorter than a call.
inline bool StartsWith(std::u16string_view line, std::u16string_view start) noexcept {
    if (line.size() < start.size()) {
        return false;
    }
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (line[i] != start[i]) {
            return false;
        }
    }
    return true;
}

// The first " > " of the line: its ">" is far rarer in game text than its blanks, so the search
// looks for that and then checks the units on either side.
std::size_t FindTerminator(std::u16string_view line) noexcept {
    static_assert(kPromptTerminator == u" > ");
    for (std::size_t at = FindUnit(line, u'>', 1);
         at != std::u16string_view::npos && at + 1 < line.size();
         at = FindUnit(line, u'>', at + 1)) {
        if (line[at - 1] == u' ' && line[at + 1] == u' ') {
            return at - 1;
        }
    }
    return std::u16string_view::npos;
}

bool HasNumberedOpening(std::u16string_view line) noexcept {
    const std::size_t blank = line.find(kNumberEnd);
    // Position 1 of the blank would leave no room for the "I" before it.
    if (blank == std::u16string_view::npos || blank < 1) {
        return false;
    }
    return IsGeneralNumberForm(line.substr(1, blank - 1));
}

}  // namespace

bool IsPromptStart(std::u16string_view line) noexcept {
    if (!MayBeginPrompt(line)) {
        return false;
    }
    for (unsigned openings = kOpeningsByFirstUnit[line.front()]; openings != 0;
         openings &= openings - 1) {
        if (StartsWith(line, kPromptOpenings[std::countr_zero(openings)])) {
            return true;
        }
    }
    return line.front() == kNumberedOpening && HasNumberedOpening(line);
}

std::int32_t PromptLength(std::u16string_view line) noexcept {
    if (!MayBeginPrompt(line)) {
        return 0;
    }
    if (IsPromptStart(line)) {
        if (StartsWith(line.substr(1), kPagerText)) {
            return static_cast<std::int32_t>(1 + kPagerText.size());
        }
        const std::size_t terminator = FindTerminator(line);
        if (terminator == std::u16string_view::npos) {
            return 0;
        }
        // The prompt runs to the blank behind ">". A terminator past what 32 bits can count
        // cannot be reported; such a line is left whole rather than cut at a wrong place.
        const std::size_t length = terminator + kPromptTerminator.size();
        if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return 0;
        }
        return static_cast<std::int32_t>(length);
    }
    for (std::u16string_view bare : kBarePrompts) {
        if (StartsWith(line, bare)) {
            return static_cast<std::int32_t>(bare.size());
        }
    }
    return 0;
}

std::u16string_view GetNonPrompt(std::u16string_view line) noexcept {
    // Each pass removes one prompt of at least two units by moving the view's start; the scans
    // inside PromptLength stop at the first terminator, so the whole strip reads the line about
    // once.
    for (std::int32_t n = PromptLength(line); n != 0; n = PromptLength(line)) {
        line.remove_prefix(static_cast<std::size_t>(n));
    }
    return line;
}

}  // namespace brawlhue
