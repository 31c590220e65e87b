#include "proxy/server.h"

#include <asio/co_spawn.hpp>
#include <asio/steady_timer.hpp>
#include <exception>

#include "proxy/log.h"
#include "proxy/wakeup.h"

namespace brawlhue::proxy {

using asio::ip::tcp;

Server::Server(asio::io_context& io, tcp::acceptor acceptor, const Options& options,
               TlsContext* tls, StateStore& state)
    : io_(io), acceptor_(std::move(acceptor)), options_(options), tls_(tls), state_(state) {}

asio::awaitable<void> Server::Accept() {
    std::uint64_t next_id = 1;
    while (!stopping_) {
        auto [error, client] = co_await acceptor_.async_accept(use_tuple);
        if (stopping_) {
            break;
        }
        if (error) {
            // Out of descriptors, or a client gone before it was accepted: go on accepting,
            // after a pause that keeps a persistent failure from spinning.
            Log("accept: " + error.message());
            asio::steady_timer pause(io_, std::chrono::milliseconds(100));
            co_await pause.async_wait(use_tuple);
            continue;
        }
        const std::uint64_t id = next_id++;
        asio::co_spawn(io_, Serve(std::move(client), id),
                       LogFailure("#" + std::to_string(id) + " ended by an error"));
    }
}

asio::awaitable<void> Server::Serve(tcp::socket client, std::uint64_t id) {
    Connection connection(id, std::move(client), options_, tls_, state_);
    live_.insert(&connection);
    struct Unregister {
        std::set<Connection*>& live;
        Connection* connection;
        ~Unregister() { live.erase(connection); }
    } unregister{live_, &connection};
    if (stopping_) {
        connection.RequestStop();
    }
    co_await connection.Run();
}

void Server::Stop() {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    Log("stopping: " + std::to_string(live_.size()) + " connection(s) open");
    std::error_code ignored;
    acceptor_.close(ignored);
    for (Connection* connection : live_) {
        connection->RequestStop();
    }
    asio::co_spawn(io_, CloseStragglers(), LogFailure("closing the last connections"));
}

asio::awaitable<void> Server::CloseStragglers() {
    const auto give_up = std::chrono::steady_clock::now() + kStopGrace;
    asio::steady_timer tick(io_);
    while (!live_.empty() && std::chrono::steady_clock::now() < give_up) {
        tick.expires_after(std::chrono::milliseconds(50));
        co_await tick.async_wait(use_tuple);
    }
    for (Connection* connection : live_) {
        connection->ForceClose();
    }
}

}  // namespace brawlhue::proxy
