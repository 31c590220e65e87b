// A second wildcard matcher, built differently from the engine's so that the two can check each
// other: the pattern is first read into steps, then all the ways of fitting the line are
// followed at once, one step at a time, as a set of reachable line positions. Memory and time
// grow with the product of the two lengths; it is meant for fuzzing, not for the hot path.
#pragma once

#include <string_view>

namespace brawlhue::fuzz {

// The whole line against the whole pattern. "*" takes any run, "?" one unit, "#" one of "0" to
// "9", "[...]" one unit of the list up to the next "]" ("!" first inverts it; "x-y" a range,
// none when written high to low; a "-" with no unit on one side is itself), "[]" no unit at
// all, and a "[" with no "]" after it is itself; every other unit is itself.
bool ReferenceMatch(std::u16string_view line, std::u16string_view pattern);

}  // namespace brawlhue::fuzz
