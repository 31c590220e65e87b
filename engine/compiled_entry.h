// Table entries in a form prepared at compile time for fast rejection and matching: the anchored
// prefix and suffix of a pattern, the least length a line needs, and a few pairs of units that
// any matching line must contain. Derived from the tables by code, never written by hand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/bigram_mask.h"
#include "engine/category_tables.h"

namespace brawlhue {

struct CompiledEntry {
    static constexpr std::size_t kMaxKeys = 3;

    std::u16string_view text;
    bool exact = false;
    std::uint16_t prefix_length = 0;  // units before the first "*" (all of them when none)
    std::uint16_t suffix_length = 0;  // units after the last "*"
    std::uint16_t min_length = 0;     // units that are not "*"
    bool has_star = false;
    std::uint8_t key_count = 0;
    std::array<std::uint16_t, kMaxKeys> keys{};  // bigram bits a matching line must contain
};

namespace compiled_detail {

// How unlikely a unit is in game text; pairs of unlikely units make the sharpest keys.
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

constexpr CompiledEntry Compile(const Entry& entry) {
    CompiledEntry compiled;
    const std::u16string_view text = entry.text;
    compiled.text = text;
    compiled.exact = entry.kind == kExact;
    const std::size_t first_star = compiled.exact ? std::u16string_view::npos : text.find(u'*');
    compiled.has_star = first_star != std::u16string_view::npos;
    if (compiled.has_star) {
        compiled.prefix_length = static_cast<std::uint16_t>(first_star);
        compiled.suffix_length = static_cast<std::uint16_t>(text.size() - 1 - text.rfind(u'*'));
    } else {
        compiled.prefix_length = static_cast<std::uint16_t>(text.size());
    }
    for (char16_t c : text) {
        compiled.min_length += !compiled.exact && c == u'*' ? 0 : 1;
    }
    // Keys: the rarest pairs of ordinary units that stand next to each other in the text,
    // each bit used once.
    for (std::size_t k = 0; k < CompiledEntry::kMaxKeys; ++k) {
        int best_score = -1;
        std::uint16_t best_bit = 0;
        for (std::size_t i = 1; i < text.size(); ++i) {
            if (!compiled.exact && (IsWildcard(text[i - 1]) || IsWildcard(text[i]))) {
                continue;
            }
            const std::uint16_t bit = BigramBit(text[i - 1], text[i]);
            bool used = false;
            for (std::size_t j = 0; j < compiled.key_count; ++j) {
                used = used || compiled.keys[j] == bit;
            }
            const int score = Rarity(text[i - 1]) + Rarity(text[i]);
            if (!used && score > best_score) {
                best_score = score;
                best_bit = bit;
            }
        }
        if (best_score < 0) {
            break;
        }
        compiled.keys[compiled.key_count++] = best_bit;
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

// The keys alone: false means the entry cannot hold for a line with this mask.
inline bool KeysPresent(const BigramMask& mask, const CompiledEntry& entry) noexcept {
    for (std::size_t k = 0; k < entry.key_count; ++k) {
        if (!mask.Has(entry.keys[k])) {
            return false;
        }
    }
    return true;
}

}  // namespace brawlhue
