// The stream filter driven by one table of cases: each case is fed whole, split in two at every
// offset of each piece, and one byte at a time, and must come out the same every way. Pauses
// longer than the hold time are part of a case; between the other pieces the clock stands.
#include "stream/stream_filter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "stream/telnet_parser.h"
#include "tests/compressed_stream.h"

namespace brawlhue::stream {
namespace {

using ::brawlhue::mccp::Compressed;

using namespace std::string_literals;

const std::string kIac = "\xFF";
const std::string kGa = kIac + "\xF9";
const std::string kEor = kIac + "\xEF";
const std::string kWill = kIac + "\xFB";
const std::string kDo = kIac + "\xFD";
const std::string kWont = kIac + "\xFC";
const std::string kDont = kIac + "\xFE";
const std::string kSb = kIac + "\xFA";
const std::string kSe = kIac + "\xF0";
const std::string kMccp2 = "\x56";
const std::string kReset = "\x1b[0m";

std::string OwnHit(std::string_view text) {
    return "\x1b[36;40;1m" + std::string(text) + kReset;
}
std::string OnYou(std::string_view text) {
    return "\x1b[31;40;1m" + std::string(text) + kReset;
}
// The colourblind palette's looks, with the spoken tag when tagged.
std::string ColourblindHit(std::string_view text, bool tagged = false) {
    return "\x1b[36;44;1m" + std::string(tagged ? "Hit: " : "") + std::string(text) + kReset;
}
std::string ColourblindOnYou(std::string_view text, bool tagged = false) {
    return "\x1b[33;41;1m" + std::string(tagged ? "Ouch: " : "") + std::string(text) + kReset;
}
constexpr Appearance kColourblindTagged{FindPalette(u"colourblind"), true};
// The command's answers: one line framed by empty lines.
std::string Answer(std::string_view text) {
    return "\r\n" + std::string(text) + "\r\n\r\n";
}

// A compressed stream that goes on: flushed to a byte boundary, with no end.
std::string CompressedUnfinished(std::string_view plain) {
    z_stream stream{};
    deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    std::string out(deflateBound(&stream, static_cast<uLong>(plain.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_SYNC_FLUSH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

// What happens to the filter, in order.
struct Step {
    enum Kind { kServer, kClient, kPause, kEnd } kind;
    std::string bytes;
};
Step Server(std::string bytes) {
    return {Step::kServer, std::move(bytes)};
}
Step Client(std::string bytes) {
    return {Step::kClient, std::move(bytes)};
}
const Step kPause{Step::kPause, ""};
const Step kEnd{Step::kEnd, ""};

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::string to_client;
    std::string to_server = "";
    bool compression = true;
    Appearance appearance = {};
};

struct Outcome {
    std::string to_client;
    std::string to_server;
};

// Escapes shown as hex; only around the first difference, since some outputs are megabytes.
std::string Excerpt(std::string_view bytes, std::size_t at) {
    std::string shown;
    const std::size_t from = at < 40 ? 0 : at - 40;
    for (char byte : bytes.substr(from, 80)) {
        const auto code = static_cast<unsigned char>(byte);
        shown += code >= 0x20 && code < 0x7F ? std::string(1, byte) : "\\x" + std::to_string(code);
    }
    return shown;
}

testing::AssertionResult SameStream(std::string_view expected, std::string_view actual) {
    if (expected == actual) {
        return testing::AssertionSuccess();
    }
    const std::size_t at = static_cast<std::size_t>(
        std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
        expected.begin());
    return testing::AssertionFailure()
           << "first difference at byte " << at << "\n  expected: " << Excerpt(expected, at)
           << "\n  actual:   " << Excerpt(actual, at);
}

testing::AssertionResult Same(const Outcome& expected, const Outcome& actual) {
    if (auto client = SameStream(expected.to_client, actual.to_client); !client) {
        return client << " (to the client)";
    }
    if (auto server = SameStream(expected.to_server, actual.to_server); !server) {
        return server << " (to the game)";
    }
    return testing::AssertionSuccess();
}

std::size_t most_held = 0;

// Feeds the steps, each server or client piece cut by cut_piece into smaller pieces.
template <typename Cut>
Outcome Feed(const Case& c, Cut cut_piece) {
    StreamSettings settings;
    settings.compression = c.compression;
    settings.appearance = c.appearance;
    StreamFilter filter(settings);
    Clock::time_point now{};
    Outcome out;
    const auto drain = [&] {
        most_held = std::max(most_held, filter.ToClient().size());
        out.to_client += filter.ToClient();
        out.to_server += filter.ToServer();
        filter.ToClient().clear();
        filter.ToServer().clear();
    };
    for (std::size_t at = 0; at < c.steps.size(); ++at) {
        const Step& step = c.steps[at];
        if (step.kind == Step::kPause) {
            now += settings.hold_time * 2;
            if (filter.HoldDeadline()) {
                filter.OnHoldExpired(now);
            }
        } else if (step.kind == Step::kEnd) {
            filter.FinishServer();
        }
        for (std::string_view piece : cut_piece(step.bytes)) {
            const auto bytes =
                std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
            if (step.kind == Step::kClient) {
                filter.FromClient(bytes, now);
                continue;
            }
            std::size_t taken = 0;
            do {
                taken += filter.FromServer(bytes.subspan(taken), now);
                drain();
            } while (!filter.failed() && (taken < bytes.size() || filter.HasPendingOutput()));
            // Within the hold time nothing of an unfinished line goes out early.
            EXPECT_TRUE(!filter.HoldDeadline() || *filter.HoldDeadline() > now);
        }
        drain();
    }
    return out;
}

std::vector<std::string_view> Whole(std::string_view bytes) {
    return {bytes};
}
std::vector<std::string_view> Bytewise(std::string_view bytes) {
    std::vector<std::string_view> pieces;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        pieces.push_back(bytes.substr(i, 1));
    }
    return pieces;
}

const std::string kLongLine = "You hit " + std::string(70'000, 'x') + "'s head";
const std::string kHugeSub = kSb + "\xC9" + std::string(3 << 20, '\xFF') + kSe;

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"plain line",
         {Server("You hit the troll's head\r\n")},
         kReset + OwnHit("You hit the troll's head") + "\r\n"},
        {"speech and colouring of nothing",
         {Server("You say 'You hit the troll's head'\r\nThe room.\n")},
         "You say 'You hit the troll's head'\r\nThe room.\n"},
        {"IAC IAC in text",
         {Server("You hit the troll\xFF\xFF's head\r\n")},
         kReset + OwnHit("You hit the troll\xFF\xFF's head") + "\r\n"},
        {"IAC IAC in a subnegotiation",
         {Server("a" + kSb + "\x18\x01\xFF\xFF\x02" + kSe + "b\n")},
         "a" + kSb + "\x18\x01\xFF\xFF\x02" + kSe + "b\n"},
        {"unknown options pass",
         {Server(kWill + "\xC8" + kDo + "\x1F" + kDont + "\x01" + "x\n")},
         kWill + "\xC8" + kDo + "\x1F" + kDont + "\x01" + "x\n"},
        {"subnegotiation amid a prompt",
         {Server("* HP:12 > " + kSb + "\xC9{\"a\":1}" + kSe + "You hit the troll's head\r\n")},
         "* HP:12 > " + kSb + "\xC9{\"a\":1}" + kSe + kReset + OwnHit("You hit the troll's head") +
             "\r\n"},
        {"compressed mid-piece, plain behind it",
         {Server("Hi\r\n" + kWill + kMccp2 + kSb + kMccp2 + kSe +
                 Compressed("You hit the troll's head\r\n" + kGa) + "after\r\n")},
         "Hi\r\n" + kReset + OwnHit("You hit the troll's head") + "\r\n" + kGa + "after\r\n",
         kDo + kMccp2},
        {"compression refused when off",
         {Server(kWill + kMccp2 + kSb + kMccp2 + kSe + "x\n")},
         "x\n",
         kDont + kMccp2,
         false},
        {"versions 1 and 3 refused",
         {Server(kWill + "\x55" + kWill + "\x57" + kDo + kMccp2 + "x\n")},
         "x\n",
         kDont + "\x55" + kDont + "\x57" + kWont + kMccp2},
        {"LF, CR LF and LF CR endings",
         {Server("You hit the troll's head\n\r* HP:12 > Ouch!\n\rOuch!\r\nOuch!\n")},
         kReset + OwnHit("You hit the troll's head") + "\n\r" + kReset + "* HP:12 > " +
             OnYou("Ouch!") + "\n\r" + kReset + OnYou("Ouch!") + "\r\n" + kReset + OnYou("Ouch!") +
             "\n"},
        {"GA prompt, then the message",
         {Server("* HP:12 > " + kGa + "You hit the troll's head\r\n")},
         "* HP:12 > " + kGa + kReset + OwnHit("You hit the troll's head") + "\r\n"},
        {"EOR prompt, then the message",
         {Server("o HP:Hurt SP:Full MV:Tired > " + kEor + "Ouch!\n\r")},
         "o HP:Hurt SP:Full MV:Tired > " + kEor + kReset + OnYou("Ouch!") + "\n\r"},
        {"prompt held by the hold time",
         {Server("o HP:Hurt SP:Full MV:Tired > "), kPause, Server("Ouch!\r\n")},
         "o HP:Hurt SP:Full MV:Tired > " + kReset + OnYou("Ouch!") + "\r\n"},
        {"half a prompt held",
         {Server("o HP:Hu"), kPause, Server("rt SP:Full MV:Tired > Ouch!\r\n")},
         "o HP:Hu" + kReset + "rt SP:Full MV:Tired > " + OnYou("Ouch!") + "\r\n"},
        {"the message begun: uncoloured",
         {Server("* HP:12 > Ou"), kPause, Server("ch!\r\n")},
         "* HP:12 > Ouch!\r\n"},
        {"nothing held: nothing added",
         {Server("The room."), kPause, Server("\r\n")},
         "The room.\r\n"},
        {"Latin-1, UTF-8 and invalid bytes",
         {Server("You hit the caf\xE9's head\r\nYou hit the caf\xC3\xA9's head\r\n* "
                 "\xE2\x82\xAC\xC0 > Ouch!\r\n")},
         kReset + OwnHit("You hit the caf\xE9's head") + "\r\n" + kReset +
             OwnHit("You hit the caf\xC3\xA9's head") + "\r\n" + kReset + "* \xE2\x82\xAC\xC0 > " +
             OnYou("Ouch!") + "\r\n"},
        {"UTF-8 split by a pause",
         {Server("* \xE2\x82"), kPause, Server("\xAC > Ouch!\r\n")},
         "* \xE2\x82" + kReset + "\xAC > " + OnYou("Ouch!") + "\r\n"},
        {"a line over the cap goes uncoloured",
         {Server(kLongLine + "\r\nOuch!\r\n")},
         kLongLine + "\r\n" + kReset + OnYou("Ouch!") + "\r\n"},
        {"a subnegotiation of several MiB",
         {Server("* HP:12 > " + kHugeSub + "Ouch!\n")},
         "* HP:12 > " + kHugeSub + kReset + OnYou("Ouch!") + "\n"},
        {"the command while a prompt is out",
         {Server("* HP:12 > " + kGa), Client("#brawlhue status\r\n"),
          Server("You hit the troll's head\r\n")},
         "* HP:12 > " + kGa + "\r\n\r\nBrawlhue: Enabled.\r\n\r\n" + kReset +
             OwnHit("You hit the troll's head") + "\r\n"},
        {"the command switches colouring off",
         {Client("#Brawlhue OFF\r\n"), Server("You hit the troll's head\r\n")},
         "\r\nBrawlhue has been disabled.\r\n\r\nYou hit the troll's head\r\n"},
        {"ordinary input passes",
         {Client("kill troll\r\nsay #brawlhue on\r\n#brawlhuex\r\n#bra\r\n" + kIac + kIac +
                 "\r\n")},
         "",
         "kill troll\r\nsay #brawlhue on\r\n#brawlhuex\r\n#bra\r\n" + kIac + kIac + "\r\n"},
        {"the client's negotiation",
         {Client(kDo + kMccp2 + kWill + "\x55" + kWill + "\x1F" + kSb + "\x1F" +
                 "\x00\x50\x00\x18"s + kSe)},
         kWont + kMccp2 + kDont + "\x55",
         kWill + "\x1F" + kSb + "\x1F" + "\x00\x50\x00\x18"s + kSe},
        {"an unfinished command at the end",
         {Server("* HP:12 > " + kIac), kEnd},
         "* HP:12 > " + kIac},
        {"a corrupt compressed stream",
         {Server("Hi" + kSb + kMccp2 + kSe + "\x78\x9C\xFF\xFF\xFF\xFF" + "never shown\r\n")},
         "Hi\r\nBrawlhue: the game's compressed data cannot be read; the connection is "
         "closed.\r\n"},
        {"lines inflated before the damage still go out",
         {Server(kSb + kMccp2 + kSe +
                 CompressedUnfinished("You hit the troll's head\r\nOuch!\r\n* HP:12 > ") +
                 "\xFF\xFF\xFF\xFF" + "never shown\r\n")},
         kReset + OwnHit("You hit the troll's head") + "\r\n" + kReset + OnYou("Ouch!") +
             "\r\n* HP:12 > \r\nBrawlhue: the game's compressed data cannot be read; the "
             "connection is closed.\r\n"},
        {"colourblind and tags from the start",
         {Server("You hit the troll's head\r\no HP:Hu"), kPause,
          Server("rt SP:Full MV:Tired > Ouch!\r\nYou say 'Ouch!'\r\n"), Client("#brawlhue off\r\n"),
          Server("Ouch!\r\n")},
         kReset + ColourblindHit("You hit the troll's head", true) + "\r\no HP:Hu" + kReset +
             "rt SP:Full MV:Tired > " + ColourblindOnYou("Ouch!", true) +
             "\r\nYou say 'Ouch!'\r\n" + Answer("Brawlhue has been disabled.") + "Ouch!\r\n",
         "",
         true,
         kColourblindTagged},
        {"palette and tags switched line by line",
         {Client("#brawlhue palette colourblind\r\n"), Server("Ouch!\r\n"),
          Client("#Brawlhue TAGS on\r\n"), Server("* HP:12 > " + kGa + "Ouch!\r\n"),
          Client("#brawlhue palette Classic\n"), Server("Ouch!\r\n"),
          Client("#brawlhue tags off\r\n"), Server("Ouch!\r\n")},
         Answer("Brawlhue: Palette colourblind in use.") + kReset + ColourblindOnYou("Ouch!") +
             "\r\n" + Answer("Brawlhue: Spoken tags on.") + "* HP:12 > " + kGa + kReset +
             ColourblindOnYou("Ouch!", true) + "\r\n" +
             Answer("Brawlhue: Palette classic in use.") + kReset + "\x1b[31;40;1mOuch: Ouch!" +
             kReset + "\r\n" + Answer("Brawlhue: Spoken tags off.") + kReset + OnYou("Ouch!") +
             "\r\n"},
        {"palette and tags asked, or named wrongly: nothing changes",
         {Client("#brawlhue palette\r\n#brawlhue palette sepia\r\n#brawlhue tags\r\n"
                 "#brawlhue tags maybe\r\n#brawlhue status\r\n#brawlhue frob\r\n"),
          Server("Ouch!\r\n")},
         Answer("Brawlhue: Palettes: classic (in use), colourblind.") +
             Answer("Brawlhue: Unknown palette. Palettes: classic, colourblind.") +
             Answer("Brawlhue: Spoken tags are off; use '#brawlhue tags on' or '#brawlhue tags "
                    "off'.") +
             Answer("Brawlhue: Spoken tags are off; use '#brawlhue tags on' or '#brawlhue tags "
                    "off'.") +
             Answer("Brawlhue: Enabled.") +
             "\r\nBrawlhue: Unknown command.\r\nUse '#brawlhue help' for more "
             "information.\r\n\r\n" +
             kReset + OnYou("Ouch!") + "\r\n"},
    };
    return cases;
}

TEST(StreamFilter, EveryCaseComesOutAlikeHoweverItIsCut) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const Outcome expected{c.to_client, c.to_server};
        ASSERT_TRUE(Same(expected, Feed(c, Whole)));
        ASSERT_TRUE(Same(expected, Feed(c, Bytewise)));
        // Every offset of small pieces; a few through the big ones, near both ends too.
        for (std::size_t step = 0; step < c.steps.size(); ++step) {
            const std::string& whole = c.steps[step].bytes;
            std::vector<std::size_t> cuts;
            for (std::size_t cut = 1; cut < whole.size(); ++cut) {
                if (whole.size() < 4096 || cut < 16 || whole.size() - cut < 16 ||
                    cut % (whole.size() / 8) == 0) {
                    cuts.push_back(cut);
                }
            }
            for (std::size_t cut : cuts) {
                const auto split = [&](std::string_view bytes) {
                    if (bytes.data() != whole.data()) {
                        return Whole(bytes);
                    }
                    return std::vector{bytes.substr(0, cut), bytes.substr(cut)};
                };
                ASSERT_TRUE(Same(expected, Feed(c, split)))
                    << "cut at " << cut << " of step " << step;
            }
        }
    }
    // The filter's output never ran far past its bound, even for the huge subnegotiation.
    EXPECT_LT(most_held, 4 * StreamFilter::kOutputBound);
}

TEST(StreamFilter, OrdinaryInputIsNeverHeld) {
    // Each byte of a line that cannot become the command is at the game at once.
    const std::string typed = "#brawl x\r\n#brawlhues\r\nsay hi\r\n";
    StreamFilter filter(StreamSettings{});
    std::string sent;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        filter.FromClient(std::span(reinterpret_cast<const std::uint8_t*>(&typed[i]), 1), {});
        sent += filter.ToServer();
        filter.ToServer().clear();
        const std::string_view so_far = std::string_view(typed).substr(0, i + 1);
        // Only the line's start, while it is the start of the command word, may wait.
        const std::string_view line = so_far.substr(so_far.find_last_of("\r\n") + 1);
        const bool may_wait = std::string_view("#brawlhue").starts_with(line);
        EXPECT_EQ(so_far.substr(0, so_far.size() - (may_wait ? line.size() : 0)), sent);
    }
}

TEST(StreamFilter, TheCommandSavesTheFlagBeforeConfirming) {
    StreamFilter filter(StreamSettings{});
    std::vector<std::pair<bool, std::size_t>> saved;  // the flag, and the output so far
    filter.set_save_hook([&](bool on) { saved.emplace_back(on, filter.ToClient().size()); });
    const std::string typed = "#brawlhue off\r\n#brawlhue status\n#brawlhue on\r\n";
    filter.FromClient(std::span(reinterpret_cast<const std::uint8_t*>(typed.data()), typed.size()),
                      {});
    const std::string off = "\r\nBrawlhue has been disabled.\r\n\r\n";
    EXPECT_EQ(off + "\r\nBrawlhue: Disabled.\r\n\r\n\r\nBrawlhue has been enabled.\r\n\r\n",
              filter.ToClient());
    const std::vector<std::pair<bool, std::size_t>> expected{{false, 0}, {true, off.size() + 25}};
    EXPECT_EQ(expected, saved);
    EXPECT_TRUE(filter.colouring());
    EXPECT_TRUE(filter.ToServer().empty());
}

TEST(StreamFilter, ThePlayersPaletteAndTagsAreSavedBeforeConfirming) {
    struct Case {
        const char* typed;
        std::vector<AppearanceChoice> saved;
        Appearance after;
    };
    const PaletteIndex colourblind = FindPalette(u"colourblind");
    const std::vector<Case> cases = {
        {"#brawlhue palette COLOURBLIND\r\n", {{colourblind, {}}}, {colourblind, false}},
        {"#brawlhue tags on\r\n#brawlhue tags off\r\n", {{{}, true}, {{}, false}}, {}},
        // Asking, a wrong name, and the flag's own commands save no appearance.
        {"#brawlhue palette\r\n#brawlhue palette x\r\n#brawlhue tags\r\n#brawlhue off\r\n", {}, {}},
        {"#brawlhue palette classic\r\n", {{kClassicPalette, {}}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        StreamFilter filter(StreamSettings{});
        std::vector<AppearanceChoice> saved;
        std::vector<std::size_t> output_at_saving;
        filter.set_appearance_save_hook([&](const AppearanceChoice& choice) {
            saved.push_back(choice);
            output_at_saving.push_back(filter.ToClient().size());
        });
        const std::string typed = c.typed;
        filter.FromClient(
            std::span(reinterpret_cast<const std::uint8_t*>(typed.data()), typed.size()), {});
        EXPECT_EQ(c.saved, saved);
        EXPECT_EQ(c.after, filter.appearance());
        for (const std::size_t at : output_at_saving) {
            EXPECT_TRUE(filter.ToClient().substr(at).starts_with("\r\nBrawlhue: ")) << at;
        }
    }
}

}  // namespace
}  // namespace brawlhue::stream
