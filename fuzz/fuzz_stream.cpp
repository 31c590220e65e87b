// The stream filter on any game stream, cut into any pieces, with the hold time running out
// anywhere: it never crashes, its output stays bounded, and what the client gets, with the
// colour and reset sequences it inserted taken out, is the game's stream with the compression
// negotiation taken out and compressed data inflated.
//
// Input: a flags byte (1: compression allowed, 2: no hold time, 4: colouring off), a byte that
// seeds the cutting, then the game's bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/reference_telnet.h"
#include "fuzz/require.h"
#include "stream/stream_filter.h"

namespace brawlhue::fuzz {
namespace {

// What colouring may add: the reset and the opening of each colour of the cascade.
constexpr std::array<std::string_view, 6> kInserted{
    "\x1b[0m", "\x1b[36;40;1m", "\x1b[37;40;1m", "\x1b[31;40;1m", "\x1b[32;40;1m", "\x1b[36;42;1m",
};

// Whether output is expected with some of the inserted sequences added at some places. A
// search over (position in output, position in expected): the game's own text may hold the
// same sequences, so a match can be either.
bool IsWithInsertions(std::string_view output, std::string_view expected) {
    std::vector<std::pair<std::size_t, std::size_t>> pending{{0, 0}};
    std::unordered_set<std::uint64_t> seen;
    while (!pending.empty()) {
        const auto [i, j] = pending.back();
        pending.pop_back();
        if (!seen.insert((std::uint64_t{i} << 32) | j).second) {
            continue;
        }
        if (i == output.size() && j == expected.size()) {
            return true;
        }
        if (i < output.size() && j < expected.size() && output[i] == expected[j]) {
            pending.emplace_back(i + 1, j + 1);
        }
        for (std::string_view sequence : kInserted) {
            if (output.substr(i).starts_with(sequence)) {
                pending.emplace_back(i + sequence.size(), j);
            }
        }
    }
    return false;
}

class Cutter {
  public:
    explicit Cutter(std::uint8_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint32_t Next() {
        state_ = state_ * 1103515245u + 12345u;
        return state_ >> 8;
    }

  private:
    std::uint32_t state_;
};

}  // namespace
}  // namespace brawlhue::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brawlhue::fuzz;
    using brawlhue::stream::Clock;
    using brawlhue::stream::StreamFilter;
    if (size < 2) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    brawlhue::stream::StreamSettings settings;
    settings.compression = (flags & 1) != 0;
    settings.hold_time = std::chrono::milliseconds((flags & 2) != 0 ? 0 : 20);
    settings.colouring = (flags & 4) == 0;
    Cutter cutter(data[1]);
    const std::string_view game = AsBytes(data + 2, size - 2);
    const auto context = [&] { PrintBytes("game", game); };

    StreamFilter filter(settings);
    Clock::time_point now{};
    std::string output;
    const auto drain = [&] {
        Require(filter.ToClient().size() < 4 * StreamFilter::kOutputBound,
                "the output stays near its bound", context);
        output += filter.ToClient();
        filter.ToClient().clear();
    };
    for (std::size_t at = 0; at < game.size() && !filter.failed();) {
        const std::size_t piece = std::min<std::size_t>(1 + cutter.Next() % 64, game.size() - at);
        std::size_t taken = 0;
        while (!filter.failed() && (taken < piece || filter.HasPendingOutput())) {
            const std::size_t took =
                filter.FromServer(std::span(data + 2 + at + taken, piece - taken), now);
            Require(took > 0 || filter.HasPendingOutput() || filter.failed() ||
                        !filter.ToClient().empty(),
                    "FromServer makes progress", context);
            taken += took;
            drain();
        }
        at += piece;
        // The game pauses longer than the hold time behind one piece in eight.
        now += std::chrono::milliseconds(cutter.Next() % 8 == 0 ? 30 : 1);
        if (filter.HoldDeadline() && *filter.HoldDeadline() <= now) {
            filter.OnHoldExpired(now);
        }
        drain();
    }
    filter.FinishServer();
    drain();

    const TelnetReference reference = ReferenceClientStream(game, settings.compression);
    Require(reference.unreadable == filter.failed(),
            "the filter fails exactly on compressed data zlib rejects", context);
    if (filter.failed()) {
        return 0;
    }
    const bool same = !settings.colouring ? output == reference.to_client
                                          : IsWithInsertions(output, reference.to_client);
    Require(same, "the output is the game's stream with only colour sequences added", [&] {
        context();
        PrintBytes("output", output);
        PrintBytes("expected", reference.to_client);
    });
    return 0;
}
