#include "engine/compiled_cascade.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "engine/category_tables.h"
#include "engine/compiled_entry.h"
#include "engine/quad_features.h"

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

// Every run between the stars of a table pattern is prepared at compile time.
constexpr bool InnerRunsPrepared() {
    for (const auto& entries : kCompiledTests) {
        for (const CompiledEntry& entry : entries) {
            if (entry.more_inner_runs) {
                return false;
            }
        }
    }
    return true;
}
static_assert(InnerRunsPrepared());

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

// Every entry of every test numbered in kAllTests order, so that a set of entries is a few words
// of bits; each test owns one run of numbers, its exact texts first as the tables list them.
constexpr std::size_t CountEntries() {
    std::size_t count = 0;
    for (const auto& entries : kCompiledTests) {
        count += entries.size();
    }
    return count;
}
constexpr std::size_t kEntryCount = CountEntries();

class EntrySet {
  public:
    static constexpr std::size_t kWords = (kEntryCount + 63) / 64;
    using Words = std::array<std::uint64_t, kWords>;

    constexpr EntrySet() = default;
    constexpr explicit EntrySet(const Words& words) : words_(words) {}
    constexpr const Words& words() const { return words_; }

    constexpr void Add(std::size_t entry) {
        words_[entry / 64] |= std::uint64_t{1} << (entry % 64);
    }
    constexpr bool Has(std::size_t entry) const {
        return (words_[entry / 64] >> (entry % 64) & 1) != 0;
    }
    // Visits the members in [first, last) in rising order until visit returns true; the member
    // visit returned true for, or last.
    template <typename Visit>
    std::size_t FindIn(std::size_t first, std::size_t last, Visit&& visit) const {
        for (std::size_t w = first / 64; w * 64 < last; ++w) {
            std::uint64_t bits = words_[w];
            if (w == first / 64) {
                bits &= ~std::uint64_t{0} << (first % 64);
            }
            for (; bits != 0; bits &= bits - 1) {
                const std::size_t member =
                    w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
                if (member >= last) {
                    return last;
                }
                if (visit(member)) {
                    return member;
                }
            }
        }
        return last;
    }

  private:
    Words words_{};
};

// Units of 128 and above share one slot: no table text holds them, so there they only let
// through the entries that are open at that end.
constexpr std::size_t kUnitSlots = 129;
constexpr std::size_t UnitSlot(char16_t unit) {
    return unit < 128 ? unit : 128;
}

// The key run of an entry: of the runs of kKeyUnits ordinary units in its text, the one made of
// the rarest units, since a run that ordinary game text seldom holds rules the entry out most
// often. Any line the entry fits holds every such run, wherever a pattern's stars fall. The scan
// reads every kScanStride-th quad of a line, so each of the run's kScanStride quads stands for it.
struct KeyRun {
    bool found = false;
    std::array<std::uint64_t, kScanStride> quads{};

    constexpr bool Shares(const KeyRun& other) const {
        for (std::uint64_t mine : quads) {
            for (std::uint64_t theirs : other.quads) {
                if (other.found && mine == theirs) {
                    return true;
                }
            }
        }
        return false;
    }
};

// How seldom a unit stands in game text, for choosing keys: capitals open most lines and "."
// ends them, so they count as common letters do.
constexpr int KeyRarity(char16_t c) {
    switch (c) {
        case u' ':
            return 0;
        case u'e':
        case u't':
        case u'a':
        case u'o':
        case u'i':
        case u'n':
        case u's':
        case u'h':
        case u'r':
        case u'd':
        case u'l':
        case u'u':
        case u'.':
            return 1;
        case u',':
            return 2;
        case u'\'':
            // Apostrophes open speech and end possessives; few lines of plain text hold them.
            return 4;
        default:
            return c >= u'A' && c <= u'Z' ? 1 : 3;
    }
}

// Every quad of ordinary units in every text of the tables, sorted, so that a quad's count tells
// how common a word it is part of: "your" stands in dozens of texts, "hoot" in two.
constexpr std::size_t CountTableQuads() {
    std::size_t count = 0;
    for (const CategoryTest* test : kAllTests) {
        for (const Entry& entry : test->entries) {
            count += entry.text.size() >= 4 ? entry.text.size() - 3 : 0;
        }
    }
    return count;
}

constexpr auto kTableQuads = [] {
    std::array<std::uint64_t, CountTableQuads()> quads{};
    std::size_t n = 0;
    for (const CategoryTest* test : kAllTests) {
        for (const Entry& entry : test->entries) {
            const std::u16string_view text = entry.text;
            for (std::size_t i = 0; i + 4 <= text.size(); ++i) {
                quads[n++] = QuadValue(text[i], text[i + 1], text[i + 2], text[i + 3]);
            }
        }
    }
    std::sort(quads.begin(), quads.end());
    return quads;
}();

// A plain binary search: it runs while compiling, where compilers bound the steps of a constant.
constexpr int TimesInTables(std::uint64_t quad) {
    const std::uint64_t* const quads = kTableQuads.data();
    std::size_t low = 0;
    std::size_t high = kTableQuads.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (quads[middle] < quad) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    int count = 0;
    for (; low < kTableQuads.size() && quads[low] == quad; ++low) {
        ++count;
    }
    return count;
}

// The best key run of the text, leaving out runs that share a quad with `other` (a second key
// must say something the first does not).
constexpr KeyRun ChooseKeyRun(std::u16string_view text, KeyRun other = {}) {
    KeyRun key;
    int best_score = INT_MIN;
    for (std::size_t i = 0; i + kKeyUnits <= text.size(); ++i) {
        int score = 0;
        bool ordinary = true;
        for (std::size_t k = i; k < i + kKeyUnits; ++k) {
            ordinary = ordinary && !compiled_detail::IsWildcard(text[k]);
            score += KeyRarity(text[k]);
        }
        // A quad stands at least once in the tables, so its count only lowers the score: a run
        // that cannot win on its units alone is not looked up (this runs while compiling).
        if (!ordinary || score <= best_score) {
            continue;
        }
        KeyRun candidate{true};
        int most_common = 0;
        for (std::size_t q = 0; q < kScanStride; ++q) {
            const std::size_t at = i + q;
            candidate.quads[q] = QuadValue(text[at], text[at + 1], text[at + 2], text[at + 3]);
            most_common = std::max(most_common, TimesInTables(candidate.quads[q]));
        }
        score -= most_common - 1;
        if (score > best_score && !candidate.Shares(other)) {
            best_score = score;
            key = candidate;
        }
    }
    return key;
}

// Each entry's two keys, in kAllTests order, chosen test by test in constants of their own:
// compilers bound the work of evaluating any one constant.
struct EntryKeys {
    KeyRun first;
    KeyRun second;
};

template <std::size_t Test>
constexpr auto kTestKeys = [] {
    std::array<EntryKeys, kCompiledTests[Test].size()> keys{};
    for (std::size_t e = 0; e < keys.size(); ++e) {
        const std::u16string_view text = kCompiledTests[Test][e].text;
        const KeyRun first = ChooseKeyRun(text);
        keys[e] = {first, first.found ? ChooseKeyRun(text, first) : KeyRun{}};
    }
    return keys;
}();

template <std::size_t... Tests>
constexpr std::array<EntryKeys, kEntryCount> GatherKeys(std::index_sequence<Tests...>) {
    std::array<EntryKeys, kEntryCount> keys{};
    std::size_t n = 0;
    auto append = [&](const auto& test_keys) {
        for (const EntryKeys& entry_keys : test_keys) {
            keys[n++] = entry_keys;
        }
    };
    (append(kTestKeys<Tests>), ...);
    return keys;
}

constexpr auto kEntryKeys = GatherKeys(std::make_index_sequence<kAllTests.size()>{});

struct PatternIndex {
    std::array<const CompiledEntry*, kEntryCount> entries{};
    std::array<std::uint8_t, kEntryCount> test_of{};
    std::array<std::size_t, kAllTests.size() + 1> test_begin{};  // test t owns [t, t + 1)
    EntrySet gated;  // the entries of gated tests: one bit to read, not the test's flag
    // The entries a line can fit given its first (last) unit: those whose text starts (ends)
    // with that unit, and those open at that end ("*" or "?" there).
    std::array<EntrySet, kUnitSlots> by_first_unit{};
    std::array<EntrySet, kUnitSlots> by_last_unit{};
    EntrySet fits_empty_line;
    // The entries whose first (second) key run maps to each feature, and those with no such
    // key: a line is a candidate for an entry only when it holds both keys' features.
    QuadTable quads;
    std::array<EntrySet, kFeatureCount> by_first_key{};
    EntrySet without_first_key;
    std::array<EntrySet, kFeatureCount> by_second_key{};
    EntrySet without_second_key;
};

constexpr void IndexEnds(PatternIndex& index, const CompiledEntry& entry, std::size_t n) {
    const char16_t first = entry.text.front();
    const char16_t last = entry.text.back();
    const bool open_first = !entry.exact && (first == u'*' || first == u'?');
    const bool open_last = !entry.exact && (last == u'*' || last == u'?');
    for (std::size_t slot = 0; slot < kUnitSlots; ++slot) {
        if (open_first) {
            index.by_first_unit[slot].Add(n);
        }
        if (open_last) {
            index.by_last_unit[slot].Add(n);
        }
    }
    if (!open_first) {
        index.by_first_unit[UnitSlot(first)].Add(n);
    }
    if (!open_last) {
        index.by_last_unit[UnitSlot(last)].Add(n);
    }
    if (entry.min_length == 0) {
        index.fits_empty_line.Add(n);
    }
}

// Each quad of the key stands for it. They take one feature where their buckets allow, so that
// the entry joins one set; a quad whose bucket already stands for another feature adds that one.
// New features go out in the order keys appear, and once all are out they are shared from the
// first again, which only lets more entries through to their full match.
constexpr void IndexKeyRun(PatternIndex& index, const KeyRun& key,
                           std::array<EntrySet, kFeatureCount>& by_key, EntrySet& without_key,
                           std::size_t n, std::size_t& features_used) {
    if (!key.found) {
        without_key.Add(n);
        return;
    }
    std::uint8_t shared = QuadTable::kNone;
    for (std::uint64_t quad : key.quads) {
        if (index.quads.FeatureOf(quad) != QuadTable::kNone) {
            shared = index.quads.FeatureOf(quad);
        }
    }
    if (shared == QuadTable::kNone) {
        shared = static_cast<std::uint8_t>(features_used++ % kFeatureCount);
    }
    for (std::uint64_t quad : key.quads) {
        if (index.quads.FeatureOf(quad) == QuadTable::kNone) {
            index.quads.Assign(quad, shared);
        }
        by_key[index.quads.FeatureOf(quad)].Add(n);
    }
}

constexpr void IndexKeys(PatternIndex& index, std::size_t n, std::size_t& features_used) {
    IndexKeyRun(index, kEntryKeys[n].first, index.by_first_key, index.without_first_key, n,
                features_used);
    IndexKeyRun(index, kEntryKeys[n].second, index.by_second_key, index.without_second_key, n,
                features_used);
}

constexpr PatternIndex kPatternIndex = [] {
    PatternIndex index;
    std::size_t n = 0;
    std::size_t features_used = 0;
    for (std::size_t t = 0; t < kCompiledTests.size(); ++t) {
        index.test_begin[t] = n;
        for (const CompiledEntry& entry : kCompiledTests[t]) {
            index.entries[n] = &entry;
            index.test_of[n] = static_cast<std::uint8_t>(t);
            if (kAllTests[t]->gated) {
                index.gated.Add(n);
            }
            IndexEnds(index, entry, n);
            IndexKeys(index, n, features_used);
            ++n;
        }
    }
    index.test_begin[kCompiledTests.size()] = n;
    return index;
}();

// The entries the line can fit judged by its ends and its keys; the full match decides.
EntrySet Candidates(std::u16string_view line, const FeatureSet& features) noexcept {
    if (line.empty()) {
        return kPatternIndex.fits_empty_line;
    }
    // Plain local words, so that the compiler keeps them in registers across the loop.
    EntrySet::Words firsts = kPatternIndex.without_first_key.words();
    EntrySet::Words seconds = kPatternIndex.without_second_key.words();
    for (std::size_t w = 0; w < FeatureSet::kWords; ++w) {
        for (std::uint64_t bits = features.word(w); bits != 0; bits &= bits - 1) {
            const std::size_t feature = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
            const EntrySet::Words& first = kPatternIndex.by_first_key[feature].words();
            const EntrySet::Words& second = kPatternIndex.by_second_key[feature].words();
#pragma GCC unroll 4
            for (std::size_t i = 0; i < EntrySet::kWords; ++i) {
                firsts[i] |= first[i];
                seconds[i] |= second[i];
            }
        }
    }
    const EntrySet::Words& by_first = kPatternIndex.by_first_unit[UnitSlot(line.front())].words();
    const EntrySet::Words& by_last = kPatternIndex.by_last_unit[UnitSlot(line.back())].words();
#pragma GCC unroll 4
    for (std::size_t i = 0; i < EntrySet::kWords; ++i) {
        firsts[i] &= seconds[i] & by_first[i] & by_last[i];
    }
    return EntrySet(firsts);
}

class LineFacts {
  public:
    explicit LineFacts(std::u16string_view line) noexcept
        : line_(line), candidates_(Candidates(line, kPatternIndex.quads.Scan(line))) {}

    // The first test after the gate, in kAllTests order, that one of the line's candidate
    // entries decides; -1 for none.
    int FirstTest() noexcept {
        const std::size_t first = kPatternIndex.test_begin[kSpeechTest];
        const std::size_t last = kPatternIndex.test_begin[kAllTests.size()];
        const std::size_t found = candidates_.FindIn(first, last, [this](std::size_t n) {
            // The entry first: most candidates that get this far hold, and the gate's own
            // search is the dearer of the two when one does not.
            return MatchesCompiled(line_, *kPatternIndex.entries[n]) &&
                   (!kPatternIndex.gated.Has(n) || HasAttackVerb());
        });
        return found == last ? -1 : kPatternIndex.test_of[found];
    }

  private:
    bool HasAttackVerb() noexcept {
        if (!attack_verb_) {
            const std::size_t last = kPatternIndex.test_begin[kSpeechTest];
            attack_verb_ = candidates_.FindIn(0, last, [this](std::size_t n) {
                return MatchesCompiled(line_, *kPatternIndex.entries[n]);
            }) != last;
        }
        return *attack_verb_;
    }

    std::u16string_view line_;
    EntrySet candidates_;
    std::optional<bool> attack_verb_;
};

}  // namespace

int FirstHoldingTest(std::u16string_view line) noexcept {
    LineFacts facts(line);
    return facts.FirstTest();
}

}  // namespace brawlhue
