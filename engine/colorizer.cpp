#include "engine/colorizer.h"

#include "engine/compiled_cascade.h"

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

// What ApplyColor builds from each row's three names, built when the program is compiled.
constexpr auto kRowSequences = [] {
    std::array<ColourSequence, kCascade.size()> sequences{};
    for (std::size_t row = 0; row < kCascade.size(); ++row) {
        sequences[row] = BuildColourSequence(kCascade[row].foreground, kCascade[row].background,
                                             kCascade[row].attribute);
    }
    return sequences;
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

std::optional<ColouredText> ColorizeLine(std::u16string_view message,
                                         std::int16_t enabled) noexcept {
    if (enabled == 0) {
        return std::nullopt;
    }
    const Classification found = ClassifyMessage(message);
    if (found.kind != MessageKind::kCategory) {
        return std::nullopt;
    }
    return ColouredText{kRowSequences[static_cast<std::size_t>(found.row - kCascade.data())],
                        message};
}

}  // namespace brawlhue
