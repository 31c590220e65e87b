// The cascade prepared for speed: the same tests, entries and order as the tables, with each
// line read once into the set of key quads it holds, only the entries (exact texts and
// patterns alike) whose key quad and end units the line has compared in full, and the attack-verb
// gate evaluated at most once per line. Gives the same answer as evaluating the tables one entry
// after another.
#pragma once

#include <string_view>

namespace brawlhue {

// The index of the first test of kAllTests that holds, among IsSpeech and the cascade rows in
// order; -1 when none does.
int FirstHoldingTest(std::u16string_view line) noexcept;

}  // namespace brawlhue
