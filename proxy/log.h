// One line on standard error per event, prefixed with the program's name.
#pragma once

#include <asio/ip/tcp.hpp>
#include <exception>
#include <string>
#include <string_view>

namespace brawlhue::proxy {

void Log(std::string_view line);

// A co_spawn completion handler: what ended the coroutine by an exception is logged as
// "WHAT: reason".
inline auto LogFailure(std::string what) {
    return [what = std::move(what)](std::exception_ptr failure) {
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                Log(what + ": " + e.what());
            }
        }
    };
}

// address:port, with brackets around an IPv6 address, as the log and the client see it.
inline std::string EndpointText(const asio::ip::tcp::endpoint& endpoint) {
    const auto address = endpoint.address().to_string();
    const auto port = std::to_string(endpoint.port());
    return endpoint.address().is_v6() ? "[" + address + "]:" + port : address + ":" + port;
}

}  // namespace brawlhue::proxy
