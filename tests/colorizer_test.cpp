// Which colour a message gets, and the exact escape bytes around it.
#include "engine/colorizer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "engine/colour_codes.h"

namespace brawlhue {
namespace {

constexpr std::u16string_view kReset = u"\x1b[0m";
constexpr std::int16_t kOn = -1;

std::u16string Widen(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += c == 0x1b ? std::string("ESC") : std::string(1, static_cast<char>(c));
    }
    return out;
}

// The message as ColorizeLine hands it back: itself when it stays uncoloured.
std::u16string Colourized(std::u16string_view message, std::int16_t enabled = kOn) {
    const std::optional<ColouredText> coloured = ColorizeLine(message, enabled);
    return coloured ? coloured->ToString() : std::u16string(message);
}

std::u16string Wrapped(std::u16string_view opening, std::u16string_view message) {
    return std::u16string(opening) + std::u16string(message) + std::u16string(kReset);
}

TEST(Cascade, CategoriesAreTriedInTheirFixedOrder) {
    const CategoryTest* const order[] = {
        &IsOwnHit,       &IsOwnMiss,         &IsOwnSpecialHit,   &IsOwnSpecialMiss,
        &IsHitOnYou,     &IsMissOnYou,       &IsSpecialHitOnYou, &IsSpecialMissOnYou,
        &IsOwnWeave,     &IsOwnWeaveFailure, &IsWeaveOnYou,      &IsSourceRestored,
        &IsSpecialEvent,
    };
    ASSERT_EQ(kCascade.size(), std::size(order));
    for (std::size_t i = 0; i < kCascade.size(); ++i) {
        EXPECT_EQ(kCascade[i].test->name, order[i]->name) << "row " << i + 1;
    }
}

// One message per row that no earlier row claims, and the exact sequence it must get.
TEST(Cascade, EachRowWrapsItsMessageInItsSequence) {
    struct RowCase {
        std::string_view message;
        std::u16string_view opening;
    };
    const RowCase cases[] = {
        {"You hit the troll's head", u"\x1b[36;40;1m"},
        {"You fail to hit the guard.", u"\x1b[37;40;1m"},
        {"Your kick hits the orc in the solar plexus!", u"\x1b[36;40;1m"},
        {"Oops. Your lame efforts cause you to miss.", u"\x1b[37;40;1m"},
        {"The guard hits your arm.", u"\x1b[31;40;1m"},
        {"The orc fails to hit you.", u"\x1b[32;40;1m"},
        {"Ooomf!!  You are struck by a rock!", u"\x1b[31;40;1m"},
        {"You deflect the spear that was thrown at you.", u"\x1b[32;40;1m"},
        {"The orc has been blinded!", u"\x1b[36;40;1m"},
        {"You failed.", u"\x1b[37;40;1m"},
        {"Ouch!", u"\x1b[31;40;1m"},
        {"You feel your connection to the Source restored.", u"\x1b[32;40;1m"},
        {"A column of stone stands here covered in odd carvings.", u"\x1b[36;42;1m"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::u16string message = Widen(cases[i].message);
        EXPECT_EQ(ClassifyMessage(message).row, &kCascade[i]) << cases[i].message;
        EXPECT_EQ(Narrow(Colourized(message)), Narrow(Wrapped(cases[i].opening, message)));
    }
}

TEST(Cascade, AMessageOfTwoCategoriesTakesTheEarlierColour) {
    struct Overlap {
        std::string_view message;
        std::u16string_view opening;
    };
    const Overlap overlaps[] = {
        // Own hit before a hit on the user.
        {"You slash the guard's head, and the guard hits your arm", u"\x1b[36;40;1m"},
        // Own hit before own miss.
        {"You try to hit the orc's head, but miss.", u"\x1b[36;40;1m"},
        // Own miss before a miss on the user.
        {"You fail to hit the orc, but you dodge the attack.", u"\x1b[37;40;1m"},
        // Own special miss before a special miss on the user.
        {"The orc just misses you and falls to the ground.", u"\x1b[37;40;1m"},
        // Hit on the user before a miss on the user.
        {"The orc hits your arm, but you dodge the attack.", u"\x1b[31;40;1m"},
        // Hit on the user before an own weave.
        {"The orc hits your face and has been blinded!", u"\x1b[31;40;1m"},
    };
    for (const Overlap& o : overlaps) {
        const std::u16string message = Widen(o.message);
        EXPECT_EQ(Narrow(Colourized(message)), Narrow(Wrapped(o.opening, message)));
    }
}

TEST(Cascade, GatedCategoriesNeedAnAttackVerbInTheMessage) {
    struct GateCase {
        std::string_view message;
        std::u16string_view opening;  // empty: stays uncoloured
    };
    const GateCase cases[] = {
        {"You look at the guard's head.", u""},
        {"You slash the guard's head.", u"\x1b[36;40;1m"},
        {"You mount an attack against the guard, but weak nerves get the better of you.", u""},
        {"You mount an attack against the hitman, but weak nerves get the better of you.",
         u"\x1b[37;40;1m"},
        {"You swiftly dodge the orc's lunge.", u""},
        {"You swiftly dodge the orc's stab.", u"\x1b[32;40;1m"},
        // No gate on hits on the user: "tickle" is no attack verb.
        {"The spider tickles your nose.", u"\x1b[31;40;1m"},
    };
    for (const GateCase& c : cases) {
        const std::u16string message = Widen(c.message);
        const std::u16string expected = c.opening.empty() ? message : Wrapped(c.opening, message);
        EXPECT_EQ(Narrow(Colourized(message)), Narrow(expected));
    }
}

TEST(Cascade, SpeechIsNeverColoured) {
    for (std::string_view message : {
             "You say 'You hit the troll's head'",
             "Bob says 'the guard hits your arm'",
             "The guard shouts <1> 'You feel your connection to the Source restored.'",
             "Moiraine speaks from the Light 'Ouch!'",
         }) {
        EXPECT_FALSE(ColorizeLine(Widen(message), kOn).has_value()) << message;
    }
}

TEST(Cascade, UncategorisedMessagesStayAsTheyAre) {
    for (std::string_view message : {
             "",
             "You feel your connection to the Source restored. ",
             "The orc flees.",
             "You look at the guard's head.",
         }) {
        EXPECT_FALSE(ColorizeLine(Widen(message), kOn).has_value()) << message;
    }
}

TEST(Cascade, ZeroIsOffAndAnyOtherValueIsOn) {
    const std::u16string message = u"You hit the troll's head";
    EXPECT_FALSE(ColorizeLine(message, 0).has_value());
    for (std::int16_t enabled :
         {std::int16_t{-1}, std::int16_t{1}, std::int16_t{2},
          std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()}) {
        EXPECT_EQ(Colourized(message, enabled), Wrapped(u"\x1b[36;40;1m", message))
            << "enabled " << enabled;
    }
}

TEST(Cascade, MessageIsCopiedUnchangedBetweenTheSequences) {
    // Escapes, non-BMP characters and lone surrogates inside the message are not touched.
    const std::u16string message = u"You hit the \x1b[31m\U0001F409\xD800's head\x1b[0m \xDC00";
    const std::optional<ColouredText> coloured = ColorizeLine(message, kOn);
    ASSERT_TRUE(coloured.has_value());
    const std::u16string text = coloured->ToString();
    EXPECT_EQ(text, Wrapped(u"\x1b[36;40;1m", message));
    EXPECT_EQ(coloured->size(), text.size());
    EXPECT_GT(text.size(), message.size());
}

struct ColourCase {
    std::u16string_view foreground;
    std::u16string_view background;
    std::u16string_view attribute;
    std::u16string_view opening;
};

void ExpectOpenings(std::initializer_list<ColourCase> cases) {
    for (const ColourCase& c : cases) {
        const std::u16string text =
            ApplyColor(u"text", c.foreground, c.background, c.attribute).ToString();
        EXPECT_EQ(Narrow(text), Narrow(Wrapped(c.opening, u"text")))
            << Narrow(c.foreground) << "/" << Narrow(c.background) << "/" << Narrow(c.attribute);
    }
}

TEST(ApplyColor, EveryListedName) {
    ExpectOpenings({
        {u"Black", u"Black", u"Bold", u"\x1b[30;40;1m"},
        {u"Red", u"Red", u"Dim", u"\x1b[31;41;2m"},
        {u"Green", u"Green", u"Underline", u"\x1b[32;42;4m"},
        {u"Yellow", u"Yellow", u"Blink", u"\x1b[33;43;5m"},
        {u"Blue", u"Blue", u"Bold", u"\x1b[34;44;1m"},
        {u"Magenta", u"Magenta", u"Bold", u"\x1b[35;45;1m"},
        {u"Cyan", u"Cyan", u"Bold", u"\x1b[36;46;1m"},
        {u"White", u"White", u"Bold", u"\x1b[37;47;1m"},
    });
}

TEST(ApplyColor, NamesAreComparedWithoutRegardToCase) {
    ExpectOpenings({
        {u"CYAN", u"BLACK", u"BOLD", u"\x1b[36;40;1m"},
        {u"cyan", u"black", u"bold", u"\x1b[36;40;1m"},
        {u"Cyan", u"Black", u"Bold", u"\x1b[36;40;1m"},
        {u"cYaN", u"bLaCk", u"bOlD", u"\x1b[36;40;1m"},
    });
}

TEST(ApplyColor, UnlistedNamesDegrade) {
    ExpectOpenings({
        // An unlisted foreground gives the reset sequence in front, whatever the others are.
        {u"Purple", u"Black", u"Bold", u"\x1b[0m"},
        {u"Purple", u"Purple", u"Italic", u"\x1b[0m"},
        {u"", u"", u"", u"\x1b[0m"},
        // An unlisted background or attribute is left out.
        {u"Cyan", u"Purple", u"Bold", u"\x1b[36;1m"},
        {u"Cyan", u"Black", u"Italic", u"\x1b[36;40m"},
        {u"Cyan", u"", u"", u"\x1b[36m"},
        // No name stands for SGR 3.
        {u"Cyan", u"Black", u"italic", u"\x1b[36;40m"},
        // Names are not trimmed, and a colour is no attribute nor the other way round.
        {u" Cyan", u"Black", u"Bold", u"\x1b[0m"},
        {u"Cyan ", u"Black", u"Bold", u"\x1b[0m"},
        {u"Cyan", u"Black ", u"Bold", u"\x1b[36;1m"},
        {u"Cyan", u"Black", u" Bold", u"\x1b[36;40m"},
        {u"Bold", u"Black", u"Bold", u"\x1b[0m"},
        {u"Cyan", u"Bold", u"Black", u"\x1b[36m"},
        {u"Cyan", u"Black", u"Bol", u"\x1b[36;40m"},
        {u"Cya", u"Black", u"Bold", u"\x1b[0m"},
    });
}

}  // namespace
}  // namespace brawlhue
