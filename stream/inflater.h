// The layer below the telnet parser while the game compresses (MCCP version 2): one zlib stream
// at a time, inflated in steps of bounded output, so that a small compressed piece never makes
// the filter hold more than one step. At the end of the stream it hands back the bytes it did
// not use: they are plain telnet again.
#pragma once

#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace brawlhue::stream {

class Inflater {
  public:
    static constexpr std::size_t kStepSize = 16 * 1024;

    enum class Status : std::uint8_t { kGoing, kEnded, kCorrupt };

    struct Step {
        std::size_t taken;                     // input bytes used
        std::span<const std::uint8_t> output;  // valid until the next call of Inflate
        Status status;
    };

    Inflater() = default;
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Begins a compressed stream. False when zlib cannot get its memory.
    bool Start() noexcept;
    bool active() const noexcept { return active_; }
    // Whether zlib may still give output without more input: the last step filled its buffer.
    bool has_more() const noexcept { return active_ && filled_; }

    // Inflates at most kStepSize bytes from input. When the stream ends (kEnded) or is corrupt
    // (kCorrupt), the inflater is no longer active; the input behind taken is not its own.
    Step Inflate(std::span<const std::uint8_t> input) noexcept;

  private:
    z_stream stream_{};
    bool initialised_ = false;
    bool active_ = false;
    bool filled_ = false;
    std::array<std::uint8_t, kStepSize> output_{};
};

}  // namespace brawlhue::stream
