#include "cli/block_line_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace brawlhue::cli {

BlockLineReader::BlockLineReader(int descriptor, std::size_t block_size)
    : descriptor_(descriptor), block_(std::max<std::size_t>(block_size, 1)) {}

bool BlockLineReader::ReadMore() {
    if (finished_) {
        return false;
    }
    if (begin_ > 0) {
        std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        searched_ -= begin_;
        begin_ = 0;
    }
    if (end_ == block_.size()) {
        block_.resize(2 * block_.size());
    }
    for (;;) {
        const ssize_t got = read(descriptor_, block_.data() + end_, block_.size() - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        finished_ = true;
        if (got < 0) {
            error_ = errno != 0 ? errno : EIO;
        }
        return false;
    }
}

bool BlockLineReader::NextAfterReading(Line& line) {
    for (;;) {
        searched_ = end_;
        if (!ReadMore()) {
            break;
        }
        if (const char* const newline = FindNewline()) {
            TakeLine(newline, line);
            return true;
        }
    }
    if (error_ != 0 || begin_ == end_) {
        return false;
    }
    line = {std::string_view(block_.data() + begin_, end_ - begin_), LineEnding::kNone};
    whole_line_ = line.body;
    begin_ = searched_ = end_;
    return true;
}

}  // namespace brawlhue::cli
