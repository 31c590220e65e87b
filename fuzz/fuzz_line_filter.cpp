// The line filter on any line of 16-bit units: it never fails, the message is a tail of the
// line, a line is rebuilt exactly when the plain cascade puts its message in a category row,
// the rebuilt line has the one documented shape, and a line that is not rebuilt is not touched.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "cli/transcript_filter.h"
#include "engine/colorizer.h"
#include "filter/line_filter.h"
#include "filter/prompt.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/require.h"
#include "reference/plain_cascade.h"

namespace brawlhue::fuzz {
namespace {

constexpr std::u16string_view kReset = u"\x1b[0m";

// The colour sequence of each cascade row, written out rather than derived from the names.
constexpr std::array<std::u16string_view, 13> kRowSequences{
    u"\x1b[36;40;1m",  // IsOwnHit
    u"\x1b[37;40;1m",  // IsOwnMiss
    u"\x1b[36;40;1m",  // IsOwnSpecialHit
    u"\x1b[37;40;1m",  // IsOwnSpecialMiss
    u"\x1b[31;40;1m",  // IsHitOnYou
    u"\x1b[32;40;1m",  // IsMissOnYou
    u"\x1b[31;40;1m",  // IsSpecialHitOnYou
    u"\x1b[32;40;1m",  // IsSpecialMissOnYou
    u"\x1b[36;40;1m",  // IsOwnWeave
    u"\x1b[37;40;1m",  // IsOwnWeaveFailure
    u"\x1b[31;40;1m",  // IsWeaveOnYou
    u"\x1b[32;40;1m",  // IsSourceRestored
    u"\x1b[36;42;1m",  // IsSpecialEvent
};
static_assert(kRowSequences.size() == kCascade.size());

// Colouring on is any non-zero flag, not only -1; each line tries -1 and one of the others.
constexpr std::array<std::int16_t, 3> kOtherOnFlags{1, 0x7FFF, INT16_MIN};

void CheckLine(std::u16string_view line, std::int16_t other_on_flag) {
    const std::u16string_view message = GetNonPrompt(line);
    const auto context = [&] {
        PrintUnits("line", line);
        PrintUnits("message", message);
    };
    Require(message.size() <= line.size() &&
                message.data() == line.data() + (line.size() - message.size()),
            "GetNonPrompt returns a tail of the line", context);
    const std::u16string_view prompt = line.substr(0, line.size() - message.size());

    const int verdict = reference::PlainCascade(message);
    const Classification found = ClassifyMessage(message);
    const MessageKind expected_kind = verdict == reference::kSpeech       ? MessageKind::kSpeech
                                      : verdict == reference::kNoCategory ? MessageKind::kPlain
                                                                          : MessageKind::kCategory;
    Require(found.kind == expected_kind &&
                (verdict < 0 ? found.row == nullptr : found.row == &kCascade[verdict]),
            "ClassifyMessage agrees with the plain cascade", context);

    const std::string_view expected_word = verdict == reference::kSpeech ? "speech"
                                           : verdict == reference::kNoCategory
                                               ? "-"
                                               : kCascade[verdict].test->name;
    Require(cli::ExplainLine(line) == expected_word, "--explain names the deciding test", context);

    Require(!FilterLine(line, 0), "with colouring off no line is rebuilt", context);

    for (std::int16_t enabled : {std::int16_t{-1}, other_on_flag}) {
        const std::optional<RebuiltLine> rebuilt = FilterLine(line, enabled);
        if (verdict < 0) {
            Require(!rebuilt, "speech and plain lines are left untouched", context);
            continue;
        }
        Require(rebuilt.has_value(), "a line whose message is in a category row is rebuilt",
                context);
        std::u16string expected(kReset);
        expected += prompt;
        expected += kRowSequences[verdict];
        expected += message;
        expected += kReset;
        const std::u16string text = rebuilt->ToString();
        Require(text == expected,
                "the rebuilt line is reset, prompt part, row colour, message, reset", [&] {
                    context();
                    PrintUnits("rebuilt", text);
                    PrintUnits("expected", expected);
                });
        // It refers to the received line, and CopyTo writes exactly size() units.
        Require(rebuilt->prompt.data() == line.data() && rebuilt->prompt.size() == prompt.size() &&
                    rebuilt->message.text.data() == message.data() &&
                    rebuilt->message.text.size() == message.size(),
                "the rebuilt line refers to the received line", context);
        std::u16string copy(rebuilt->size(), u'\0');
        Require(rebuilt->CopyTo(copy.data()) == copy.data() + copy.size() && copy == expected,
                "CopyTo writes size() units, the same as ToString", context);
    }
}

}  // namespace
}  // namespace brawlhue::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brawlhue::fuzz;
    const std::u16string line = UnitsFromBytes(AsBytes(data, size));
    CheckLine(line, kOtherOnFlags[size % kOtherOnFlags.size()]);
    return 0;
}
