// Runs every line of a transcript through the line filter and writes the result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "cli/output.h"
#include "transcript/line_reader.h"

namespace brawlhue::cli {

// What --explain prints for a line: the name of the category test that colours it, "speech",
// or "-" for a line that stays plain.
std::string_view ExplainLine(std::u16string_view line) noexcept;

class TranscriptFilter {
  public:
    TranscriptFilter(const Options& options, Output& output);

    // Filters the stream to its end, or until the output fails. The errno value of a read error
    // of the stream; 0 when there was none. A stream with a file descriptor is read through it
    // in blocks; the stream must not have been read from before.
    int Run(std::FILE* stream);

  private:
    template <typename Reader>
    int RunLines(Reader& reader);
    // False when the output failed. whole_line is the line's body and ending as they came in,
    // when the reader has them in one piece; otherwise empty.
    bool WriteLine(const Line& line, std::string_view whole_line);
    // The line's bytes with the reset in front, the colour opening after its first prompt_bytes
    // and the reset behind, then its ending.
    void WriteSpliced(const Line& line, std::size_t prompt_bytes, std::u16string_view opening);
    bool WriteExplanation(const Line& line);
    // The line's units, in units_.
    std::u16string_view Decode(std::string_view bytes);

    std::int16_t enabled_;
    Appearance appearance_;
    bool explain_;
    Output& output_;
    // Reused from line to line: only a line longer than any before makes them grow.
    std::u16string units_;
    std::u16string rebuilt_;
    std::string encoded_;
};

}  // namespace brawlhue::cli
