#include "bench/corpus.h"

#include <array>
#include <random>
#include <string_view>

#include "engine/category_tables.h"
#include "engine/colorizer.h"

namespace brawlhue::bench {
namespace {

constexpr std::u16string_view kPrompts[] = {
    u"* HP:Healthy MV:Fresh > ",
    u"o HP:Scratched MV:Tiring > ",
    u"> ",
    u"] ",
    u"* HP:Hurt SP:Bursting MV:Fresh > ",
    u"I51 > ",
    u"* Press <Return> to continue, q to quit *>",
};

constexpr std::u16string_view kRoomText[] = {
    u"The Great Hall of Caemlyn",
    u"   Tall pillars of white marble hold up a ceiling painted with scenes of old battles.",
    u"A Trolloc stands here, snarling.",
    u"A guard of the Queen stands here, watching the crowd.",
    u"Obvious exits: north east south",
    u"You are hungry.",
    u"The sun rises in the east.",
    u"Bob grins evilly.",
    u"Your gold purse feels lighter than it should.",
    u"A cold wind blows from the north, carrying the smell of smoke.",
    u"You see nothing special about the rusty dagger.",
    u"Morgase has arrived from the west.",
    u"Kaelin leaves south.",
    u"",
    u"You hit the troll's hide with a satisfied grunt of nothing in particular",
    u"The streets are crowded with merchants hawking their wares; a hit song drifts by.",
};

constexpr std::u16string_view kFillers[] = {
    u"the orc",        u"a burly Trolloc", u"Morgase", u"the black-cloaked Myrddraal",
    u"the guard",      u"a rabid wolf",    u"it",      u"him",
    u"slash the ogre", u"the hitman",
};

constexpr std::u16string_view kThreeLetters[] = {u"his", u"her", u"its"};

constexpr std::u16string_view kSpeakers[] = {
    u"Bob says '", u"The guard shouts '",           u"Lan narrates '",   u"Moiraine chats '",
    u"You say '",  u"Rand speaks from the Light '", u"Min shouts <1> '",
};

class Draw {
  public:
    explicit Draw(std::uint32_t seed) : engine_(seed) {}
    // Portable: the same corpus on every standard library, unlike std's distributions.
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

  private:
    std::mt19937 engine_;
};

// A line that an entry's text could have come from: each "*" filled with a phrase, each "?"
// with a letter of a three-letter word.
std::u16string Instantiate(std::u16string_view text, Draw& draw) {
    std::u16string line;
    std::u16string_view word = draw.Pick(kThreeLetters);
    std::size_t letter = 0;
    for (char16_t c : text) {
        if (c == u'*') {
            line += draw.Pick(kFillers);
        } else if (c == u'?') {
            line += word[letter++ % word.size()];
        } else {
            line += c;
        }
    }
    return line;
}

std::u16string CombatLine(Draw& draw) {
    const CascadeRow& row = kCascade[draw.Below(kCascade.size())];
    const Entry& entry = row.test->entries[draw.Below(row.test->entries.size())];
    return Instantiate(entry.text, draw);
}

std::u16string SpeechLine(Draw& draw) {
    std::u16string line(draw.Pick(kSpeakers));
    line += draw.Below(2) == 0 ? CombatLine(draw) : std::u16string(draw.Pick(kRoomText));
    line += u'\'';
    return line;
}

}  // namespace

std::vector<std::u16string> MakeCorpus(const CorpusOptions& options) {
    Draw draw(options.seed);
    std::vector<std::u16string> corpus;
    corpus.reserve(options.lines);
    for (std::size_t i = 0; i < options.lines; ++i) {
        const std::size_t kind = draw.Below(100);
        std::u16string line;
        if (kind < 70) {
            line = draw.Below(10) == 0 ? std::u16string() : std::u16string(draw.Pick(kRoomText));
        } else if (kind < 90) {
            line = CombatLine(draw);
        } else {
            line = SpeechLine(draw);
        }
        // About a third of the lines arrive behind one or two prompts.
        const std::size_t prompts = draw.Below(6);
        if (prompts < 2) {
            for (std::size_t p = 0; p <= prompts; ++p) {
                line.insert(0, draw.Pick(kPrompts));
            }
        }
        corpus.push_back(std::move(line));
    }
    return corpus;
}

}  // namespace brawlhue::bench
