#include "transcript/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace brawlhue {

std::string_view LineEndingText(LineEnding ending) noexcept {
    switch (ending) {
        case LineEnding::kLf:
            return "\n";
        case LineEnding::kCrLf:
            return "\r\n";
        case LineEnding::kNone:
            break;
    }
    return {};
}

LineReader::LineReader(std::FILE* stream, std::size_t chunk_size)
    : stream_(stream), chunk_(std::clamp<std::size_t>(chunk_size, 2, INT_MAX), '\n') {}

bool LineReader::ReadPiece(Piece& piece) {
    if (finished_) {
        return false;
    }
    std::fill_n(chunk_.data(), dirty_, '\n');
    dirty_ = 0;

    errno = 0;
    if (std::fgets(chunk_.data(), static_cast<int>(chunk_.size()), stream_) == nullptr) {
        finished_ = true;
        if (std::ferror(stream_)) {
            error_ = errno != 0 ? errno : EIO;
            // After a read error fgets leaves the array indeterminate; at the end of the input
            // it leaves it alone.
            dirty_ = chunk_.size();
        }
        return false;
    }

    // fgets stops after the first "\n" and writes a NUL behind what it read. With the chunk
    // filled with "\n" beforehand, the first "\n" is either the one read (a NUL right behind
    // it) or the first untouched byte (the NUL right before it); no "\n" at all means the
    // chunk was filled to its last byte, the NUL.
    const std::size_t capacity = chunk_.size();
    const char* const data = chunk_.data();
    const auto* newline = static_cast<const char*>(std::memchr(data, '\n', capacity));
    if (newline == nullptr) {
        piece = {capacity - 1, false};
    } else {
        const auto at = static_cast<std::size_t>(newline - data);
        if (at + 1 < capacity && data[at + 1] == '\0') {
            piece = {at + 1, true};
        } else {
            piece = {at == 0 ? 0 : at - 1, false};
        }
    }
    dirty_ = piece.size + 1;
    return true;
}

bool LineReader::Next(Line& line) {
    long_line_.clear();
    Piece piece{};
    while (ReadPiece(piece)) {
        std::string_view bytes(chunk_.data(), piece.size);
        if (!piece.ends_line) {
            long_line_.append(bytes);
            continue;
        }
        // A line that fits one piece is handed out from the chunk itself, without a copy.
        if (!long_line_.empty()) {
            long_line_.append(bytes);
            bytes = long_line_;
        }
        bytes.remove_suffix(1);
        LineEnding ending = LineEnding::kLf;
        if (!bytes.empty() && bytes.back() == '\r') {
            bytes.remove_suffix(1);
            ending = LineEnding::kCrLf;
        }
        line = {bytes, ending};
        return true;
    }
    if (error_ != 0 || long_line_.empty()) {
        return false;
    }
    line = {long_line_, LineEnding::kNone};
    return true;
}

}  // namespace brawlhue
