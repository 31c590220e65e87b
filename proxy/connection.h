// One client's session: its own connection to the game, the stream filter between the two, and
// four loops awaited together, one reader and one writer per socket:
//
//   from the game:   GameStream -> ReadGame -> StreamFilter::FromServer -> WriteClient -> client
//   from the client: client -> ReadClient -> StreamFilter::FromClient -> WriteGame -> GameStream
//
// A reader hands its bytes to the filter only while the filter's output towards the other side
// is below its bound, and a writer takes that output only once its previous write has
// completed: a side that stops reading stops the proxy reading the other side, and a
// connection holds at most two output buffers per direction. While the client's writer is idle,
// the readers write to the client themselves (DeliverToClient), so that a line costs one send
// and no wake-up; the writer takes only what the socket would not take at once.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "proxy/game_stream.h"
#include "proxy/options.h"
#include "proxy/state_store.h"
#include "proxy/wakeup.h"
#include "stream/stream_filter.h"

namespace brawlhue::proxy {

using stream::Clock;

// Per-direction read sizes: what one read can add to the filter's input at a time.
inline constexpr std::size_t kGameReadSize = 16 * 1024;
inline constexpr std::size_t kClientReadSize = 4 * 1024;
// How long the game may take to connect, and a closing side to take what is pending.
inline constexpr std::chrono::seconds kConnectLimit{15};
inline constexpr std::chrono::seconds kFlushLimit{5};

class Connection {
  public:
    Connection(std::uint64_t id, asio::ip::tcp::socket client, const Options& options,
               TlsContext* tls, StateStore& state);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The whole session, from the banner to both sockets closed.
    asio::awaitable<void> Run();

    // Stops reading both sides; what is pending is flushed and both sides are closed.
    void RequestStop();
    // After a stop that takes too long: both sockets closed at once.
    void ForceClose();

  private:
    asio::awaitable<void> ReadGame();
    asio::awaitable<void> WriteClient();
    asio::awaitable<void> ReadClient();
    asio::awaitable<void> WriteGame();
    void DeliverToClient();
    template <typename Direction>
    asio::awaitable<void> WriteLoop(Direction direction);
    // Writes bytes with write; false when that side is gone. While stopping, no longer than
    // kFlushLimit.
    template <typename Write>
    asio::awaitable<bool> Send(const std::string& bytes, Write write);
    asio::awaitable<bool> SendToClient(const std::string& bytes);
    asio::awaitable<bool> SendToGame(const std::string& bytes);
    std::string Describe() const;

    std::uint64_t id_;
    asio::ip::tcp::socket client_;
    std::string client_name_;
    const Options& options_;
    StateStore& state_;
    std::string game_name_;
    GameStream game_;
    stream::StreamFilter filter_;

    StopSignal stop_;
    Wakeup wake_read_game_;
    Wakeup wake_write_client_;
    Wakeup wake_read_client_;
    Wakeup wake_write_game_;
    asio::cancellation_signal client_read_cancel_;
    // A writer's send is under way; the deadline its wait was armed with (min while not waiting).
    bool client_writing_ = false;
    bool game_writing_ = false;
    Clock::time_point client_waits_until_ = Clock::time_point::min();
    Clock::time_point game_waits_until_ = Clock::time_point::min();
    bool game_open_ = true;     // the game may still send
    bool client_open_ = true;   // the client may still send
    bool client_gone_ = false;  // the client closed, failed or stopped taking bytes
    std::string closed_by_;     // which side ended the session, for the log
};

}  // namespace brawlhue::proxy
