// The game connection's telnet byte stream, coloured as it passes: bytes from the game go in in
// whatever pieces the network gives, and the stream the client should see comes out, each
// recognised line coloured exactly as the brawlhue command colours it in a transcript. The
// client's bytes go the other way unchanged, except the #brawlhue command, which is answered
// here. No sockets and no clock of its own: the caller passes the time and drains the output.
//
//   from the game: bytes -> inflate (MCCP2) -> telnet parser -> line assembler -> colouring
//                  -> telnet escaping -> ToClient()
//   from the client: bytes -> telnet parser -> #brawlhue catcher -> ToServer() / ToClient()
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/colorizer.h"

namespace brawlhue::stream {

using Clock = std::chrono::steady_clock;

struct StreamSettings {
    // How long an unfinished line may wait for more before what has arrived of it is sent.
    // Zero sends every piece at once.
    std::chrono::milliseconds hold_time{20};
    // Accept MCCP version 2 from the game; false refuses every compression option.
    bool compression = true;
    // Colouring on or off.
    bool colouring = true;
    // The palette and spoken tags of coloured lines until the player chooses others.
    Appearance appearance{};
};

// What the player chose with '#brawlhue palette NAME' or '#brawlhue tags on|off': one of the two,
// the other empty. Kept apart from the colouring flag, and from each other.
struct AppearanceChoice {
    std::optional<PaletteIndex> palette;
    std::optional<bool> tags;

    friend bool operator==(const AppearanceChoice&, const AppearanceChoice&) = default;
};

struct StreamCounters {
    std::uint64_t bytes_from_server = 0;  // as received, compressed or not
    std::uint64_t bytes_to_client = 0;
    std::uint64_t bytes_from_client = 0;
    std::uint64_t bytes_to_server = 0;
    std::uint64_t lines_coloured = 0;
};

class StreamFilter {
  public:
    // Bytes waiting for the client beyond which FromServer stops taking input.
    static constexpr std::size_t kOutputBound = 64 * 1024;
    // An unfinished line longer than this is sent as it is; the rest of it goes uncoloured.
    static constexpr std::size_t kLineCap = 64 * 1024;

    explicit StreamFilter(const StreamSettings& settings);
    ~StreamFilter();
    StreamFilter(const StreamFilter&) = delete;
    StreamFilter& operator=(const StreamFilter&) = delete;

    // Game to client. Takes a prefix of bytes and returns its length. It stops early once
    // ToClient() holds kOutputBound bytes or more, and inflation works in bounded steps, so
    // the caller drains ToClient() and calls again with the rest; with the rest empty while
    // HasPendingOutput(), to go on inflating what was already taken.
    std::size_t FromServer(std::span<const std::uint8_t> bytes, Clock::time_point now);
    bool HasPendingOutput() const noexcept;

    // Client to game: every byte goes to ToServer() at once, except a typed line that begins
    // with #brawlhue (held only while what is typed could still become one), which is
    // answered into ToClient() and never sent to the game.
    void FromClient(std::span<const std::uint8_t> bytes, Clock::time_point now);

    // When OnHoldExpired is due if nothing more arrives first; nothing while no part of an
    // unfinished line is held.
    std::optional<Clock::time_point> HoldDeadline() const noexcept;
    void OnHoldExpired(Clock::time_point now);

    // The game closed its side: what is held goes out as it is.
    void FinishServer();

    // A whole line of the caller's own (UTF-8, without an ending) into the client's stream, on
    // a line of its own even when part of a game line has already been sent.
    void SendLineToClient(std::string_view text);

    // The bytes waiting for each side. The caller writes them and clears the string.
    std::string& ToClient() noexcept;
    std::string& ToServer() noexcept;

    // Colouring on or off, and the hook through which a switch by the #brawlhue command is
    // saved; the hook runs before the confirmation lines are queued.
    bool colouring() const noexcept;
    void set_colouring(bool on) noexcept;
    void set_save_hook(std::function<void(bool colouring)> save);

    // The palette and tags in force, and the hook through which the player's choice of either
    // is saved, before the answer is queued as for the flag.
    Appearance appearance() const noexcept;
    void set_appearance(Appearance appearance) noexcept;
    void set_appearance_save_hook(std::function<void(const AppearanceChoice& choice)> save);

    // True once the game's stream cannot be read on (a corrupt compressed stream): one line
    // saying so has been queued for the client, nothing more is taken from the game, and the
    // caller flushes ToClient() and closes the connection.
    bool failed() const noexcept;

    const StreamCounters& counters() const noexcept;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace brawlhue::stream
