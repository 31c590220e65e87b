#include "engine/colorizer.h"

#include "engine/compiled_cascade.h"
#include "engine/spoken_tags.h"

namespace brawlhue {
namespace {

// The compiled cascade numbers tests as kAllTests does: the gate, speech, then the rows.
constexpr int kSpeechTest = 1;
constexpr int kFirstRowTest = 2;

constexpr bool RowsFollowAllTests() {
    if (kAllTests[kSpeechTest] != &IsSpeech ||
        kAllTests.size() != kFirstRowTest + kCascade.size()) {
        return false;
    }
    for (std::size_t row = 0; row < kCascade.size(); ++row) {
        if (kAllTests[kFirstRowTest + row] != kCascade[row].test) {
            return false;
        }
    }
    return true;
}
static_assert(RowsFollowAllTests());

// Every row's names give its outcome's classic sequence, so the classic palette colours
// exactly as the cascade's names do.
constexpr bool RowsMatchClassicPalette() {
    for (const CascadeRow& row : kCascade) {
        const ColourSequence by_names =
            BuildColourSequence(row.foreground, row.background, row.attribute);
        const ColourSequence by_palette = PaletteSequence(kClassicPalette, row.outcome);
        if (by_names.view() != by_palette.view()) {
            return false;
        }
    }
    return true;
}
static_assert(RowsMatchClassicPalette());

// Every opening a coloured message can have, built when the program is compiled: by palette,
// outcome, and without and with its tag.
using OpeningsByTag = std::array<MessageOpening, 2>;
using OpeningsByOutcome = std::array<OpeningsByTag, kOutcomeCount>;
constexpr auto kOpenings = [] {
    std::array<OpeningsByOutcome, kPalettes.size()> openings{};
    for (std::size_t palette = 0; palette < kPalettes.size(); ++palette) {
        for (std::size_t outcome = 0; outcome < kOutcomeCount; ++outcome) {
            const ColourSequence sequence =
                PaletteSequence(static_cast<PaletteIndex>(palette), static_cast<Outcome>(outcome));
            MessageOpening& plain = openings[palette][outcome][0];
            MessageOpening& tagged = openings[palette][outcome][1];
            plain.Append(sequence.view());
            tagged.Append(sequence.view());
            tagged.Append(kSpokenTags[outcome]);
            tagged.Append(kSpokenTagSeparator);
        }
    }
    return openings;
}();

}  // namespace

Classification ClassifyMessage(std::u16string_view message) noexcept {
    const int test = FirstHoldingTest(message);
    if (test == kSpeechTest) {
        return {MessageKind::kSpeech, nullptr};
    }
    if (test >= kFirstRowTest) {
        return {MessageKind::kCategory, &kCascade[test - kFirstRowTest]};
    }
    return {MessageKind::kPlain, nullptr};
}

MessageOpening OpeningFor(Outcome outcome, Appearance appearance) noexcept {
    const PaletteIndex palette =
        appearance.palette < kPalettes.size() ? appearance.palette : kClassicPalette;
    return kOpenings[palette][IndexOf(outcome)][appearance.tags ? 1 : 0];
}

std::optional<ColouredText> ColorizeLine(std::u16string_view message, std::int16_t enabled,
                                         Appearance appearance) noexcept {
    if (enabled == 0) {
        return std::nullopt;
    }
    const Classification found = ClassifyMessage(message);
    if (found.kind != MessageKind::kCategory) {
        return std::nullopt;
    }
    return ColouredText{OpeningFor(found.row->outcome, appearance), message};
}

}  // namespace brawlhue
