// Replays a transcript through the registered Brawlhue.dll, with the stand-in host in place of
// zMUD: the calls a host makes for one session that connects, receives the transcript's lines
// and disconnects.
#pragma once

#include <windows.h>

#include <cstdio>
#include <stdexcept>

#include "host/replay_options.h"

namespace brawlhue::host {

// A failed step, described in one line.
class ReplayError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The handle of the one session that a replay connects.
inline constexpr LONG kReplaySessionHandle = 1;

// Writes to output, in order, each received line as Parse left it (with the line's own ending)
// and, unless options.lines_only, each DisplayText line of the session (its text and "\n").
// Throws ReplayError or VariableFileError at the first failure; what was written stays written.
// COM must be initialised, apartment-threaded, on the calling thread.
void Replay(const ReplayOptions& options, std::FILE* transcript, std::FILE* output);

}  // namespace brawlhue::host
