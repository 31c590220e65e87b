#include "stream/stream_filter.h"

#include <utility>

#include "command/plugin_command_text.h"
#include "stream/command_catcher.h"
#include "stream/inflater.h"
#include "stream/line_assembler.h"
#include "stream/telnet_encoding.h"
#include "stream/telnet_parser.h"
#include "transcript/utf8_codec.h"

namespace brawlhue::stream {
namespace {

constexpr std::int16_t kColouringOn = -1;
constexpr std::int16_t kColouringOff = 0;

constexpr std::string_view kUnreadableStreamLine =
    "Brawlhue: the game's compressed data cannot be read; the connection is closed.";

// Compression is between the game and the filter only: the client is told no to its own
// negotiation of it, on either side.
void RefuseClientCompression(std::string& to_client, std::uint8_t verb, std::uint8_t option) {
    if (verb == telnet::kDo) {
        AppendNegotiation(to_client, telnet::kWont, option);
    } else if (verb == telnet::kWill) {
        AppendNegotiation(to_client, telnet::kDont, option);
    }
}

}  // namespace

static_assert(StreamFilter::kLineCap == LineAssembler::kLineCap);

struct StreamFilter::State {
    explicit State(const StreamSettings& settings)
        : settings(settings),
          lines(to_client, settings.colouring ? kColouringOn : kColouringOff, settings.appearance) {
    }

    // ---- from the game: inflate -> telnet parser -> line assembler -> telnet escaping ----
    std::size_t Pump(std::span<const std::uint8_t> bytes, bool bounded);
    void Fail();

    // The game's side of the parser's sink.
    struct ServerSink {
        State& state;
        bool Text(std::uint8_t byte) {
            state.lines.Text(byte);
            return state.Room();
        }
        // Line by line, so that the output stops at its bound where it would byte by byte.
        std::size_t TextRun(std::span<const std::uint8_t> bytes) {
            std::size_t used = 0;
            while (used < bytes.size()) {
                used += state.lines.Text(bytes.subspan(used));
                if (!state.Room()) {
                    break;
                }
            }
            return used;
        }
        bool Command(std::uint8_t command) {
            state.lines.SendHeld();
            AppendCommand(state.to_client, command);
            return state.Room();
        }
        bool Negotiation(std::uint8_t verb, std::uint8_t option);
        bool SubnegotiationStart(std::uint8_t option);
        bool SubnegotiationData(std::uint8_t byte) {
            if (!state.server_sub_dropped) {
                AppendTelnetText(std::string_view(reinterpret_cast<const char*>(&byte), 1),
                                 state.to_client);
            }
            return state.Room();
        }
        bool SubnegotiationEnd(bool complete);
    };

    // ---- from the client: telnet parser -> #brawlhue catcher ----
    struct ClientSink {
        State& state;
        bool Text(std::uint8_t byte) {
            if (state.catcher.Text(byte, state.to_server)) {
                state.AnswerCommand(state.catcher.command_text());
            }
            return true;
        }
        bool Command(std::uint8_t command) {
            AppendCommand(state.to_server, command);
            return true;
        }
        bool Negotiation(std::uint8_t verb, std::uint8_t option) {
            if (telnet::IsCompressionOption(option)) {
                RefuseClientCompression(state.to_client, verb, option);
            } else {
                AppendNegotiation(state.to_server, verb, option);
            }
            return true;
        }
        bool SubnegotiationStart(std::uint8_t option) {
            state.client_sub_dropped = telnet::IsCompressionOption(option);
            if (!state.client_sub_dropped) {
                AppendCommand(state.to_server, telnet::kSb);
                state.to_server += static_cast<char>(option);
            }
            return true;
        }
        bool SubnegotiationData(std::uint8_t byte) {
            if (!state.client_sub_dropped) {
                AppendTelnetText(std::string_view(reinterpret_cast<const char*>(&byte), 1),
                                 state.to_server);
            }
            return true;
        }
        bool SubnegotiationEnd(bool complete) {
            if (complete && !state.client_sub_dropped) {
                AppendCommand(state.to_server, telnet::kSe);
            }
            return true;
        }
    };

    bool Room() const noexcept { return to_client.size() < kOutputBound; }
    void AnswerCommand(std::string_view typed);
    void AnswerAppearance(const ParsedCommand& command);
    void SendOwnLine(std::u16string_view text);

    StreamSettings settings;
    std::string to_client;
    std::string to_server;
    StreamCounters counters;
    std::function<void(bool)> save;
    std::function<void(const AppearanceChoice&)> save_appearance;
    bool failed = false;

    TelnetParser server_parser;
    Inflater inflater;
    // Inflated bytes the parser has not taken yet (it stopped at the output bound).
    std::span<const std::uint8_t> inflated;
    // zlib met damage behind the bytes in inflated: the stream fails once they are parsed.
    bool corrupt = false;
    // The parser just took the end of IAC SB 86 ... IAC SE: compression begins behind it.
    bool compression_starts = false;
    // Inside a subnegotiation of a compression option: neither forwarded nor answered.
    bool server_sub_dropped = false;
    std::uint8_t server_sub_option = 0;
    LineAssembler lines;
    std::optional<Clock::time_point> hold_deadline;

    TelnetParser client_parser;
    bool client_sub_dropped = false;
    CommandCatcher catcher;
};

bool StreamFilter::State::ServerSink::Negotiation(std::uint8_t verb, std::uint8_t option) {
    if (!telnet::IsCompressionOption(option)) {
        state.lines.SendHeld();
        AppendNegotiation(state.to_client, verb, option);
        return state.Room();
    }
    // Version 2 is taken here when allowed; versions 1 and 3 never. The client is not asked.
    if (verb == telnet::kWill) {
        const bool accept = option == telnet::kCompress2 && state.settings.compression;
        AppendNegotiation(state.to_server, accept ? telnet::kDo : telnet::kDont, option);
    } else if (verb == telnet::kDo) {
        AppendNegotiation(state.to_server, telnet::kWont, option);
    }
    return true;
}

bool StreamFilter::State::ServerSink::SubnegotiationStart(std::uint8_t option) {
    state.server_sub_dropped = telnet::IsCompressionOption(option);
    state.server_sub_option = option;
    if (state.server_sub_dropped) {
        return true;
    }
    state.lines.SendHeld();
    AppendCommand(state.to_client, telnet::kSb);
    state.to_client += static_cast<char>(option);
    return state.Room();
}

bool StreamFilter::State::ServerSink::SubnegotiationEnd(bool complete) {
    if (!state.server_sub_dropped) {
        if (complete) {
            AppendCommand(state.to_client, telnet::kSe);
        }
        return state.Room();
    }
    state.server_sub_dropped = false;
    // IAC SB 86 IAC SE: every byte behind it is compressed, the rest of this piece included.
    // Inside a compressed stream it means nothing.
    if (complete && state.server_sub_option == telnet::kCompress2 && state.settings.compression &&
        !state.inflater.active() && state.inflated.empty()) {
        state.compression_starts = true;
        return false;
    }
    return true;
}

std::size_t StreamFilter::State::Pump(std::span<const std::uint8_t> bytes, bool bounded) {
    ServerSink sink{*this};
    std::size_t taken = 0;
    while (!failed && (!bounded || Room())) {
        if (!inflated.empty()) {
            inflated = inflated.subspan(server_parser.Feed(inflated, sink));
            continue;
        }
        if (corrupt) {
            Fail();
            break;
        }
        if (inflater.active()) {
            if (bytes.empty() && !inflater.has_more()) {
                break;
            }
            const Inflater::Step step = inflater.Inflate(bytes);
            taken += step.taken;
            bytes = bytes.subspan(step.taken);
            inflated = step.output;
            if (step.status == Inflater::Status::kCorrupt) {
                // What zlib inflated before it met the damage is the game's own text: it goes
                // out first, and the stream fails once the parser has taken all of it.
                corrupt = true;
            } else if (step.taken == 0 && step.output.empty() &&
                       step.status == Inflater::Status::kGoing) {
                break;  // zlib needs input it was not given
            }
            continue;  // after kEnded the rest is plain again
        }
        if (bytes.empty()) {
            break;
        }
        const std::size_t parsed = server_parser.Feed(bytes, sink);
        taken += parsed;
        bytes = bytes.subspan(parsed);
        if (compression_starts) {
            compression_starts = false;
            if (!inflater.Start()) {
                Fail();
            }
        }
    }
    return taken;
}

void StreamFilter::State::Fail() {
    // Nothing after the damage is shown; the unfinished line before it goes out as it is.
    inflated = {};
    lines.SendHeld();
    lines.SendOwnLine(kUnreadableStreamLine);
    failed = true;
}

void StreamFilter::State::AnswerCommand(std::string_view typed) {
    std::u16string text;
    DecodeUtf8(typed, text);
    const ParsedCommand parsed = ParseCommand(text);
    const SubCommand found = parsed.sub_command;
    if (found == SubCommand::kPalette || found == SubCommand::kTags) {
        AnswerAppearance(parsed);
        return;
    }
    if (found == SubCommand::kOn || found == SubCommand::kOff) {
        const bool on = found == SubCommand::kOn;
        lines.set_enabled(on ? kColouringOn : kColouringOff);
        if (save) {
            save(on);
        }
    }
    for (const CommandLine& answer : CommandAnswer(found, lines.enabled() != kColouringOff)) {
        SendOwnLine(answer.text);
    }
}

void StreamFilter::State::AnswerAppearance(const ParsedCommand& command) {
    const AppearanceAnswer answer = AnswerAppearanceCommand(command, lines.appearance());
    lines.set_appearance(answer.appearance);
    if ((answer.palette_set || answer.tags_set) && save_appearance) {
        AppearanceChoice choice;
        if (answer.palette_set) {
            choice.palette = answer.appearance.palette;
        }
        if (answer.tags_set) {
            choice.tags = answer.appearance.tags;
        }
        save_appearance(choice);
    }
    SendOwnLine({});
    SendOwnLine(answer.text);
    SendOwnLine({});
}

void StreamFilter::State::SendOwnLine(std::u16string_view text) {
    std::string line;
    EncodeUtf8(text, line);
    lines.SendOwnLine(line);
}

StreamFilter::StreamFilter(const StreamSettings& settings)
    : state_(std::make_unique<State>(settings)) {}

StreamFilter::~StreamFilter() = default;

std::size_t StreamFilter::FromServer(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    State& state = *state_;
    const std::size_t before = state.to_client.size();
    const std::size_t taken = state.Pump(bytes, true);
    state.counters.bytes_from_server += taken;
    if (state.lines.holding()) {
        if (state.settings.hold_time.count() <= 0) {
            state.lines.SendHeld();
        } else if (taken > 0 || !state.hold_deadline) {
            state.hold_deadline = now + state.settings.hold_time;
        }
    }
    if (!state.lines.holding()) {
        state.hold_deadline.reset();
    }
    state.counters.bytes_to_client += state.to_client.size() - before;
    return taken;
}

bool StreamFilter::HasPendingOutput() const noexcept {
    const State& state = *state_;
    return !state.failed && (!state.inflated.empty() || state.corrupt || state.inflater.has_more());
}

void StreamFilter::FromClient(std::span<const std::uint8_t> bytes, Clock::time_point) {
    State& state = *state_;
    const std::size_t to_client_before = state.to_client.size();
    const std::size_t to_server_before = state.to_server.size();
    State::ClientSink sink{state};
    state.client_parser.Feed(bytes, sink);
    state.counters.bytes_from_client += bytes.size();
    state.counters.bytes_to_client += state.to_client.size() - to_client_before;
    state.counters.bytes_to_server += state.to_server.size() - to_server_before;
}

std::optional<Clock::time_point> StreamFilter::HoldDeadline() const noexcept {
    return state_->lines.holding() ? state_->hold_deadline : std::nullopt;
}

void StreamFilter::OnHoldExpired(Clock::time_point now) {
    State& state = *state_;
    if (!state.lines.holding() || !state.hold_deadline || now < *state.hold_deadline) {
        return;
    }
    const std::size_t before = state.to_client.size();
    state.lines.SendHeld();
    state.hold_deadline.reset();
    state.counters.bytes_to_client += state.to_client.size() - before;
}

void StreamFilter::FinishServer() {
    State& state = *state_;
    const std::size_t before = state.to_client.size();
    state.Pump({}, false);
    if (!state.failed) {
        // A command cut off by the end goes out as it came.
        state.lines.SendHeld();
        const std::string_view unfinished = state.server_parser.UnfinishedCommand();
        if (state.server_parser.InSubnegotiationAfterIac() && !state.server_sub_dropped) {
            state.to_client += static_cast<char>(telnet::kIac);
        }
        state.to_client += unfinished;
    }
    state.hold_deadline.reset();
    state.counters.bytes_to_client += state.to_client.size() - before;
}

void StreamFilter::SendLineToClient(std::string_view text) {
    State& state = *state_;
    const std::size_t before = state.to_client.size();
    state.lines.SendOwnLine(text);
    state.counters.bytes_to_client += state.to_client.size() - before;
}

std::string& StreamFilter::ToClient() noexcept {
    return state_->to_client;
}
std::string& StreamFilter::ToServer() noexcept {
    return state_->to_server;
}

bool StreamFilter::colouring() const noexcept {
    return state_->lines.enabled() != kColouringOff;
}
void StreamFilter::set_colouring(bool on) noexcept {
    state_->lines.set_enabled(on ? kColouringOn : kColouringOff);
}
void StreamFilter::set_save_hook(std::function<void(bool colouring)> save) {
    state_->save = std::move(save);
}

Appearance StreamFilter::appearance() const noexcept {
    return state_->lines.appearance();
}
void StreamFilter::set_appearance(Appearance appearance) noexcept {
    state_->lines.set_appearance(appearance);
}
void StreamFilter::set_appearance_save_hook(
    std::function<void(const AppearanceChoice& choice)> save) {
    state_->save_appearance = std::move(save);
}

bool StreamFilter::failed() const noexcept {
    return state_->failed;
}
const StreamCounters& StreamFilter::counters() const noexcept {
    state_->counters.lines_coloured = state_->lines.lines_coloured();
    return state_->counters;
}

}  // namespace brawlhue::stream
