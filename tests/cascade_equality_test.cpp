// The engine's cascade must decide exactly as the plain entry-by-entry evaluation of the tables
// does, for every line: the realistic benchmark mix and a million lines built to sit on the
// edges of the table texts.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "bench/corpus.h"
#include "engine/category_tables.h"
#include "engine/colorizer.h"
#include "filter/prompt.h"
#include "reference/plain_cascade.h"

namespace brawlhue {
namespace {

int EngineVerdict(std::u16string_view message) {
    const Classification found = ClassifyMessage(message);
    switch (found.kind) {
        case MessageKind::kSpeech:
            return reference::kSpeech;
        case MessageKind::kCategory:
            return static_cast<int>(found.row - kCascade.data());
        case MessageKind::kPlain:
            break;
    }
    return reference::kNoCategory;
}

std::string Show(std::u16string_view line) {
    std::string shown;
    for (char16_t c : line) {
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            shown += "\\u" + std::to_string(static_cast<unsigned>(c));
        }
    }
    return shown;
}

// Pieces that stress the matcher: wildcard characters standing in the line, surrogates, the
// attack verbs the gate looks for, apostrophes, blanks.
constexpr std::u16string_view kFillers[] = {
    u"",           u" ",      u"the orc", u"*",        u"?",     u"???",
    u"\U0001F5E1", u"\xD83D", u"\xDE00",  u"'",        u" hit",  u" slash the troll",
    u"You",        u" your ", u"s",       u"\x1b[31m", u"[a-z]", u"#",
    u"his",        u"their",  u".",       u"!",        u" '",
};

class LineMaker {
  public:
    explicit LineMaker(std::uint32_t seed) : random_(seed) {}

    std::u16string Next() {
        std::u16string line = Instantiate(RandomEntry());
        if (Below(4) == 0) {
            line += Instantiate(RandomEntry());  // two texts run together
        }
        const std::size_t edits = Below(3);
        for (std::size_t i = 0; i < edits && !line.empty(); ++i) {
            Edit(line);
        }
        return line;
    }

  private:
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

    std::u16string_view RandomEntry() {
        const CategoryTest& test = *kAllTests[Below(kAllTests.size())];
        return test.entries[Below(test.entries.size())].text;
    }

    std::u16string Instantiate(std::u16string_view text) {
        std::u16string line;
        for (char16_t c : text) {
            if (c == u'*') {
                const std::size_t pieces = Below(3);
                for (std::size_t p = 0; p < pieces; ++p) {
                    line += kFillers[Below(std::size(kFillers))];
                }
            } else if (c == u'?') {
                line += Below(8) == 0 ? kFillers[Below(std::size(kFillers))]
                                      : std::u16string_view(u"abc").substr(Below(3), 1);
            } else {
                line += c;
            }
        }
        return line;
    }

    // One unit dropped, doubled, replaced or changed in case: the near misses.
    void Edit(std::u16string& line) {
        const std::size_t at = Below(line.size());
        switch (Below(4)) {
            case 0:
                line.erase(at, 1);
                break;
            case 1:
                line.insert(at, 1, line[at]);
                break;
            case 2:
                line[at] = static_cast<char16_t>(u' ' + Below(95));
                break;
            default:
                line[at] = static_cast<char16_t>(line[at] ^ 0x20);
                break;
        }
    }

    std::mt19937 random_;
};

TEST(CascadeEquality, BenchmarkCorpusDecidesAsThePlainCascade) {
    for (const std::u16string& line : bench::MakeCorpus()) {
        const std::u16string_view message = GetNonPrompt(line);
        ASSERT_EQ(reference::PlainCascade(message), EngineVerdict(message)) << Show(line);
    }
}

// A sanitized build checks memory on a tenth of the lines; the plain build takes the million.
#ifndef BRAWLHUE_EDGE_LINES
#define BRAWLHUE_EDGE_LINES 1'000'000
#endif

TEST(CascadeEquality, EdgeLinesDecideAsThePlainCascade) {
    LineMaker maker(7);
    int categories_seen = 0;
    for (int i = 0; i < BRAWLHUE_EDGE_LINES; ++i) {
        const std::u16string line = maker.Next();
        const int expected = reference::PlainCascade(line);
        ASSERT_EQ(expected, EngineVerdict(line)) << Show(line);
        categories_seen += expected >= 0 ? 1 : 0;
    }
    // The generator must keep producing matches, or the comparison proves little.
    EXPECT_GT(categories_seen, BRAWLHUE_EDGE_LINES / 10);
}

// Every table text, its stars empty or filled, at every offset of the engine's reading steps:
// behind and before zero to four units, which the patterns' stars can take.
TEST(CascadeEquality, EveryTableTextAtEveryOffsetDecidesAsThePlainCascade) {
    constexpr std::u16string_view kStarFillings[] = {u"", u"x", u"the orc's"};
    constexpr std::u16string_view kAround = u"abcd";
    for (const CategoryTest* test : kAllTests) {
        for (const Entry& entry : test->entries) {
            for (std::u16string_view filling : kStarFillings) {
                std::u16string text;
                for (char16_t c : entry.text) {
                    text += c == u'*' && entry.kind == kPattern   ? std::u16string(filling)
                            : c == u'?' && entry.kind == kPattern ? std::u16string(u"y")
                                                                  : std::u16string(1, c);
                }
                for (std::size_t before = 0; before <= kAround.size(); ++before) {
                    for (std::size_t after = 0; after <= kAround.size(); ++after) {
                        const std::u16string line = std::u16string(kAround.substr(0, before)) +
                                                    text + std::u16string(kAround.substr(0, after));
                        ASSERT_EQ(reference::PlainCascade(line), EngineVerdict(line)) << Show(line);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace brawlhue
