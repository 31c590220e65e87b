#include "engine/compiled_entry.h"

#include <cstdint>
#include <cstring>

#include "engine/unit_search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brawlhue {
namespace {

// The lanes of four units that hold "?", all ones, the others zero. Exact in every lane, unlike
// the search's zero test, since a carry is kept out of each lane's top bit.
constexpr std::uint64_t QuestionMarkLanes(std::uint64_t quad) {
    constexpr std::uint64_t kLowBits = 0x7FFF7FFF7FFF7FFFu;
    constexpr std::uint64_t kTopBits = 0x8000800080008000u;
    const std::uint64_t other = quad ^ (0x0001000100010001u * u'?');
    const std::uint64_t nonzero = (((other & kLowBits) + kLowBits) | other) & kTopBits;
    return ((~nonzero & kTopBits) >> 15) * 0xFFFF;
}

// Equal over the whole of both, "?" in the pattern standing for any unit; eight units a step
// where the processor has SSE2 and the run has eight (the last step overlapping the one before),
// else four.
bool RunMatches(std::u16string_view line, std::u16string_view run) noexcept {
#if defined(__SSE2__)
    if (run.size() >= 8) {
        const __m128i any = _mm_set1_epi16(static_cast<short>(u'?'));
        auto eight_match = [&](std::size_t at) {
            const __m128i shown =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + at));
            const __m128i wanted =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(run.data() + at));
            const __m128i fits =
                _mm_or_si128(_mm_cmpeq_epi16(shown, wanted), _mm_cmpeq_epi16(wanted, any));
            return _mm_movemask_epi8(fits) == 0xFFFF;
        };
        for (std::size_t at = 0; at + 8 < run.size(); at += 8) {
            if (!eight_match(at)) {
                return false;
            }
        }
        return eight_match(run.size() - 8);
    }
#endif
    std::size_t i = 0;
    for (; i + 4 <= run.size(); i += 4) {
        const std::uint64_t wanted = LoadQuad(run.data() + i);
        const std::uint64_t differs = LoadQuad(line.data() + i) ^ wanted;
        if (differs != 0 && (differs & ~QuestionMarkLanes(wanted)) != 0) {
            return false;
        }
    }
    for (; i < run.size(); ++i) {
        if (run[i] != u'?' && run[i] != line[i]) {
            return false;
        }
    }
    return true;
}

// Whether the eight units at `at` hold the laid-out units: one comparison where the processor
// has SSE2 and the eight fit, else the run compared as it stands in the text.
inline bool EightMatch([[maybe_unused]] const char16_t* at,
                       [[maybe_unused]] const EightUnits& eight, std::u16string_view line,
                       std::u16string_view units) noexcept {
#if defined(__SSE2__)
    if (eight.fits) {
        const __m128i shown = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i wanted =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(eight.lanes.data()));
        const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(shown, wanted)));
        return (equal & eight.equal) == eight.equal;
    }
#endif
    return RunMatches(line, units);
}

// The first place at or after from where the run fits, or npos. Only the places where the run's
// anchor unit stands are compared in full.
std::size_t FindRun(std::u16string_view line, std::u16string_view text, const InnerRun& run,
                    std::size_t from) noexcept {
    if (from > line.size() || run.length > line.size() - from) {
        return std::u16string_view::npos;
    }
    const std::u16string_view units = text.substr(run.offset, run.length);
    if (!run.has_anchor) {
        return from;  // only "?": any place with room fits
    }
    // The anchor may stand where a place from `from` up to the last with room puts it.
    const std::u16string_view window = line.substr(0, line.size() - run.length + run.anchor + 1);
    const char16_t anchor = units[run.anchor];
    for (std::size_t at = FindUnit(window, anchor, from + run.anchor);
         at != std::u16string_view::npos; at = FindUnit(window, anchor, at + 1)) {
        const std::size_t start = at - run.anchor;
        const bool matches =
            start + EightUnits::kLanes <= line.size()
                ? EightMatch(line.data() + start, run.eight, line.substr(start), units)
                : RunMatches(line.substr(start, run.length), units);
        if (matches) {
            return at - run.anchor;
        }
    }
    return std::u16string_view::npos;
}

}  // namespace

bool MatchesCompiled(std::u16string_view line, const CompiledEntry& entry) noexcept {
    if (entry.exact) {
        // memcmp compares many units a step; char16_t's own compare goes unit by unit, and an
        // exact text is a whole message long.
        return line.size() == entry.text.size() &&
               (line.empty() ||
                std::memcmp(line.data(), entry.text.data(), line.size() * sizeof(char16_t)) == 0);
    }
    if (line.size() < entry.min_length) {
        return false;
    }
    if (!entry.has_star) {
        return line.size() == entry.text.size() && RunMatches(line, entry.text);
    }
    const std::u16string_view prefix = entry.text.substr(0, entry.prefix_length);
    const std::u16string_view suffix = entry.text.substr(entry.text.size() - entry.suffix_length);
    // With eight units in the line, the prefix from its start and the suffix up to its end
    // each take one comparison of eight.
    const bool eight_units = line.size() >= EightUnits::kLanes;
    const bool prefix_matches = eight_units ? EightMatch(line.data(), entry.prefix, line, prefix)
                                            : RunMatches(line, prefix);
    if (!prefix_matches) {
        return false;
    }
    const std::u16string_view end = line.substr(line.size() - suffix.size());
    const bool suffix_matches =
        eight_units
            ? EightMatch(line.data() + line.size() - EightUnits::kLanes, entry.suffix, end, suffix)
            : RunMatches(end, suffix);
    if (!suffix_matches) {
        return false;
    }
    // Between prefix and suffix, each run between two stars at its first place after the one
    // before: taking the first place never spoils a later run, so no other division needs trying.
    const std::u16string_view middle =
        line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
    std::size_t at = 0;
    auto place = [&](const InnerRun& run) {
        const std::size_t found = FindRun(middle, entry.text, run, at);
        if (found == std::u16string_view::npos) {
            return false;
        }
        at = found + run.length;
        return true;
    };
    for (std::size_t r = 0; r < entry.inner_run_count; ++r) {
        if (!place(entry.inner_runs[r])) {
            return false;
        }
    }
    if (entry.more_inner_runs) {
        // The runs after the stored ones, from the star behind the last of them.
        const InnerRun& stored = entry.inner_runs.back();
        const std::size_t last_star = entry.text.size() - entry.suffix_length - 1;
        return compiled_detail::ForEachInnerRun(entry.text, stored.offset + stored.length,
                                                last_star, place);
    }
    return true;
}

}  // namespace brawlhue
