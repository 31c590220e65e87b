// The command line of brawlhue-proxy.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/colorizer.h"

namespace brawlhue::proxy {

// A host (name or address, without the brackets of an IPv6 address) and a port.
struct HostPort {
    std::string host;
    std::string port;
    // host:port, with brackets around an IPv6 address: the form the player typed.
    std::string ToString() const;
};

// "host:port" or "[v6-address]:port"; nothing when it is neither or the port is not a number
// from 0 to 65535.
std::optional<HostPort> ParseHostPort(std::string_view text);

struct Options {
    HostPort connect;                         // --connect, required
    HostPort listen{"127.0.0.1", "4000"};     // --listen
    bool allow_remote = false;                // --allow-remote
    bool tls = false;                         // --tls
    std::string ca_file;                      // --ca: empty means the system's store
    std::chrono::milliseconds hold_time{20};  // --hold-ms
    bool compression = true;                  // cleared by --no-compress
    std::string state_file;                   // --state: empty means the default
    bool start_off = false;                   // --off
    Appearance appearance;                    // --palette and --tags
    bool help = false;                        // --help
    bool version = false;                     // --version
};

// Whether this build can speak TLS to the game.
#ifdef BRAWLHUE_PROXY_TLS
inline constexpr bool kHasTls = true;
#else
inline constexpr bool kHasTls = false;
#endif

extern const std::string_view kUsage;
extern const std::string_view kVersion;

// Each option with a value takes it as the next argument or after '='. Nothing on an unknown
// option, a missing or malformed value, or a missing --connect (unless --help or --version);
// error then says what is wrong.
std::optional<Options> ParseOptions(std::span<const char* const> arguments, std::string& error);

// $XDG_STATE_HOME/brawlhue/proxy-state, or ~/.local/state/brawlhue/proxy-state; on Windows
// %LOCALAPPDATA%\Brawlhue\proxy-state. Empty when no such variable is set.
std::string DefaultStatePath();

}  // namespace brawlhue::proxy
