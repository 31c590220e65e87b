// Yardsticks for the transcript code: a UTF-8 decoder driven by the table of well-formed byte
// sequences, and a line splitter that works on the whole input at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brawlhue::fuzz {

// What decoding must give: each well-formed UTF-8 sequence its character (a surrogate pair above
// U+FFFF), every other byte 0xDC00 plus the byte, decoding going on with the next byte.
std::u16string ReferenceDecodeUtf8(std::string_view bytes);

struct SplitLine {
    std::string_view body;    // without "\n", and without a "\r" right before it
    std::string_view ending;  // "\n", "\r\n", or empty for a last line with nothing after it

    bool operator==(const SplitLine&) const = default;
};

// The lines of a whole input; no line for an empty input or behind a final "\n".
std::vector<SplitLine> SplitLines(std::string_view bytes);

}  // namespace brawlhue::fuzz
