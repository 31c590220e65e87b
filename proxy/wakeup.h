// Wake-ups between the loops of one connection, on one thread: a timer that never expires by
// itself, cancelled to wake its waiter. Cancellation of the awaiting operation (the end of an
// `||`) ends the wait too; the waiter then checks why it woke.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <optional>

namespace brawlhue::proxy {

inline constexpr auto use_tuple = asio::experimental::as_tuple(asio::use_awaitable);

// One waiter at a time: a new Wait resets the timer, which would wake another waiter.
class Wakeup {
  public:
    explicit Wakeup(const asio::any_io_executor& executor)
        : timer_(executor, asio::steady_timer::time_point::max()) {}

    void Notify() { timer_.cancel(); }

    // Until Notify, the deadline if any, or the cancellation of the awaiting operation.
    asio::awaitable<void> Wait(std::optional<asio::steady_timer::time_point> deadline) {
        timer_.expires_at(deadline.value_or(asio::steady_timer::time_point::max()));
        co_await timer_.async_wait(use_tuple);
    }

  private:
    asio::steady_timer timer_;
};

// Any number of waiters, released once and for good.
class StopSignal {
  public:
    explicit StopSignal(const asio::any_io_executor& executor)
        : timer_(executor, asio::steady_timer::time_point::max()) {}

    void Stop() {
        stopped_ = true;
        timer_.cancel();
    }
    bool stopped() const noexcept { return stopped_; }

    asio::awaitable<void> Wait() {
        while (!stopped_) {
            const auto [error] = co_await timer_.async_wait(use_tuple);
            if (error && !stopped_) {
                co_return;  // the awaiting operation was cancelled
            }
        }
    }

  private:
    asio::steady_timer timer_;
    bool stopped_ = false;
};

}  // namespace brawlhue::proxy
