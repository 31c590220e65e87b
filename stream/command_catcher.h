// Finds the #brawlhue command in what the player types. A typed line goes to the game byte by
// byte as it comes, except while the line so far could still become the command: only those
// few bytes wait. A line that is the command never reaches the game.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brawlhue::stream {

class CommandCatcher {
  public:
    // Beyond this, the rest of a command line is dropped unread: the sub-command words are
    // short and come first.
    static constexpr std::size_t kCommandCap = 1024;

    // One byte of typed text (IAC IAC already undone). Bytes for the game are appended to
    // to_server as telnet. True when the byte ended a command line; command_text() is then
    // what followed the command word.
    bool Text(std::uint8_t byte, std::string& to_server);
    std::string_view command_text() const noexcept { return text_; }

  private:
    enum class Phase : std::uint8_t {
        kMatching,        // at the line's start, or reading what may be the command word
        kOrdinary,        // a line for the game
        kCommand,         // the command word was typed: the line is ours
        kAfterCommandCr,  // the command line ended with CR: its LF or NUL is ours too
    };

    void Release(std::string& to_server);

    Phase phase_ = Phase::kMatching;
    std::string held_;  // what was typed of the command word, as typed
    std::string text_;
};

}  // namespace brawlhue::stream
