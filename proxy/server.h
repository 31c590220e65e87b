// The listening side: one Connection per accepted client, each in a coroutine of its own whose
// frame owns it, and an orderly stop on SIGINT or SIGTERM.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <set>

#include "proxy/connection.h"
#include "proxy/game_stream.h"
#include "proxy/options.h"
#include "proxy/state_store.h"

namespace brawlhue::proxy {

// How long the stop waits for connections to flush before it closes them.
inline constexpr std::chrono::seconds kStopGrace{3};

class Server {
  public:
    Server(asio::io_context& io, asio::ip::tcp::acceptor acceptor, const Options& options,
           TlsContext* tls, StateStore& state);

    // Accepts until Stop; each connection runs until it ends.
    asio::awaitable<void> Accept();

    // Stops accepting, asks every connection to flush and close, and closes those still open
    // after kStopGrace. The io_context's run then returns.
    void Stop();

  private:
    asio::awaitable<void> Serve(asio::ip::tcp::socket client, std::uint64_t id);
    asio::awaitable<void> CloseStragglers();

    asio::io_context& io_;
    asio::ip::tcp::acceptor acceptor_;
    const Options& options_;
    TlsContext* tls_;
    StateStore& state_;
    std::set<Connection*> live_;
    bool stopping_ = false;
};

}  // namespace brawlhue::proxy
