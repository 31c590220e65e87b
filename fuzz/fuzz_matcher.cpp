// The wildcard matcher against the reference matcher, on any pattern over the whole wildcard
// alphabet and any line of 16-bit units. The input is the pattern, a "\n", then the line; with
// no "\n" the input is both. Patterns that hold no "#" and no "[" are also given to the plain
// four-position matcher and to the compiled form the cascade uses, which must all agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/category_tables.h"
#include "engine/compiled_entry.h"
#include "engine/wildcard.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/reference_matcher.h"
#include "fuzz/require.h"
#include "reference/plain_cascade.h"

namespace brawlhue::fuzz {
namespace {

// A pattern that fits the text and nothing else: each wildcard character inside a list.
std::u16string Escape(std::u16string_view text) {
    std::u16string pattern;
    for (char16_t unit : text) {
        if (unit == u'*' || unit == u'?' || unit == u'#' || unit == u'[') {
            pattern += u'[';
            pattern += unit;
            pattern += u']';
        } else {
            pattern += unit;
        }
    }
    return pattern;
}

bool HoldsReservedWildcard(std::u16string_view pattern) {
    return pattern.find_first_of(u"#[") != std::u16string_view::npos;
}

void CheckPair(std::u16string_view line, std::u16string_view pattern) {
    const auto context = [&] {
        PrintUnits("pattern", pattern);
        PrintUnits("line", line);
    };
    const bool expected = ReferenceMatch(line, pattern);
    Require(MatchesPattern(line, Pattern(pattern)) == expected,
            "MatchesPattern agrees with the reference matcher", context);
    if (!HoldsReservedWildcard(pattern)) {
        Require(reference::PlainMatch(line, pattern) == expected,
                "PlainMatch agrees with MatchesPattern on a pattern without \"#\" and \"[\"",
                context);
        if (pattern.size() <= 0xFFFF) {
            const CompiledEntry compiled = compiled_detail::Compile(Entry{kPattern, pattern});
            Require(MatchesCompiled(line, compiled) == expected,
                    "the compiled form agrees with MatchesPattern", context);
        }
    }
}

}  // namespace
}  // namespace brawlhue::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brawlhue;
    using namespace brawlhue::fuzz;
    const std::string_view input = AsBytes(data, size);
    const std::size_t split = input.find('\n');
    const std::u16string pattern = UnitsFromBytes(input.substr(0, split));
    const std::u16string line =
        split == std::string_view::npos ? pattern : UnitsFromBytes(input.substr(split + 1));

    CheckPair(line, pattern);

    // Enclosing each wildcard character in a list makes it plain: the escaped line fits the
    // line itself and no other text.
    const std::u16string escaped = Escape(line);
    Require(MatchesPattern(line, Pattern(escaped)), "a line fits its own escaped form",
            [&] { PrintUnits("line", line); });
    Require(MatchesPattern(pattern, Pattern(escaped)) == (pattern == line),
            "an escaped line fits no other text", [&] {
                PrintUnits("escaped line", escaped);
                PrintUnits("other text", pattern);
            });
    return 0;
}
