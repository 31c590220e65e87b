// Standard output with every write checked, so that a full disk or a closed pipe ends the run
// with a message instead of silently losing lines.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace brawlhue::cli {

class Output {
  public:
    // Lines go out one by one when the stream is a terminal, so that a live session is coloured
    // as it arrives; otherwise the stream is fully buffered. Call before anything is written.
    explicit Output(std::FILE* stream);

    // Hands what is still gathered to the stream; Flush reports whether that worked.
    ~Output();

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Each returns false once anything has failed; later calls then do nothing.
    bool Write(std::string_view bytes) {
        // Most writes are a line that fits what is left of the buffer.
        if (!failed() && !bytes.empty() && bytes.size() <= kBufferSize - pending_size_) {
            std::memcpy(pending_.get() + pending_size_, bytes.data(), bytes.size());
            pending_size_ += bytes.size();
            return true;
        }
        return WriteOther(bytes);
    }
    // Room for size bytes at the end of what is gathered, to be filled and then handed over with
    // Commit(size); nullptr once anything has failed or when size is more than the buffer
    // holds, and Write is then the way.
    char* Reserve(std::size_t size) {
        if (failed() || (size > kBufferSize - pending_size_ && (size > kBufferSize || !Drain()))) {
            return nullptr;
        }
        return pending_.get() + pending_size_;
    }
    void Commit(std::size_t size) { pending_size_ += size; }

    // After each complete line.
    bool EndLine() { return line_by_line_ ? Flush() : !failed(); }
    bool Flush();

    bool failed() const noexcept { return error_ != 0; }
    int error() const noexcept { return error_; }  // the errno value of the first failure

  private:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    bool WriteOther(std::string_view bytes);
    bool Fail();
    // Hands the gathered bytes to the stream.
    bool Drain();

    std::FILE* stream_;
    bool line_by_line_;
    int error_ = 0;
    // Bytes are gathered here and handed to the stream a block at a time: one call into the C
    // library per block rather than two or more per line.
    std::unique_ptr<char[]> pending_;
    std::size_t pending_size_ = 0;
};

}  // namespace brawlhue::cli
