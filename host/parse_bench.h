// brawlhost --bench: the cost of one Parse call through the real Brawlhue.dll, on the lines of a
// transcript, with colouring on.
#pragma once

#include <cstdio>

namespace brawlhue::host {

// Prints "ns per line: X" and a line saying what was measured. COM must be initialised,
// apartment-threaded, on the calling thread. Throws ReplayError on a failed step.
void BenchParse(std::FILE* transcript, std::FILE* output);

}  // namespace brawlhue::host
