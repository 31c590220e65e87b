// Table entries in a form prepared at compile time for fast rejection and matching: the anchored
// prefix and suffix of a pattern, the runs between its stars, and the least length a line needs.
// Derived from the tables by code, never written by hand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/category_tables.h"

namespace brawlhue {

// Up to eight units of a pattern laid out for one masked comparison with eight units of a line:
// `equal` holds the two mask bits (one per byte) of every lane that must be equal, leaving out
// "?" and the lanes the units do not fill. A comparison of a fixed width has one outcome to
// predict, where a loop over a short run of varying length mispredicts its exit.
struct EightUnits {
    static constexpr std::size_t kLanes = 8;
    std::array<char16_t, kLanes> lanes{};
    std::uint16_t equal = 0;
    bool fits = false;  // the units are eight or fewer

    // The units of text from offset, length of them, placed from lane `first`.
    static constexpr EightUnits Of(std::u16string_view text, std::size_t offset, std::size_t length,
                                   std::size_t first) {
        EightUnits eight;
        eight.fits = length <= kLanes;
        if (!eight.fits) {
            return eight;
        }
        for (std::size_t i = 0; i < length; ++i) {
            const char16_t c = text[offset + i];
            eight.lanes[first + i] = c;
            if (c != u'?') {
                eight.equal |= static_cast<std::uint16_t>(3u << (2 * (first + i)));
            }
        }
        return eight;
    }
};

// A run of a pattern's text between two stars, found in a line by its rarest unit.
struct InnerRun {
    std::uint16_t offset = 0;  // in the entry's text
    std::uint16_t length = 0;
    std::uint16_t anchor = 0;  // the place in the run of the unit searched for
    bool has_anchor = false;   // false when every unit of the run is "?"
    EightUnits eight{};        // the run from lane 0
};

struct CompiledEntry {
    // The tables' patterns have at most three stars, so at most two runs lie between them; the
    // runs of a longer pattern (compiled while running, as the fuzz targets do) past these are
    // read from the text when matching.
    static constexpr std::size_t kMaxInnerRuns = 2;

    std::u16string_view text;
    bool exact = false;
    std::uint16_t prefix_length = 0;  // units before the first "*" (all of them when none)
    std::uint16_t suffix_length = 0;  // units after the last "*"
    std::uint16_t min_length = 0;     // units that are not "*"
    bool has_star = false;
    std::uint8_t inner_run_count = 0;
    std::array<InnerRun, kMaxInnerRuns> inner_runs{};
    bool more_inner_runs = false;  // runs past those stored, read from the text
    EightUnits prefix{};           // from lane 0
    EightUnits suffix{};           // ending at lane 7
};

namespace compiled_detail {

// How unlikely a unit is in game text: a run is searched for by its rarest unit, so that few
// places need comparing in full.
constexpr int Rarity(char16_t c) {
    if (c == u' ') {
        return 0;
    }
    if (std::u16string_view(u"etaoinshrdlu").find(c) != std::u16string_view::npos) {
        return 1;
    }
    if (c >= u'a' && c <= u'z') {
        return 2;
    }
    if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
        return 3;
    }
    return 4;
}

constexpr bool IsWildcard(char16_t c) {
    return c == u'*' || c == u'?';
}

constexpr InnerRun CompileRun(std::u16string_view text, std::size_t offset, std::size_t length) {
    InnerRun run{static_cast<std::uint16_t>(offset), static_cast<std::uint16_t>(length)};
    run.eight = EightUnits::Of(text, offset, length, 0);
    int best = -1;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = text[offset + i];
        if (c != u'?' && Rarity(c) > best) {
            best = Rarity(c);
            run.anchor = static_cast<std::uint16_t>(i);
            run.has_anchor = true;
        }
    }
    return run;
}

// Hands visit each run between two stars of text from the star at `star` to the star at
// `last_star`, in order, until visit returns false; empty runs (two stars together) ask nothing
// of a line and are passed over. False when visit returned false.
template <typename Visit>
constexpr bool ForEachInnerRun(std::u16string_view text, std::size_t star, std::size_t last_star,
                               Visit&& visit) {
    while (star < last_star) {
        const std::size_t next = text.find(u'*', star + 1);
        if (next > star + 1 && !visit(CompileRun(text, star + 1, next - star - 1))) {
            return false;
        }
        star = next;
    }
    return true;
}

constexpr CompiledEntry Compile(const Entry& entry) {
    CompiledEntry compiled;
    const std::u16string_view text = entry.text;
    compiled.text = text;
    compiled.exact = entry.kind == kExact;
    const std::size_t first_star = compiled.exact ? std::u16string_view::npos : text.find(u'*');
    compiled.has_star = first_star != std::u16string_view::npos;
    if (compiled.has_star) {
        const std::size_t last_star = text.rfind(u'*');
        compiled.prefix_length = static_cast<std::uint16_t>(first_star);
        compiled.suffix_length = static_cast<std::uint16_t>(text.size() - 1 - last_star);
        compiled.prefix = EightUnits::Of(text, 0, compiled.prefix_length, 0);
        if (compiled.suffix_length <= EightUnits::kLanes) {
            compiled.suffix = EightUnits::Of(text, last_star + 1, compiled.suffix_length,
                                             EightUnits::kLanes - compiled.suffix_length);
        }
        ForEachInnerRun(text, first_star, last_star, [&compiled](const InnerRun& run) {
            if (compiled.inner_run_count == CompiledEntry::kMaxInnerRuns) {
                compiled.more_inner_runs = true;
                return false;
            }
            compiled.inner_runs[compiled.inner_run_count++] = run;
            return true;
        });
    } else {
        compiled.prefix_length = static_cast<std::uint16_t>(text.size());
    }
    for (char16_t c : text) {
        compiled.min_length += !compiled.exact && c == u'*' ? 0 : 1;
    }
    return compiled;
}

template <std::size_t N>
constexpr std::array<CompiledEntry, N> CompileAll(const Entry (&entries)[N]) {
    std::array<CompiledEntry, N> compiled{};
    for (std::size_t i = 0; i < N; ++i) {
        compiled[i] = Compile(entries[i]);
    }
    return compiled;
}

}  // namespace compiled_detail

// Whether a line fits the entry's text: for an exact entry the whole text, for a pattern the
// anchored prefix and suffix, then each run between stars at its first place after the last.
bool MatchesCompiled(std::u16string_view line, const CompiledEntry& entry) noexcept;

}  // namespace brawlhue
