#include "stream/inflater.h"

#include <algorithm>
#include <limits>

namespace brawlhue::stream {

Inflater::~Inflater() {
    if (initialised_) {
        inflateEnd(&stream_);
    }
}

bool Inflater::Start() noexcept {
    // One zlib state per connection, reset for each compressed stream the game begins.
    const int result = initialised_ ? inflateReset(&stream_) : inflateInit(&stream_);
    initialised_ = initialised_ || result == Z_OK;
    active_ = result == Z_OK;
    filled_ = false;
    return active_;
}

Inflater::Step Inflater::Inflate(std::span<const std::uint8_t> input) noexcept {
    // zlib reads through a non-const pointer but does not write through it.
    stream_.next_in = const_cast<Bytef*>(input.data());
    const std::size_t offered =
        std::min<std::size_t>(input.size(), std::numeric_limits<uInt>::max());
    stream_.avail_in = static_cast<uInt>(offered);
    stream_.next_out = output_.data();
    stream_.avail_out = static_cast<uInt>(output_.size());
    const int result = inflate(&stream_, Z_SYNC_FLUSH);

    const std::size_t taken = offered - stream_.avail_in;
    const std::size_t produced = output_.size() - stream_.avail_out;
    filled_ = stream_.avail_out == 0;
    Status status = Status::kGoing;
    if (result == Z_STREAM_END) {
        status = Status::kEnded;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
        // Z_DATA_ERROR, Z_NEED_DICT (no dictionary is ever agreed), Z_MEM_ERROR.
        status = Status::kCorrupt;
    }
    active_ = status == Status::kGoing;
    return {taken, std::span<const std::uint8_t>(output_.data(), produced), status};
}

}  // namespace brawlhue::stream
