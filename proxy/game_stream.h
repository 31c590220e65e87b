// The connection to the game: plain TCP, or TLS over it with the certificate verified against
// the trusted authorities and the game's host name (SNI set).
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <system_error>
#include <tuple>

#ifdef BRAWLHUE_PROXY_TLS
#include <asio/ssl/context.hpp>
#include <asio/ssl/stream.hpp>
#endif

#include "proxy/options.h"

namespace brawlhue::proxy {

#ifdef BRAWLHUE_PROXY_TLS
using TlsContext = asio::ssl::context;
#else
struct TlsContext {};
#endif

// The TLS settings shared by every connection: the system's store of authorities, or the one
// in ca_file. Nothing and error set when the file cannot be loaded.
std::unique_ptr<TlsContext> MakeTlsContext(const std::string& ca_file, std::string& error);

class GameStream {
  public:
    // tls is null for a plain connection; it outlives the stream.
    GameStream(const asio::any_io_executor& executor, TlsContext* tls);
    ~GameStream();
    GameStream(const GameStream&) = delete;
    GameStream& operator=(const GameStream&) = delete;

    // Resolves, connects (the first address that answers) and, with TLS, completes the
    // handshake, all within the time limit. An empty text on success, else why it failed, in
    // words for the player.
    asio::awaitable<std::string> Connect(const HostPort& game, std::chrono::seconds limit);

    // One read at a time; CancelRead ends the one under way, if any, with an error.
    asio::awaitable<std::tuple<std::error_code, std::size_t>> ReadSome(asio::mutable_buffer into);
    void CancelRead();
    asio::awaitable<std::tuple<std::error_code, std::size_t>> Write(asio::const_buffer bytes);

    // Ends the connection at once; pending operations complete with an error.
    void Close();

  private:
#ifdef BRAWLHUE_PROXY_TLS
    asio::awaitable<std::tuple<std::error_code, std::size_t>> ReadTls(asio::mutable_buffer into);
#endif

    asio::ip::tcp::socket socket_;
    asio::cancellation_signal read_cancel_;
    TlsContext* tls_context_;
#ifdef BRAWLHUE_PROXY_TLS
    std::unique_ptr<asio::ssl::stream<asio::ip::tcp::socket&>> tls_;
#endif
};

}  // namespace brawlhue::proxy
