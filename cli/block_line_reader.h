// Reads the lines of a file descriptor in large blocks and hands each line out from the block
// itself, keeping each line's own ending. read(2) returns what is there, so lines from a pipe or
// a terminal still come out as they arrive, while a file is read 64 KiB at a time.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "transcript/line_reader.h"

namespace brawlhue::cli {

class BlockLineReader {
  public:
    static constexpr std::size_t kDefaultBlockSize = 64 * 1024;

    // The reader does not own the descriptor. block_size (at least 1) is how much one read may
    // take; any line length works with any block size: the block grows to hold a longer line.
    explicit BlockLineReader(int descriptor, std::size_t block_size = kDefaultBlockSize);

    // As LineReader::Next: the next line, whose body stays valid until the next call; false at
    // the end of the input or on a read error. A line cut short by a read error is not delivered.
    bool Next(Line& line) {
        // Inline for the common case, a whole line already in the block.
        if (const char* const newline = FindNewline()) {
            TakeLine(newline, line);
            return true;
        }
        return NextAfterReading(line);
    }

    // The errno value of the read error that ended the input; 0 when there was none.
    int error() const noexcept { return error_; }

    // The bytes of the line last handed out with its ending: its body and ending as they stand
    // in the input, one after the other. Valid as long as the line is.
    std::string_view whole_line() const noexcept { return whole_line_; }

  private:
    // Moves the unread bytes to the front, grows the block when they fill it, and reads once
    // more. False at the end of the input or on a read error.
    bool ReadMore();
    // The first "\n" not yet searched, or nullptr.
    const char* FindNewline() const noexcept {
        return static_cast<const char*>(
            std::memchr(block_.data() + searched_, '\n', end_ - searched_));
    }
    // Hands out the line that ends at newline.
    void TakeLine(const char* newline, Line& line) noexcept {
        const char* const data = block_.data();
        const auto after = static_cast<std::size_t>(newline - data) + 1;
        whole_line_ = std::string_view(data + begin_, after - begin_);
        std::string_view body(data + begin_, after - 1 - begin_);
        begin_ = searched_ = after;
        LineEnding ending = LineEnding::kLf;
        if (!body.empty() && body.back() == '\r') {
            body.remove_suffix(1);
            ending = LineEnding::kCrLf;
        }
        line = {body, ending};
    }
    // Next, once the block holds no whole line: reads until it does, or the input ends.
    bool NextAfterReading(Line& line);

    int descriptor_;
    std::vector<char> block_;
    std::size_t begin_ = 0;     // the first byte not yet handed out
    std::size_t searched_ = 0;  // bytes before this hold no "\n" behind begin_
    std::size_t end_ = 0;       // the end of the bytes read
    std::string_view whole_line_;
    int error_ = 0;
    bool finished_ = false;
};

}  // namespace brawlhue::cli
