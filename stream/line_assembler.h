// Turns the game's text bytes into lines for the client: a line that arrives before any of it
// was sent is rebuilt exactly as the brawlhue command rebuilds it in a transcript; what has
// arrived of an unfinished line can be sent early (a prompt must never wait), and the line is
// still classified whole when its end comes. Output is telnet: a 0xFF of the text is doubled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/colorizer.h"

namespace brawlhue::stream {

class LineAssembler {
  public:
    // An unfinished line longer than this is sent as it is; the rest of it goes uncoloured.
    static constexpr std::size_t kLineCap = 64 * 1024;

    LineAssembler(std::string& out, std::int16_t enabled, Appearance appearance = {})
        : out_(out), enabled_(enabled), appearance_(appearance) {}

    // One byte of the game's text, with IAC IAC already undone.
    void Text(std::uint8_t byte) { Text(std::span<const std::uint8_t>(&byte, 1)); }
    // Bytes of the game's text (no IAC among them), taken up to and including the first line
    // feed; returns how many were taken, so that the caller may check its room between lines.
    std::size_t Text(std::span<const std::uint8_t> bytes);
    // Sends what has arrived of the unfinished line and was not sent yet.
    void SendHeld();
    bool holding() const noexcept { return line_.size() > sent_; }

    // A whole line of the filter's own, its ending added; when part of a game line is on the
    // client's screen, it starts on a new line, and that game line goes on as the same line.
    void SendOwnLine(std::string_view bytes);

    std::int16_t enabled() const noexcept { return enabled_; }
    void set_enabled(std::int16_t enabled) noexcept { enabled_ = enabled; }
    // The palette and spoken tags of the lines that end from now on.
    Appearance appearance() const noexcept { return appearance_; }
    void set_appearance(Appearance appearance) noexcept { appearance_ = appearance; }
    std::uint64_t lines_coloured() const noexcept { return lines_coloured_; }

  private:
    // Ends the line whose bytes (as received, CR included) are line: line_, or a whole line
    // that came in one piece.
    void EndLine(std::string_view line);

    std::string& out_;
    std::int16_t enabled_;
    Appearance appearance_;
    std::string line_;      // the unfinished line's bytes, as received
    std::size_t sent_ = 0;  // how many of them the client already has
    // The line passed the cap: what it had was sent, and its rest goes straight through.
    bool over_cap_ = false;
    // A line feed was the last text byte: a carriage return now belongs to that line's ending.
    bool after_line_feed_ = false;
    // The client's screen is in the middle of a line of the game's.
    bool mid_line_ = false;
    std::uint64_t lines_coloured_ = 0;
    // Reused from line to line.
    std::u16string units_;
};

}  // namespace brawlhue::stream
