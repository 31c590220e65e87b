#include "cli/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brawlhue::cli {
Output::Output(std::FILE* stream)
    : stream_(stream), line_by_line_(isatty(fileno(stream)) != 0), pending_(new char[kBufferSize]) {
    if (!line_by_line_) {
        std::setvbuf(stream_, nullptr, _IOFBF, kBufferSize);
    }
}

Output::~Output() {
    Drain();
}

bool Output::Fail() {
    error_ = errno != 0 ? errno : EIO;
    return false;
}

bool Output::Drain() {
    if (failed()) {
        return false;
    }
    if (pending_size_ == 0) {
        return true;
    }
    const std::size_t size = pending_size_;
    pending_size_ = 0;
    errno = 0;
    if (std::fwrite(pending_.get(), 1, size, stream_) != size) {
        return Fail();
    }
    return true;
}

bool Output::WriteOther(std::string_view bytes) {
    if (failed()) {
        return false;
    }
    if (bytes.empty()) {
        return true;  // memcpy and fwrite may not be given the null data of an empty view
    }
    if (bytes.size() > kBufferSize - pending_size_) {
        if (!Drain()) {
            return false;
        }
        if (bytes.size() > kBufferSize) {
            // Longer than the buffer: straight to the stream.
            errno = 0;
            if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
                return Fail();
            }
            return true;
        }
    }
    std::memcpy(pending_.get() + pending_size_, bytes.data(), bytes.size());
    pending_size_ += bytes.size();
    return true;
}

bool Output::Flush() {
    if (!Drain()) {
        return false;
    }
    errno = 0;
    if (std::fflush(stream_) != 0) {
        return Fail();
    }
    return true;
}

}  // namespace brawlhue::cli
