// Writes the seed corpus of the fuzz targets: fuzz_seed_corpus <folder> fills
// <folder>/<target>/ with small named files. The seeds are the game's own table texts, the
// prompt forms and the documented examples, each near the edge it sits on.
// fuzz_seed_corpus --check <folder> only compares: every seed must be there with the same bytes
// (other files, such as inputs kept from findings, may stand beside them).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "engine/category_tables.h"
#include "fuzz/fuzz_input.h"
#include "tests/compressed_stream.h"

namespace {

using brawlhue::mccp::Compressed;

using brawlhue::fuzz::BytesFromUnits;

struct Seed {
    std::string name;
    std::string bytes;
};

// A line that fits the table pattern: each "*" a few words, each "?" one letter.
std::u16string FillPattern(std::u16string_view pattern) {
    std::u16string line;
    for (char16_t unit : pattern) {
        if (unit == u'*') {
            line += u"the orc";
        } else if (unit == u'?') {
            line += u'x';
        } else {
            line += unit;
        }
    }
    return line;
}

std::string MatcherInput(std::u16string_view pattern, std::u16string_view line) {
    return BytesFromUnits(pattern) + "\n" + BytesFromUnits(line);
}

std::vector<Seed> MatcherSeeds() {
    std::vector<Seed> seeds;
    // The first pattern of every test that has one, with a line that fits it.
    for (const brawlhue::CategoryTest* test : brawlhue::kAllTests) {
        for (const brawlhue::Entry& entry : test->entries) {
            if (entry.kind == brawlhue::kPattern) {
                seeds.push_back({"table-" + std::string(test->name),
                                 MatcherInput(entry.text, FillPattern(entry.text))});
                break;
            }
        }
    }
    struct Case {
        const char* name;
        std::u16string_view pattern;
        std::u16string_view line;
    };
    const Case cases[] = {
        {"contains-stem", u"* hit*", u"The guard hits you."},
        {"stem-at-start", u"* hit*", u"hit him"},
        {"trailing-blank", u"You fail to *.", u"You fail to hit the guard. "},
        {"three-units", u"* wipes ??? boots in your face!",
         u"The thug wipes their boots in your face!"},
        {"three-stars", u"You * at *, but * passes through it.",
         u"You swing at the wraith, but miss, but your blade passes through it."},
        {"retry-longer-run", u"*a*b*c", u"xaybzc"},
        {"retry-overlap", u"*aab", u"aaab"},
        {"two-blanks", u"Ooomf!!  You are struck by *!", u"Ooomf!!  You are struck by a rock!"},
        {"empty-both", u"", u""},
        {"stars-empty-line", u"***", u""},
        {"pair-is-two-units", u"?", u"\U0001F600"},
        {"wildcards-in-line", u"a?c", u"a*c"},
        {"digit", u"I#", u"I5"},
        {"digit-after-star", u"*#", u"room 9"},
        {"range", u"[a-c]", u"b"},
        {"range-ends", u"[a-c][a-c]", u"ac"},
        {"inverted-range", u"[!a-c]", u"d"},
        {"dash-first", u"[-a]", u"-"},
        {"dash-last", u"[a-]", u"-"},
        {"dash-after-bang", u"[!-a]", u"b"},
        {"empty-list", u"x[]y", u"xy"},
        {"escaped-wildcards", u"[*][?][#][[]", u"*?#["},
        {"plain-bracket-bang", u"]!", u"]!"},
        {"unclosed-list", u"a[b", u"a[b"},
        {"high-to-low-range", u"[z-a]", u"m"},
        {"bang-alone", u"[!]", u"q"},
        {"list-after-star", u"*[0-9]", u"abc7"},
        {"list-chain", u"[a-cx-z]*[!0-9]", u"yes"},
        {"non-ascii-range", u"[\u00e9-\uffff]?", u"\xD800\xDC00"},
        {"control-units", u"a*b", u"a\x1b[0m\r\nb"},
    };
    for (const Case& c : cases) {
        seeds.push_back({c.name, MatcherInput(c.pattern, c.line)});
    }
    return seeds;
}

std::vector<Seed> LineFilterSeeds() {
    const std::u16string pager = u" Press <Return> to continue, q to quit *>";
    struct Case {
        const char* name;
        std::u16string line;
    };
    const Case cases[] = {
        // One message for each cascade row.
        {"own-hit", u"You hit the troll's head"},
        {"own-miss-gate-in-name",
         u"You mount an attack against the hitman, but weak nerves get the better of you."},
        {"own-special-hit", u"Your bash at the orc sends it sprawling!"},
        {"own-special-miss", u"Oops. Your lame efforts cause you to miss."},
        {"hit-on-you-ungated", u"The spider tickles your nose."},
        {"miss-on-you", u"You swiftly dodge the orc's stab."},
        {"special-hit-on-you", u"Ooomf!!  You are struck by a rock!"},
        {"special-miss-on-you", u"You dodge a bash from the ogre who loses its balance and falls!"},
        {"own-weave", u"Spikes of jagged ice form in your hands, and you launch them at the orc."},
        {"own-weave-failure", u"You lost control of Saidar!"},
        {"weave-on-you", u"Ouch!"},
        {"source-restored", u"You feel your connection to the Source restored."},
        {"special-event", u"A column of stone stands here covered in odd carvings."},
        {"special-event-pattern", u"You feel the dagger in your hand grow cold."},
        {"two-rows-earlier-wins", u"You slash the guard's head, and the guard hits your arm"},
        // Speech and near misses stay plain.
        {"speech-over-hit", u"You say 'You hit the troll's head'"},
        {"speech-channel", u"The guard shouts <1> 'help'"},
        {"speech-third-person", u"Bob says 'the guard hits your arm'"},
        {"no-attack-verb", u"You look at the guard's head."},
        {"exact-with-more", u"Ouch! That hurt."},
        {"exact-trailing-blank", u"You feel your connection to the Source restored. "},
        {"lower-case-exact", u"You lost control of saidar!"},
        {"three-units-too-many",
         u"You dodge a bash from the ogre who loses their balance and falls!"},
        {"empty", u""},
        // Prompts in front of a message.
        {"bare-prompt-alone", u"> "},
        {"bare-prompts", u"> > You hit the troll's head"},
        {"bracket-prompt", u"] You hit the troll's head"},
        {"terminator-first", u" > You hit the troll's head"},
        {"status-prompt", u"* HP:12 > The orc flees."},
        {"status-prompt-twice", u"* HP:12 > * HP:12 > The spider tickles your nose."},
        {"status-prompt-words", u"o HP:Scratched SP:Full MV:Fresh > The orc bites your leg."},
        {"opening-without-terminator", u"R has arrived."},
        {"terminator-search-skips", u"o I say > you win"},
        {"pager-then-message", u"*" + pager + u"The orc hits your head"},
        {"pager-alone", pager},
        {"pager-whole-line", u"S" + pager},
        {"numbered-prompt", u"I51 > You hit the troll's head"},
        {"numbered-negative", u"I-5 > Ouch!"},
        {"numbered-leading-zero", u"I051 > Ouch!"},
        {"numbered-empty", u"I > Ouch!"},
        {"numbered-word", u"Inside the room > Ouch!"},
        {"numbered-no-blank", u"I51"},
        {"numbered-fraction", u"I1.5 > Ouch!"},
        {"numbered-exponent", u"I1E+15 > Ouch!"},
        {"numbered-fifteen-digits", u"I123456789012345 > Ouch!"},
        {"lower-case-opening", u"s You hit the troll's head"},
        {"dim-stats-prompt", u" hp: 1 > Ouch!"},
        // Units outside ASCII in the prompt part and the message.
        {"surrogates", u"* HP:\U0001F600\xD800 > You hit the \U0001F409's head \xD83D"},
        {"escape-in-message", u"> \x1b[0mYou hit the troll's head\x1b[31m"},
    };
    std::vector<Seed> seeds;
    for (const Case& c : cases) {
        seeds.push_back({c.name, BytesFromUnits(c.line)});
    }
    return seeds;
}

std::vector<Seed> TranscriptSeeds() {
    using namespace std::string_literals;
    return {
        {"session",
         "* HP:Healthy SP:Full MV:Fresh > north\n"
         "The Edge of the Blight\n"
         "A column of stone stands here covered in odd carvings.\n"
         "* HP:Healthy SP:Full MV:Fresh > Lan says 'Careful. They have not seen us yet.'\n"
         "You slash a Trolloc's body very hard.\n"
         "* HP:Healthy SP:Full MV:Fresh > A Trolloc slashes your left leg hard.\n"
         "o HP:Scratched SP:Full MV:Fresh > A Trolloc tries to hit you, but you dodge the "
         "attack.\n"
         "Your bash at a Trolloc sends him sprawling!\n"
         "You feel your connection to the Source restored.\n"},
        {"crlf", "> You hit the troll's head\r\nOuch!\r\nplain\r\n"},
        {"lone-cr", "You hit\rthe troll's head\nOuch!\r"},
        {"no-final-newline", "Ouch!\nYou hit the troll's head"},
        {"empty", ""},
        {"newline", "\n"},
        {"crlf-alone", "\r\n"},
        {"blank-lines", "\n\n\r\n\n"},
        {"nul-bytes", "You hit\0 the troll's head\n\0\n\0"s},
        {"two-byte", "You hit the caf\xC3\xA9's head\n"},
        {"three-byte", "* HP:\xE2\x82\xAC > Ouch!\n"},
        {"four-byte", "> You hit the \xF0\x9F\x98\x80's head\n"},
        {"overlong", "\xC0\x80 \xE0\x80\xAF Ouch!\n"},
        {"encoded-surrogate", "You hit the \xED\xA0\x80's head\n"},
        {"above-max", "\xF4\x90\x80\x80\xF5\xFF\xFE\n"},
        {"truncated", "Ouch! \xE2\x82\nYou hit the troll's head \xF0\x9F\x98"},
        {"stray-continuations", "\x80\xBF You hit the troll's head\n"},
        {"invalid-in-prompt", "* HP:\xFF > You hit the troll's head\r\n"},
        {"long-line", "> " + std::string(300, 'x') + " hits your " + std::string(200, 'y') + "\n"},
        {"escape-sequences", "\x1b[0mYou hit the troll's head\x1b[31m\n"},
    };
}

// A flags byte (1: compression allowed, 2: no hold time, 4: colouring off), a byte that seeds
// the cutting, then the game's telnet stream.
std::vector<Seed> StreamSeeds() {
    using namespace std::string_literals;
    const std::string iac = "\xFF", ga = iac + "\xF9", eor = iac + "\xEF", sb = iac + "\xFA",
                      se = iac + "\xF0", will = iac + "\xFB", mccp2 = "\x56";
    const std::string lines =
        "* HP:Healthy SP:Full MV:Fresh > " + ga + "You slash a Trolloc's body very hard.\r\n" +
        "o HP:Scratched SP:Full MV:Fresh > " + eor + "A Trolloc slashes your left leg hard.\n\r" +
        "You say 'You hit the troll's head'\n\r" +
        "A column of stone stands here covered in odd carvings.\n";
    const std::string start = will + mccp2 + sb + mccp2 + se;
    return {
        {"prompts-and-endings", "\x01\x07" + lines},
        {"compressed-mid-piece", "\x01\x03Hi\r\n" + start + Compressed(lines) + "after\r\n"},
        {"compression-refused", "\x00\x03Hi\r\n" + start + Compressed(lines) + "after\r\n"},
        {"corrupt-compressed", "\x01\x05" + start + "\x78\x9C\xFF\xFF\xFF" + lines},
        {"no-hold-time", "\x03\x11" + lines},
        {"colouring-off", "\x05\x13" + lines},
        {"iac-in-text", "\x01\x02You hit the troll\xFF\xFF's head\r\n"},
        {"subnegotiations", "\x01\x09* HP:12 > " + sb + "\x18\x01\xFF\xFF\x02" + se + sb +
                                "\xC9{}" + iac + "\xF9Ouch!\r\n"},
        {"options", "\x01\x04" + will + "\xC8" + iac + "\xFD\x1F" + will + "\x55" + will + "\x57" +
                        iac + "\xFD\x56x\n"},
        {"encodings", "\x01\x06You hit the caf\xE9's head\r\n* \xE2\x82\xAC\xC0 > Ouch!\r\n"},
        {"unfinished-at-end", "\x01\x08* HP:12 > " + will},
    };
}

bool WriteSeeds(const std::filesystem::path& folder, const std::vector<Seed>& seeds) {
    std::filesystem::create_directories(folder);
    for (const Seed& seed : seeds) {
        std::ofstream file(folder / seed.name, std::ios::binary | std::ios::trunc);
        file.write(seed.bytes.data(), static_cast<std::streamsize>(seed.bytes.size()));
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", (folder / seed.name).c_str());
            return false;
        }
    }
    return true;
}

bool CheckSeeds(const std::filesystem::path& folder, const std::vector<Seed>& seeds) {
    bool current = true;
    for (const Seed& seed : seeds) {
        std::ifstream file(folder / seed.name, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>()};
        if (!file.is_open() || bytes != seed.bytes) {
            std::fprintf(stderr, "%s is missing or differs from its seed\n",
                         (folder / seed.name).c_str());
            current = false;
        }
    }
    return current;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: %s [--check] FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[argc - 1];
    const auto run = check ? CheckSeeds : WriteSeeds;
    // Every target's folder, even after one of them fails.
    const bool matcher = run(root / "fuzz_matcher", MatcherSeeds());
    const bool line_filter = run(root / "fuzz_line_filter", LineFilterSeeds());
    const bool transcript = run(root / "fuzz_transcript", TranscriptSeeds());
    const bool stream = run(root / "fuzz_stream", StreamSeeds());
    return matcher && line_filter && transcript && stream ? 0 : 1;
}
