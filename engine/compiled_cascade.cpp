#include "engine/compiled_cascade.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/bigram_mask.h"
#include "engine/category_tables.h"
#include "engine/compiled_entry.h"

namespace brawlhue {
namespace {

using compiled_detail::CompileAll;

// One compiled array per test, in kAllTests order.
constexpr auto kAttackVerb = CompileAll(kHasAttackVerbEntries);
constexpr auto kSpeech = CompileAll(kIsSpeechEntries);
constexpr auto kOwnHit = CompileAll(kIsOwnHitEntries);
constexpr auto kOwnMiss = CompileAll(kIsOwnMissEntries);
constexpr auto kOwnSpecialHit = CompileAll(kIsOwnSpecialHitEntries);
constexpr auto kOwnSpecialMiss = CompileAll(kIsOwnSpecialMissEntries);
constexpr auto kHitOnYou = CompileAll(kIsHitOnYouEntries);
constexpr auto kMissOnYou = CompileAll(kIsMissOnYouEntries);
constexpr auto kSpecialHitOnYou = CompileAll(kIsSpecialHitOnYouEntries);
constexpr auto kSpecialMissOnYou = CompileAll(kIsSpecialMissOnYouEntries);
constexpr auto kOwnWeave = CompileAll(kIsOwnWeaveEntries);
constexpr auto kOwnWeaveFailure = CompileAll(kIsOwnWeaveFailureEntries);
constexpr auto kWeaveOnYou = CompileAll(kIsWeaveOnYouEntries);
constexpr auto kSourceRestored = CompileAll(kIsSourceRestoredEntries);
constexpr auto kSpecialEvent = CompileAll(kIsSpecialEventEntries);

constexpr std::array<std::span<const CompiledEntry>, kAllTests.size()> kCompiledTests{
    kAttackVerb,     kSpeech,          kOwnHit,     kOwnMiss,         kOwnSpecialHit,
    kOwnSpecialMiss, kHitOnYou,        kMissOnYou,  kSpecialHitOnYou, kSpecialMissOnYou,
    kOwnWeave,       kOwnWeaveFailure, kWeaveOnYou, kSourceRestored,  kSpecialEvent,
};

// The compiled arrays follow the tables entry for entry.
constexpr bool FollowsTables() {
    for (std::size_t t = 0; t < kAllTests.size(); ++t) {
        const auto& entries = kAllTests[t]->entries;
        if (entries.size() != kCompiledTests[t].size()) {
            return false;
        }
        for (std::size_t e = 0; e < entries.size(); ++e) {
            if (entries[e].text != kCompiledTests[t][e].text ||
                (entries[e].kind == kExact) != kCompiledTests[t][e].exact) {
                return false;
            }
        }
    }
    return true;
}
static_assert(FollowsTables());

// The compiled form knows "*" and "?" only; the tables use no other wildcard.
constexpr bool OnlyStarAndQuestionMark() {
    for (const CategoryTest* test : kAllTests) {
        for (const Entry& entry : test->entries) {
            if (entry.kind == kPattern && (entry.text.find(u'#') != std::u16string_view::npos ||
                                           entry.text.find(u'[') != std::u16string_view::npos)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(OnlyStarAndQuestionMark());

constexpr int kSpeechTest = 1;

// Every exact text with the test it belongs to, ordered for lookup by length and text.
struct ExactText {
    std::u16string_view text;
    int test;
};

constexpr std::size_t CountExact() {
    std::size_t count = 0;
    for (const CategoryTest* test : kAllTests) {
        for (const Entry& entry : test->entries) {
            count += entry.kind == kExact ? 1 : 0;
        }
    }
    return count;
}

constexpr bool ExactBefore(const ExactText& a, const ExactText& b) {
    if (a.text.size() != b.text.size()) {
        return a.text.size() < b.text.size();
    }
    if (a.text != b.text) {
        return a.text < b.text;
    }
    return a.test < b.test;
}

constexpr auto kExactIndex = [] {
    std::array<ExactText, CountExact()> index{};
    std::size_t n = 0;
    for (std::size_t t = 0; t < kAllTests.size(); ++t) {
        for (const Entry& entry : kAllTests[t]->entries) {
            if (entry.kind == kExact) {
                index[n++] = {entry.text, static_cast<int>(t)};
            }
        }
    }
    std::sort(index.begin(), index.end(), ExactBefore);
    return index;
}();

// The first test, in cascade order, that has the line as an exact text; -1 for none. The
// tests' order is kAllTests order, so the lowest index wins.
int ExactOwner(std::u16string_view line) noexcept {
    const auto first =
        std::lower_bound(kExactIndex.begin(), kExactIndex.end(), ExactText{line, -1}, ExactBefore);
    if (first != kExactIndex.end() && first->text == line) {
        return first->test;
    }
    return -1;
}

// Every pattern entry of every test numbered in kAllTests order, so that a set of entries is
// a few words of bits; each test owns one run of numbers.
constexpr std::size_t CountPatterns() {
    std::size_t count = 0;
    for (const auto& entries : kCompiledTests) {
        for (const CompiledEntry& entry : entries) {
            count += entry.exact ? 0 : 1;
        }
    }
    return count;
}
constexpr std::size_t kPatternCount = CountPatterns();

class EntrySet {
  public:
    constexpr void Add(std::size_t entry) {
        words_[entry / 64] |= std::uint64_t{1} << (entry % 64);
    }
    constexpr void KeepOnly(const EntrySet& other) {
        for (std::size_t w = 0; w < words_.size(); ++w) {
            words_[w] &= other.words_[w];
        }
    }
    // Visits the members in [first, last) in rising order until visit returns true.
    template <typename Visit>
    bool AnyIn(std::size_t first, std::size_t last, Visit&& visit) const {
        for (std::size_t w = first / 64; w * 64 < last; ++w) {
            std::uint64_t bits = words_[w];
            if (w == first / 64) {
                bits &= ~std::uint64_t{0} << (first % 64);
            }
            if ((w + 1) * 64 > last) {
                bits &= ~(~std::uint64_t{0} << (last % 64));
            }
            for (; bits != 0; bits &= bits - 1) {
                if (visit(w * 64 + std::countr_zero(bits))) {
                    return true;
                }
            }
        }
        return false;
    }

  private:
    std::array<std::uint64_t, (kPatternCount + 63) / 64> words_{};
};

// Units of 128 and above share one slot: no table text holds them, so there they only let
// through the entries that are open at that end.
constexpr std::size_t kUnitSlots = 129;
constexpr std::size_t UnitSlot(char16_t unit) {
    return unit < 128 ? unit : 128;
}

struct PatternIndex {
    std::array<const CompiledEntry*, kPatternCount> entries{};
    std::array<std::size_t, kAllTests.size() + 1> test_begin{};  // test t owns [t, t + 1)
    // The entries a line can fit given its first (last) unit: those whose text starts (ends)
    // with that unit, and those open at that end ("*" or "?" there).
    std::array<EntrySet, kUnitSlots> by_first_unit{};
    std::array<EntrySet, kUnitSlots> by_last_unit{};
    EntrySet fits_empty_line;
    // Pairs that every pattern of a test holds, so a line without one of them skips the test.
    std::array<std::array<std::uint16_t, 2>, kAllTests.size()> shared_keys{};
    std::array<std::uint8_t, kAllTests.size()> shared_key_count{};
};

constexpr void IndexEnds(PatternIndex& index, const CompiledEntry& entry, std::size_t n) {
    const char16_t first = entry.text.front();
    const char16_t last = entry.text.back();
    for (std::size_t slot = 0; slot < kUnitSlots; ++slot) {
        const bool open_first = first == u'*' || first == u'?';
        const bool open_last = last == u'*' || last == u'?';
        if (open_first || UnitSlot(first) == slot) {
            index.by_first_unit[slot].Add(n);
        }
        if (open_last || UnitSlot(last) == slot) {
            index.by_last_unit[slot].Add(n);
        }
    }
    if (entry.min_length == 0) {
        index.fits_empty_line.Add(n);
    }
}

// The keys of the test's first pattern that every other pattern of the test holds too.
constexpr void IndexSharedKeys(PatternIndex& index, std::size_t test) {
    const auto& entries = kCompiledTests[test];
    const CompiledEntry* first = nullptr;
    for (const CompiledEntry& entry : entries) {
        if (!entry.exact) {
            first = &entry;
            break;
        }
    }
    if (first == nullptr) {
        return;
    }
    for (std::size_t k = 0; k < first->key_count && index.shared_key_count[test] < 2; ++k) {
        const std::uint16_t key = first->keys[k];
        bool shared = true;
        for (const CompiledEntry& entry : entries) {
            if (entry.exact) {
                continue;
            }
            bool holds_pair = false;
            for (std::size_t i = 1; i < entry.text.size(); ++i) {
                const char16_t a = entry.text[i - 1];
                const char16_t b = entry.text[i];
                holds_pair = holds_pair || (a != u'*' && a != u'?' && b != u'*' && b != u'?' &&
                                            BigramBit(a, b) == key);
            }
            shared = shared && holds_pair;
        }
        if (shared) {
            index.shared_keys[test][index.shared_key_count[test]++] = key;
        }
    }
}

constexpr PatternIndex kPatternIndex = [] {
    PatternIndex index;
    std::size_t n = 0;
    for (std::size_t t = 0; t < kCompiledTests.size(); ++t) {
        index.test_begin[t] = n;
        for (const CompiledEntry& entry : kCompiledTests[t]) {
            if (!entry.exact) {
                index.entries[n] = &entry;
                IndexEnds(index, entry, n);
                ++n;
            }
        }
        IndexSharedKeys(index, t);
    }
    index.test_begin[kCompiledTests.size()] = n;
    return index;
}();

EntrySet Intersect(const EntrySet& a, const EntrySet& b) noexcept {
    EntrySet both = a;
    both.KeepOnly(b);
    return both;
}

class LineFacts {
  public:
    explicit LineFacts(std::u16string_view line) noexcept
        : line_(line),
          mask_(BigramMask::Of(line)),
          exact_owner_(ExactOwner(line)),
          candidates_(line.empty() ? kPatternIndex.fits_empty_line
                                   : Intersect(kPatternIndex.by_first_unit[UnitSlot(line.front())],
                                               kPatternIndex.by_last_unit[UnitSlot(line.back())])) {
    }

    bool Holds(int test) noexcept {
        const bool candidate = exact_owner_ == test || AnyPatternHolds(test);
        return candidate && (!kAllTests[test]->gated || HasAttackVerb());
    }

  private:
    bool AnyPatternHolds(int test) const noexcept {
        for (std::size_t k = 0; k < kPatternIndex.shared_key_count[test]; ++k) {
            if (!mask_.Has(kPatternIndex.shared_keys[test][k])) {
                return false;
            }
        }
        return candidates_.AnyIn(kPatternIndex.test_begin[test], kPatternIndex.test_begin[test + 1],
                                 [this](std::size_t n) {
                                     const CompiledEntry& entry = *kPatternIndex.entries[n];
                                     return KeysPresent(mask_, entry) &&
                                            MatchesCompiled(line_, entry);
                                 });
    }

    bool HasAttackVerb() noexcept {
        if (!attack_verb_) {
            attack_verb_ = AnyPatternHolds(0);
        }
        return *attack_verb_;
    }

    std::u16string_view line_;
    BigramMask mask_;
    int exact_owner_;
    EntrySet candidates_;
    std::optional<bool> attack_verb_;
};

}  // namespace

int FirstHoldingTest(std::u16string_view line) noexcept {
    LineFacts facts(line);
    for (int test = kSpeechTest; test < static_cast<int>(kAllTests.size()); ++test) {
        if (facts.Holds(test)) {
            return test;
        }
    }
    return -1;
}

}  // namespace brawlhue
