#include "proxy/game_stream.h"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/connect.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/write.hpp>

#ifdef BRAWLHUE_PROXY_TLS
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#endif

#include "proxy/wakeup.h"

namespace brawlhue::proxy {

using asio::ip::tcp;
using namespace asio::experimental::awaitable_operators;

std::unique_ptr<TlsContext> MakeTlsContext([[maybe_unused]] const std::string& ca_file,
                                           std::string& error) {
#ifdef BRAWLHUE_PROXY_TLS
    auto context = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_client);
    context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                         asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                         asio::ssl::context::no_tlsv1_1);
    context->set_verify_mode(asio::ssl::verify_peer);
    std::error_code failure;
    if (ca_file.empty()) {
        context->set_default_verify_paths(failure);
    } else {
        context->load_verify_file(ca_file, failure);
    }
    if (failure) {
        error =
            (ca_file.empty() ? std::string("the system's certificate store") : "--ca " + ca_file) +
            ": " + failure.message();
        return nullptr;
    }
    return context;
#else
    error = "this build has no TLS";
    return nullptr;
#endif
}

GameStream::GameStream(const asio::any_io_executor& executor, TlsContext* tls)
    : socket_(executor), tls_context_(tls) {}

GameStream::~GameStream() = default;

asio::awaitable<std::string> GameStream::Connect(const HostPort& game, std::chrono::seconds limit) {
    asio::steady_timer deadline(co_await asio::this_coro::executor, limit);
    const std::string timed_out = "no answer within " + std::to_string(limit.count()) + " s";

    tcp::resolver resolver(socket_.get_executor());
    auto resolved = co_await (resolver.async_resolve(game.host, game.port, use_tuple) ||
                              deadline.async_wait(use_tuple));
    if (resolved.index() == 1) {
        co_return timed_out;
    }
    const auto [resolve_error, endpoints] = std::get<0>(resolved);
    if (resolve_error) {
        co_return resolve_error.message();
    }

    auto connected = co_await (asio::async_connect(socket_, endpoints, use_tuple) ||
                               deadline.async_wait(use_tuple));
    if (connected.index() == 1) {
        co_return timed_out;
    }
    if (const auto error = std::get<0>(std::get<0>(connected))) {
        co_return error.message();
    }
    // Prompts and typed commands are small writes that must not wait for more.
    socket_.set_option(tcp::no_delay(true));

#ifdef BRAWLHUE_PROXY_TLS
    if (tls_context_ != nullptr) {
        tls_ = std::make_unique<asio::ssl::stream<tcp::socket&>>(socket_, *tls_context_);
        // The certificate must name the host as the player typed it: a name (also sent as SNI,
        // so that a server with several names presents the right certificate) or an address.
        SSL* session = tls_->native_handle();
        std::error_code not_an_address;
        asio::ip::make_address(game.host, not_an_address);
        if (not_an_address) {
            SSL_set_tlsext_host_name(session, game.host.c_str());
            SSL_set1_host(session, game.host.c_str());
        } else {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session), game.host.c_str());
        }
        auto handshake =
            co_await (tls_->async_handshake(asio::ssl::stream_base::client, use_tuple) ||
                      deadline.async_wait(use_tuple));
        if (handshake.index() == 1) {
            co_return "TLS: " + timed_out;
        }
        if (const auto [error] = std::get<0>(handshake); error) {
            const long verified = SSL_get_verify_result(tls_->native_handle());
            if (verified != X509_V_OK) {
                co_return "TLS certificate not accepted: " +
                    std::string(X509_verify_cert_error_string(verified));
            }
            co_return "TLS handshake failed: " + error.message();
        }
    }
#else
    (void)tls_context_;
#endif
    co_return std::string();
}

asio::awaitable<std::tuple<std::error_code, std::size_t>> GameStream::ReadSome(
    asio::mutable_buffer into) {
#ifdef BRAWLHUE_PROXY_TLS
    if (tls_) {
        return ReadTls(into);
    }
#endif
    return socket_.async_read_some(into,
                                   asio::bind_cancellation_slot(read_cancel_.slot(), use_tuple));
}

#ifdef BRAWLHUE_PROXY_TLS
asio::awaitable<std::tuple<std::error_code, std::size_t>> GameStream::ReadTls(
    asio::mutable_buffer into) {
    auto [error, size] = co_await tls_->async_read_some(
        into, asio::bind_cancellation_slot(read_cancel_.slot(), use_tuple));
    // Many games end a TLS session by closing the connection without close_notify: for a
    // stream of text lines that is the end of the game's side, as a plain close is.
    if (error == asio::ssl::error::stream_truncated) {
        error = asio::error::eof;
    }
    co_return std::tuple{error, size};
}
#endif

void GameStream::CancelRead() {
    read_cancel_.emit(asio::cancellation_type::terminal);
}

asio::awaitable<std::tuple<std::error_code, std::size_t>> GameStream::Write(
    asio::const_buffer bytes) {
#ifdef BRAWLHUE_PROXY_TLS
    if (tls_) {
        co_return co_await asio::async_write(*tls_, bytes, use_tuple);
    }
#endif
    co_return co_await asio::async_write(socket_, bytes, use_tuple);
}

void GameStream::Close() {
    std::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

}  // namespace brawlhue::proxy
