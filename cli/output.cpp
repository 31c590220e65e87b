#include "cli/output.h"

#include <unistd.h>

#include <cerrno>

namespace brawlhue::cli {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

Output::Output(std::FILE* stream) : stream_(stream), line_by_line_(isatty(fileno(stream)) != 0) {
    if (!line_by_line_) {
        std::setvbuf(stream_, nullptr, _IOFBF, kBufferSize);
    }
}

bool Output::Fail() {
    error_ = errno != 0 ? errno : EIO;
    return false;
}

bool Output::Write(std::string_view bytes) {
    if (failed()) {
        return false;
    }
    if (bytes.empty()) {
        return true;  // fwrite may not be given the null data of an empty view
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
        return Fail();
    }
    return true;
}

bool Output::EndLine() {
    return line_by_line_ ? Flush() : !failed();
}

bool Output::Flush() {
    if (failed()) {
        return false;
    }
    errno = 0;
    if (std::fflush(stream_) != 0) {
        return Fail();
    }
    return true;
}

}  // namespace brawlhue::cli
