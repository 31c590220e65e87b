// brawlhue-proxy --connect HOST:PORT [options]: relays each client that connects to the game,
// colouring the combat lines on the way. One thread; every socket and timer is Asio's.
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "proxy/game_stream.h"
#include "proxy/log.h"
#include "proxy/options.h"
#include "proxy/server.h"
#include "proxy/state_store.h"

namespace {

using asio::ip::tcp;
using brawlhue::proxy::Log;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The listening socket, bound; nothing (reported) when the address cannot be used.
std::optional<tcp::acceptor> Listen(asio::io_context& io, const brawlhue::proxy::Options& options) {
    std::error_code error;
    tcp::resolver resolver(io);
    const auto endpoints =
        resolver.resolve(options.listen.host, options.listen.port, tcp::resolver::passive, error);
    if (error || endpoints.empty()) {
        Log("cannot listen on " + options.listen.ToString() + ": " +
            (error ? error.message() : "no address"));
        return std::nullopt;
    }
    const tcp::endpoint endpoint = *endpoints.begin();
    // Anyone who can reach a non-loopback address could use the proxy to reach the game in the
    // player's name: that takes an explicit --allow-remote.
    if (!endpoint.address().is_loopback() && !options.allow_remote) {
        Log("refusing to listen on " + options.listen.ToString() +
            ", which is not a loopback address: anyone who reaches it could use the game through "
            "this proxy; add --allow-remote if that is what you want");
        return std::nullopt;
    }
    tcp::acceptor acceptor(io);
    acceptor.open(endpoint.protocol(), error);
    if (!error) {
        acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
        acceptor.bind(endpoint, error);
    }
    if (!error) {
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        Log("cannot listen on " + options.listen.ToString() + ": " + error.message());
        return std::nullopt;
    }
    return acceptor;
}

// One look-up of the game at start, so that a mistyped --connect shows at once. Only a warning:
// the network may come up later, and each connection looks the game up again.
void WarnIfUnresolvable(asio::io_context& io, const brawlhue::proxy::HostPort& game) {
    tcp::resolver resolver(io);
    std::error_code error;
    resolver.resolve(game.host, game.port, error);
    if (error) {
        Log("warning: " + game.ToString() + " cannot be looked up now (" + error.message() +
            "); each connection tries again");
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
    // A client gone mid-write must show up as a failed write, not end the proxy.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    using namespace brawlhue::proxy;

    std::string error;
    const auto options =
        ParseOptions({argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)}, error);
    if (!options) {
        std::fprintf(stderr, "brawlhue-proxy: %s\n%.*s", error.c_str(),
                     static_cast<int>(kUsage.size()), kUsage.data());
        return kExitUsage;
    }
    if (options->help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
    }
    if (options->version) {
        std::printf("brawlhue-proxy %.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
        return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
    }

    try {
        // A state file that cannot be is refused before anything starts, as a wrong option is.
        // Declared first, so that its last save is waited for after everything else is gone.
        const auto state = StateStore::Open(options->state_file, error);
        if (!state) {
            Log(error);
            return kExitUsage;
        }
        std::unique_ptr<TlsContext> tls;
        if (options->tls) {
            tls = MakeTlsContext(options->ca_file, error);
            if (!tls) {
                Log("TLS: " + error);
                return kExitFailure;
            }
        }
        asio::io_context io(1);
        // Taken over before "listening" is said: whoever reads that line may stop us at once,
        // and a signal that comes before the wait below is kept for it.
        asio::signal_set signals(io, SIGINT, SIGTERM);
        auto acceptor = Listen(io, *options);
        if (!acceptor) {
            return kExitFailure;
        }
        WarnIfUnresolvable(io, options->connect);
        Log("listening on " + EndpointText(acceptor->local_endpoint()) + ", relaying to " +
            options->connect.ToString() + (options->tls ? " with TLS" : "") + "; state file " +
            (state->path().empty() ? std::string("(none)") : state->path()));

        Server server(io, std::move(*acceptor), *options, tls.get(), *state);
        signals.async_wait([&server](const std::error_code& failure, int signal) {
            if (!failure) {
                Log(std::string("signal ") + std::to_string(signal) + " received");
                server.Stop();
            }
        });
        asio::co_spawn(io, server.Accept(), [&signals](std::exception_ptr failure) {
            LogFailure("accepting ended by an error")(failure);
            std::error_code ignored;
            signals.cancel(ignored);  // nothing is left to stop: let run() return
        });
        io.run();
        Log("stopped");
        return kExitSuccess;
    } catch (const std::exception& e) {
        Log(std::string("fatal: ") + e.what());
        return kExitFailure;
    }
}
