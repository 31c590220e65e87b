// Reads a transcript one line at a time, keeping each line's own ending so that a line can be
// written back exactly as it came.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace brawlhue {

enum class LineEnding : std::uint8_t {
    kNone,  // the last line of the input, with nothing after it
    kLf,    // "\n"
    kCrLf,  // "\r\n"
};

// The bytes that end a line this way.
std::string_view LineEndingText(LineEnding ending) noexcept;

struct Line {
    std::string_view body;  // without the ending; a "\r" not followed by "\n" stays in it
    LineEnding ending;
};

// Yields the lines of a stdio stream opened in binary mode. It reads through fgets, which
// returns as soon as a line is complete, so lines from a pipe or a terminal come out as they
// arrive. Memory stays at the longest line seen plus one chunk, whatever the input's size.
class LineReader {
  public:
    static constexpr std::size_t kDefaultChunkSize = 64 * 1024;

    // The reader does not own the stream. chunk_size (at least 2) only sets how much fgets may
    // take at once; any line length works with any chunk size.
    explicit LineReader(std::FILE* stream, std::size_t chunk_size = kDefaultChunkSize);

    // Reads the next line into line, whose body stays valid until the next call. False at the
    // end of the input or on a read error; error() then tells which. A line cut short by a read
    // error is not delivered.
    bool Next(Line& line);

    // The errno value of the read error that ended the input; 0 when there was none.
    int error() const noexcept { return error_; }

  private:
    // One fgets into chunk_: how many bytes it gave and whether the last of them is "\n".
    struct Piece {
        std::size_t size;
        bool ends_line;
    };
    bool ReadPiece(Piece& piece);

    std::FILE* stream_;
    // Kept filled with "\n" between calls: fgets writes no length, and the sentinel is how
    // ReadPiece tells the bytes read (NUL included) from the rest.
    std::vector<char> chunk_;
    std::size_t dirty_ = 0;  // leading bytes of chunk_ that the last fgets wrote over
    std::string long_line_;  // a line that took more than one piece
    int error_ = 0;
    bool finished_ = false;  // end of input or a read error: fgets is not called again
};

}  // namespace brawlhue
