#include "proxy/connection.h"

#include <array>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/this_coro.hpp>
#include <asio/write.hpp>
#include <span>
#include <vector>

#include "proxy/log.h"

namespace brawlhue::proxy {

using asio::ip::tcp;
using namespace asio::experimental::awaitable_operators;
using stream::StreamFilter;

namespace {

// True once the operation awaiting this coroutine was cancelled (the end of an `&&` or `||`):
// a loop that sees it ends at once.
asio::awaitable<bool> Cancelled() {
    const auto state = co_await asio::this_coro::cancellation_state;
    co_return state.cancelled() != asio::cancellation_type::none;
}

}  // namespace

Connection::Connection(std::uint64_t id, tcp::socket client, const Options& options,
                       TlsContext* tls, StateStore& state)
    : id_(id),
      client_(std::move(client)),
      options_(options),
      state_(state),
      game_name_(options.connect.ToString()),
      game_(client_.get_executor(), options.tls ? tls : nullptr),
      filter_(stream::StreamSettings{options.hold_time, options.compression, true}),
      stop_(client_.get_executor()),
      wake_read_game_(client_.get_executor()),
      wake_write_client_(client_.get_executor()),
      wake_read_client_(client_.get_executor()),
      wake_write_game_(client_.get_executor()) {
    std::error_code error;
    const auto peer = client_.remote_endpoint(error);
    client_name_ = error ? std::string("a client") : EndpointText(peer);
    client_.set_option(tcp::no_delay(true), error);
    // DeliverToClient writes without waiting; a write that would wait is left to the writer.
    client_.non_blocking(true, error);
}

Connection::~Connection() = default;

std::string Connection::Describe() const {
    return "#" + std::to_string(id_);
}

void Connection::RequestStop() {
    stop_.Stop();
    game_.CancelRead();
    client_read_cancel_.emit(asio::cancellation_type::terminal);
    wake_read_game_.Notify();
    wake_write_client_.Notify();
    wake_read_client_.Notify();
    wake_write_game_.Notify();
}

void Connection::ForceClose() {
    std::error_code ignored;
    client_.close(ignored);
    game_.Close();
}

asio::awaitable<void> Connection::Run() {
    Log(Describe() + " opened by " + client_name_);

    // --off starts this run's sessions off and leaves what is stored alone; only the player's
    // '#brawlhue on|off' is saved, not the state a session ends in: several sessions to one
    // game share its entry, and one closing must not undo another's choice.
    bool colouring = true;
    if (options_.start_off) {
        colouring = false;
    } else if (const auto stored = state_.Flag(game_name_)) {
        colouring = *stored;
    }
    filter_.set_colouring(colouring);
    filter_.set_save_hook([this](bool on) { state_.Set(game_name_, on); });
    // The palette and tags are the other way round: --palette and --tags are only for a game
    // whose player has not chosen them yet, each on its own.
    const stream::AppearanceChoice stored = state_.StoredAppearance(game_name_);
    filter_.set_appearance({stored.palette.value_or(options_.appearance.palette),
                            stored.tags.value_or(options_.appearance.tags)});
    filter_.set_appearance_save_hook([this](const stream::AppearanceChoice& choice) {
        state_.SetAppearance(game_name_, choice);
    });

    auto connected = co_await (game_.Connect(options_.connect, kConnectLimit) || stop_.Wait());
    const std::string failure =
        connected.index() == 1 ? std::string("the proxy is stopping") : std::get<0>(connected);
    if (!failure.empty()) {
        filter_.SendLineToClient("brawlhue-proxy: cannot connect to " + game_name_ + ": " +
                                 failure);
        std::string line;
        line.swap(filter_.ToClient());
        co_await SendToClient(line);
        std::error_code ignored;
        client_.shutdown(tcp::socket::shutdown_send, ignored);
        client_.close(ignored);
        Log(Describe() + " closed: cannot connect to " + game_name_ + ": " + failure);
        co_return;
    }

    filter_.SendLineToClient("brawlhue-proxy " + std::string(kVersion) + ": connected to " +
                             game_name_ + (options_.tls ? " (TLS)" : "") + ", colouring " +
                             (filter_.colouring() ? "on" : "off") +
                             ". Type '#brawlhue help' for the command.");
    if (!state_.reset_notice().empty()) {
        filter_.SendLineToClient("brawlhue-proxy: " + state_.reset_notice());
    }
    Log(Describe() + " connected to " + game_name_ + ", colouring " +
        (filter_.colouring() ? "on" : "off"));

    co_await (ReadGame() && WriteClient() && ReadClient() && WriteGame());

    // A client still there is told why the session ends, unless the filter has said so already.
    if (!client_gone_ && !filter_.failed()) {
        filter_.SendLineToClient(
            "brawlhue-proxy: " +
            (closed_by_ == "the game closed" ? std::string("the game closed the connection.")
             : closed_by_.empty()            ? std::string("the proxy is stopping.")
                                             : "the connection ended: " + closed_by_ + "."));
        std::string line;
        line.swap(filter_.ToClient());
        co_await SendToClient(line);
    }
    std::error_code ignored;
    client_.shutdown(tcp::socket::shutdown_send, ignored);
    client_.close(ignored);
    game_.Close();
    const auto& counters = filter_.counters();
    Log(Describe() + " closed (" + (closed_by_.empty() ? "stopped" : closed_by_) +
        "): " + std::to_string(counters.bytes_from_server) + " bytes from the game, " +
        std::to_string(counters.bytes_to_client) + " to the client, " +
        std::to_string(counters.bytes_from_client) + " from the client, " +
        std::to_string(counters.bytes_to_server) + " to the game, " +
        std::to_string(counters.lines_coloured) + " lines coloured");
}

asio::awaitable<void> Connection::ReadGame() {
    std::vector<std::uint8_t> buffer(kGameReadSize);
    while (game_open_ && !stop_.stopped()) {
        const auto [error, size] = co_await game_.ReadSome(asio::buffer(buffer));
        if (stop_.stopped()) {
            break;  // RequestStop cancelled the read
        }
        if (error) {
            if (closed_by_.empty()) {
                closed_by_ = error == asio::error::eof ? std::string("the game closed")
                                                       : "the game: " + error.message();
            }
            break;
        }
        std::span<const std::uint8_t> rest(buffer.data(), size);
        while (!rest.empty() || filter_.HasPendingOutput()) {
            // Room first: the filter's output towards each side stays below its bound.
            while (filter_.ToClient().size() >= StreamFilter::kOutputBound ||
                   filter_.ToServer().size() >= StreamFilter::kOutputBound) {
                wake_write_client_.Notify();
                wake_write_game_.Notify();
                if (!stop_.stopped()) {
                    co_await wake_read_game_.Wait(std::nullopt);
                }
                if (stop_.stopped() || co_await Cancelled()) {
                    game_open_ = false;
                    wake_write_client_.Notify();
                    co_return;
                }
            }
            const std::size_t produced = filter_.ToClient().size();
            const std::size_t taken = filter_.FromServer(rest, Clock::now());
            rest = rest.subspan(taken);
            const bool more_out = filter_.ToClient().size() != produced;
            DeliverToClient();
            if (!filter_.ToServer().empty()) {
                wake_write_game_.Notify();
            }
            if (filter_.failed()) {
                closed_by_ = "the game's compressed stream is corrupt";
                game_open_ = false;
                wake_write_client_.Notify();  // it ends the session once the rest is out
                co_return;
            }
            if (taken == 0 && !more_out && filter_.ToClient().size() < StreamFilter::kOutputBound) {
                break;  // nothing more comes out without more input
            }
        }
    }
    if (!filter_.failed()) {
        filter_.FinishServer();  // what is held of an unfinished line goes out as it is
    }
    game_open_ = false;
    wake_write_client_.Notify();
}

// A line costs one send and no wake-up: what waits for the client is written at once when no
// write is under way and the socket takes it without waiting. The writer is woken only for what
// the socket left (or an error, which its own write then meets and handles), or when the
// filter's hold deadline comes before the one it waits for; a later deadline it finds itself
// when it wakes at its own.
void Connection::DeliverToClient() {
    std::string& output = filter_.ToClient();
    if (!output.empty() && !client_writing_ && !client_gone_) {
        std::error_code error;
        const std::size_t written = client_.write_some(asio::buffer(output), error);
        if (written == output.size()) {
            output.clear();
        } else {
            output.erase(0, written);
        }
    }
    const auto hold = filter_.HoldDeadline();
    if (!output.empty() || (hold && *hold < client_waits_until_)) {
        wake_write_client_.Notify();
    }
}

// Both directions' writer: takes the filter's output towards its side only once the previous
// write has completed, and ends the session once the other side can send no more and all of
// it is out. Only the client's side holds an unfinished line by the filter's clock.
template <typename Direction>
asio::awaitable<void> Connection::WriteLoop(Direction direction) {
    std::string sending;
    for (;;) {
        if (!direction.output().empty()) {
            sending.swap(direction.output());
            direction.took();
            direction.writing = true;
            const bool sent = co_await direction.send(sending);
            direction.writing = false;
            sending.clear();
            if (!sent) {
                if (closed_by_.empty()) {
                    closed_by_ = direction.stopped_taking;
                }
                direction.refused();
                RequestStop();
                co_return;
            }
            continue;
        }
        if (!direction.source_open()) {
            RequestStop();  // everything from the other side is out: the session ends
            co_return;
        }
        std::optional<Clock::time_point> deadline;
        if (direction.holds) {
            deadline = filter_.HoldDeadline();
            if (deadline && Clock::now() >= *deadline) {
                filter_.OnHoldExpired(Clock::now());
                continue;
            }
        }
        direction.waits_until = deadline.value_or(Clock::time_point::max());
        co_await direction.wake.Wait(deadline);
        direction.waits_until = Clock::time_point::min();
        if (co_await Cancelled()) {
            co_return;
        }
    }
}

asio::awaitable<void> Connection::WriteClient() {
    struct {
        Connection& self;
        Wakeup& wake;
        bool& writing;
        Clock::time_point& waits_until;
        const char* stopped_taking = "the client stopped taking bytes";
        bool holds = true;
        std::string& output() { return self.filter_.ToClient(); }
        void took() { self.wake_read_game_.Notify(); }
        asio::awaitable<bool> send(const std::string& bytes) { return self.SendToClient(bytes); }
        void refused() {
            self.client_gone_ = true;
            self.client_open_ = false;
        }
        bool source_open() const { return self.game_open_; }
    } towards_client{*this, wake_write_client_, client_writing_, client_waits_until_};
    return WriteLoop(towards_client);
}

asio::awaitable<void> Connection::ReadClient() {
    std::array<std::uint8_t, kClientReadSize> buffer;
    while (!stop_.stopped()) {
        const auto [error, size] = co_await client_.async_read_some(
            asio::buffer(buffer),
            asio::bind_cancellation_slot(client_read_cancel_.slot(), use_tuple));
        if (stop_.stopped()) {
            break;  // RequestStop cancelled the read
        }
        if (error) {
            if (closed_by_.empty()) {
                closed_by_ = error == asio::error::eof ? std::string("the client closed")
                                                       : "the client: " + error.message();
            }
            client_gone_ = true;
            break;
        }
        filter_.FromClient({buffer.data(), size}, Clock::now());
        wake_write_game_.Notify();
        DeliverToClient();
        // The next read waits until the game has taken this one's bytes.
        while (!filter_.ToServer().empty() && !stop_.stopped()) {
            co_await wake_read_client_.Wait(std::nullopt);
            if (co_await Cancelled()) {
                co_return;
            }
        }
    }
    client_open_ = false;
    wake_write_game_.Notify();
}

asio::awaitable<void> Connection::WriteGame() {
    struct {
        Connection& self;
        Wakeup& wake;
        bool& writing;
        Clock::time_point& waits_until;
        const char* stopped_taking = "the game stopped taking bytes";
        bool holds = false;
        std::string& output() { return self.filter_.ToServer(); }
        void took() {
            self.wake_read_client_.Notify();
            self.wake_read_game_.Notify();
        }
        asio::awaitable<bool> send(const std::string& bytes) { return self.SendToGame(bytes); }
        void refused() {}
        bool source_open() const { return self.client_open_; }
    } towards_game{*this, wake_write_game_, game_writing_, game_waits_until_};
    return WriteLoop(towards_game);
}

template <typename Write>
asio::awaitable<bool> Connection::Send(const std::string& bytes, Write write) {
    if (!stop_.stopped()) {
        const auto [error, size] = co_await write(asio::buffer(bytes));
        co_return !error;
    }
    asio::steady_timer limit(client_.get_executor(), kFlushLimit);
    auto result = co_await (write(asio::buffer(bytes)) || limit.async_wait(use_tuple));
    co_return result.index() == 0 && !std::get<0>(std::get<0>(result));
}

asio::awaitable<bool> Connection::SendToClient(const std::string& bytes) {
    return Send(bytes, [this](asio::const_buffer buffer) {
        return asio::async_write(client_, buffer, use_tuple);
    });
}

asio::awaitable<bool> Connection::SendToGame(const std::string& bytes) {
    return Send(bytes, [this](asio::const_buffer buffer) { return game_.Write(buffer); });
}

}  // namespace brawlhue::proxy
