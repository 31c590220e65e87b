#include "proxy/options.h"

#include <charconv>
#include <cstdlib>

namespace brawlhue::proxy {

#ifndef BRAWLHUE_VERSION
#define BRAWLHUE_VERSION "0.0.0"
#endif

const std::string_view kVersion = BRAWLHUE_VERSION;

const std::string_view kUsage =
    "usage: brawlhue-proxy --connect HOST:PORT [options]\n"
    "Relays a game connection to any MUD client, colouring the combat lines as the Brawlhue\n"
    "plug-in does. Point the client at the listening address; '#brawlhue help' typed in the\n"
    "client shows the command.\n"
    "\n"
    "  --connect HOST:PORT  the game to connect each client to ([v6-address]:PORT for IPv6)\n"
    "  --listen ADDR:PORT   where clients connect (default 127.0.0.1:4000)\n"
    "  --allow-remote       allow a --listen address other than loopback\n"
#ifdef BRAWLHUE_PROXY_TLS
    "  --tls                connect to the game with TLS, verifying its certificate and name\n"
    "  --ca FILE            trust the authority in FILE (PEM) instead of the system's store\n"
#else
    "  --tls, --ca FILE     not available: this build has no TLS\n"
#endif
    "  --hold-ms N          send an unfinished line after N ms without more (default 20)\n"
    "  --no-compress        refuse the game's compression (MCCP)\n"
#ifdef _WIN32
    "  --state FILE         where colouring on or off, palette and tags are kept per game\n"
    "                       (default %LOCALAPPDATA%\\Brawlhue\\proxy-state)\n"
#else
    "  --state FILE         where colouring on or off, palette and tags are kept per game\n"
    "                       (default $XDG_STATE_HOME/brawlhue/proxy-state or\n"
    "                       ~/.local/state/brawlhue/proxy-state)\n"
#endif
    "  --off                start every connection with colouring off\n"
    "  --palette NAME       the colours where no palette is saved for the game: classic\n"
    "                       (the default) or colourblind\n"
    "  --tags               where no tags choice is saved for the game, begin each coloured\n"
    "                       message with a word naming its kind, for screen readers\n"
    "  -h, --help           show this text\n"
    "  -V, --version        show the version\n";

std::string HostPort::ToString() const {
    if (host.find(':') != std::string::npos) {
        return "[" + host + "]:" + port;
    }
    return host + ":" + port;
}

std::optional<HostPort> ParseHostPort(std::string_view text) {
    HostPort result;
    std::string_view port;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return std::nullopt;
        }
        result.host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.find(':');
        if (colon == std::string_view::npos ||
            text.find(':', colon + 1) != std::string_view::npos) {
            return std::nullopt;  // an IPv6 address needs its brackets
        }
        result.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    unsigned number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (result.host.empty() || port.empty() || error != std::errc{} ||
        end != port.data() + port.size() || number > 65535) {
        return std::nullopt;
    }
    result.port = port;
    return result;
}

std::string DefaultStatePath() {
#ifdef _WIN32
    // Where Windows programs keep their per-user data.
    if (const char* local = std::getenv("LOCALAPPDATA"); local != nullptr && *local != '\0') {
        return std::string(local) + "\\Brawlhue\\proxy-state";
    }
#endif
    const char* state_home = std::getenv("XDG_STATE_HOME");
    if (state_home != nullptr && *state_home == '/') {
        return std::string(state_home) + "/brawlhue/proxy-state";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return {};
    }
    return std::string(home) + "/.local/state/brawlhue/proxy-state";
}

namespace {

std::optional<Options> Fail(std::string& error, std::string message) {
    error = std::move(message);
    return std::nullopt;
}

}  // namespace

std::optional<Options> ParseOptions(std::span<const char* const> arguments, std::string& error) {
    Options options;
    bool have_connect = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view name = arguments[i];
        std::optional<std::string_view> inline_value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            inline_value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        // The option's value, from after '=' or the next argument.
        const auto value = [&]() -> std::optional<std::string_view> {
            if (inline_value) {
                return inline_value;
            }
            if (i + 1 < arguments.size()) {
                return std::string_view(arguments[++i]);
            }
            return std::nullopt;
        };
        const bool takes_value = name == "--connect" || name == "--listen" || name == "--ca" ||
                                 name == "--hold-ms" || name == "--state" || name == "--palette";
        if (inline_value && !takes_value) {
            return Fail(error, "option '" + std::string(name) + "' takes no value");
        }
        if (takes_value) {
            const auto text = value();
            if (!text) {
                return Fail(error, "option '" + std::string(name) + "' needs a value");
            }
            if (name == "--connect" || name == "--listen") {
                auto address = ParseHostPort(*text);
                if (!address) {
                    return Fail(error, "'" + std::string(*text) +
                                           "' is not HOST:PORT (or [v6-address]:PORT)");
                }
                if (name == "--connect") {
                    if (address->port == "0") {
                        return Fail(error, "the game's port cannot be 0");
                    }
                    options.connect = std::move(*address);
                    have_connect = true;
                } else {
                    options.listen = std::move(*address);
                }
            } else if (name == "--ca") {
                options.ca_file = *text;
            } else if (name == "--state") {
                options.state_file = *text;
            } else if (name == "--palette") {
                // Names are ASCII: a byte beyond it, widened, matches none.
                options.appearance.palette =
                    FindPalette(std::u16string(text->begin(), text->end()));
                if (options.appearance.palette == kNoPalette) {
                    return Fail(error, "unknown palette '" + std::string(*text) +
                                           "'; the palettes are " + PaletteNameList());
                }
            } else {
                unsigned milliseconds = 0;
                const auto [end, failure] =
                    std::from_chars(text->data(), text->data() + text->size(), milliseconds);
                if (text->empty() || failure != std::errc{} || end != text->data() + text->size() ||
                    milliseconds > 60000) {
                    return Fail(error, "--hold-ms takes a number of milliseconds from 0 to 60000");
                }
                options.hold_time = std::chrono::milliseconds(milliseconds);
            }
        } else if (name == "--allow-remote") {
            options.allow_remote = true;
        } else if (name == "--tls") {
            options.tls = true;
        } else if (name == "--no-compress") {
            options.compression = false;
        } else if (name == "--off") {
            options.start_off = true;
        } else if (name == "--tags") {
            options.appearance.tags = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version" || name == "-V") {
            options.version = true;
        } else {
            return Fail(error, "unknown option '" + std::string(name) + "'");
        }
    }
    if (options.help || options.version) {
        return options;
    }
    if (!have_connect) {
        return Fail(error, "--connect HOST:PORT is required");
    }
    if ((options.tls || !options.ca_file.empty()) && !kHasTls) {
        return Fail(error, "this build has no TLS: --tls and --ca are not available");
    }
    if (!options.ca_file.empty() && !options.tls) {
        return Fail(error, "--ca needs --tls");
    }
    if (options.state_file.empty()) {
        options.state_file = DefaultStatePath();
    }
    return options;
}

}  // namespace brawlhue::proxy
