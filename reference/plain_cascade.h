// The cascade evaluated the slow, obvious way: every entry of every test compared in order with
// a four-position wildcard matcher, the gate evaluated afresh by each gated test. It is the
// yardstick the engine's results are proven against, and a peer in the benchmarks.
#pragma once

#include <string_view>

namespace brawlhue::reference {

// What the cascade decides for a message: -2 speech, -1 no category, otherwise the index of the
// deciding row of kCascade.
inline constexpr int kSpeech = -2;
inline constexpr int kNoCategory = -1;

int PlainCascade(std::u16string_view message) noexcept;

// "*" any run, "?" one character, everything else ordinary: one remembered star, no recursion.
bool PlainMatch(std::u16string_view line, std::u16string_view pattern) noexcept;

}  // namespace brawlhue::reference
