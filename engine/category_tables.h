// The game's messages as the colouring engine knows them: fifteen fixed tests, each a gate flag
// and an ordered list of entries. The texts are the game's own, to the blank and the letter;
// the counts after each table are part of the data and fail the build when a row goes missing.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

namespace brawlhue {

enum class EntryKind : std::uint8_t {
    kPattern,  // compared with MatchesPattern
    kExact,    // compared with EqualsExactly
};

struct Entry {
    EntryKind kind;
    std::u16string_view text;
};

using enum EntryKind;

// The rows stand one to a line, kinds aligned, so that a review sees every text whole.
// clang-format off
// HasAttackVerb: 18 patterns.
inline constexpr Entry kHasAttackVerbEntries[] = {
    {kPattern, u"* shoot*"},
    {kPattern, u"* whip*"},
    {kPattern, u"* sting*"},
    {kPattern, u"* slice*"},
    {kPattern, u"* hack*"},
    {kPattern, u"* slash*"},
    {kPattern, u"* scythe*"},
    {kPattern, u"* strike*"},
    {kPattern, u"* smite*"},
    {kPattern, u"* pound*"},
    {kPattern, u"* stab*"},
    {kPattern, u"* pierce*"},
    {kPattern, u"* cleave*"},
    {kPattern, u"* blast*"},
    {kPattern, u"* hit*"},
    {kPattern, u"* lance*"},
    {kPattern, u"* crush*"},
    {kPattern, u"* bite*"},
};
static_assert(std::size(kHasAttackVerbEntries) == 18);

// IsSpeech: 22 patterns.
inline constexpr Entry kIsSpeechEntries[] = {
    {kPattern, u"* says '*"},
    {kPattern, u"* bellows '*"},
    {kPattern, u"* narrates '*"},
    {kPattern, u"* chats '*"},
    {kPattern, u"* shouts '*"},
    {kPattern, u"* hisses '*"},
    {kPattern, u"* caws '*"},
    {kPattern, u"* squeaks '*"},
    {kPattern, u"* flashes '*"},
    {kPattern, u"* speaks from the Light '*"},
    {kPattern, u"* speaks from the Dark '*"},
    {kPattern, u"* wizshout <*> '*"},
    {kPattern, u"* shouts <*> '*"},
    {kPattern, u"* say '*"},
    {kPattern, u"* bellow '*"},
    {kPattern, u"* narrate '*"},
    {kPattern, u"* chat '*"},
    {kPattern, u"* shout '*"},
    {kPattern, u"* hiss '*"},
    {kPattern, u"* caw '*"},
    {kPattern, u"* squeak '*"},
    {kPattern, u"* flash '*"},
};
static_assert(std::size(kIsSpeechEntries) == 22);

// IsOwnHit: 24 patterns; gated by HasAttackVerb.
inline constexpr Entry kIsOwnHitEntries[] = {
    {kPattern, u"You *'s head*"},
    {kPattern, u"You *'s body*"},
    {kPattern, u"You *'s left arm*"},
    {kPattern, u"You *'s right arm*"},
    {kPattern, u"You *'s left hand*"},
    {kPattern, u"You *'s right hand*"},
    {kPattern, u"You *'s left leg*"},
    {kPattern, u"You *'s right leg*"},
    {kPattern, u"You *'s left foot*"},
    {kPattern, u"You *'s right foot*"},
    {kPattern, u"You *'s left paw*"},
    {kPattern, u"You *'s right paw*"},
    {kPattern, u"You *'s left foreleg*"},
    {kPattern, u"You *'s right foreleg*"},
    {kPattern, u"You *'s left fin*"},
    {kPattern, u"You *'s right fin*"},
    {kPattern, u"You *'s dorsal fin*"},
    {kPattern, u"You *'s tail fin*"},
    {kPattern, u"You *'s crown*"},
    {kPattern, u"You *'s branch*"},
    {kPattern, u"You *'s trunk*"},
    {kPattern, u"You *'s roots*"},
    {kPattern, u"You *'s left wing*"},
    {kPattern, u"You *'s right wing*"},
};
static_assert(std::size(kIsOwnHitEntries) == 24);

// IsOwnMiss: 5 patterns; gated by HasAttackVerb.
inline constexpr Entry kIsOwnMissEntries[] = {
    {kPattern, u"You fail to *."},
    {kPattern, u"You try to *, but *."},
    {kPattern, u"* swiftly dodges your attempt to *."},
    {kPattern, u"You * at *, but * passes through it."},
    {kPattern, u"You mount an attack against *, but weak nerves get the better of you."},
};
static_assert(std::size(kIsOwnMissEntries) == 5);

// IsOwnSpecialHit: 1 exact, 8 patterns.
inline constexpr Entry kIsOwnSpecialHitEntries[] = {
    {kExact,   u"Your boots need polishing again -- blood all over..."},
    {kPattern, u"* makes a strange sound* as you place * in ??? back!"},
    {kPattern, u"Your bash at * sends * sprawling!"},
    {kPattern, u"Your kick hits * in the solar plexus!"},
    {kPattern, u"Chaaaaarrrge!! * bleeds profusely as you skewer * with *!"},
    {kPattern, u"CHAAAARRRGE! * looks surprised as ??? torso and life both depart *!"},
    {kPattern, u"* grunts in pain as * is struck by a *."},
    {kPattern, u"* rips through *'s guts as * collapses to the ground."},
    {kPattern, u"You feel a rush of life as the bond between you and * flares."},
};
static_assert(std::size(kIsOwnSpecialHitEntries) == 9);

// IsOwnSpecialMiss: 1 exact, 5 patterns.
inline constexpr Entry kIsOwnSpecialMissEntries[] = {
    {kExact,   u"Oops. Your lame efforts cause you to miss."},
    {kPattern, u"As * avoids your bash, you topple over and fall to the ground!"},
    {kPattern, u"* deflects * that was thrown at *."},
    {kPattern, u"* just misses * and falls to the ground."},
    {kPattern, u"You miss your kick at *'s groin, much to ??? relief..."},
    {kPattern, u"Your beautiful full-circle kick misses * by a mile."},
};
static_assert(std::size(kIsOwnSpecialMissEntries) == 6);

// IsHitOnYou: 19 patterns.
inline constexpr Entry kIsHitOnYouEntries[] = {
    {kPattern, u"* shoots your *"},
    {kPattern, u"* whips your *"},
    {kPattern, u"* stings your *"},
    {kPattern, u"* slices your *"},
    {kPattern, u"* hacks your *"},
    {kPattern, u"* slashes your *"},
    {kPattern, u"* scythes your *"},
    {kPattern, u"* strikes your *"},
    {kPattern, u"* smites your *"},
    {kPattern, u"* pounds your *"},
    {kPattern, u"* stabs your *"},
    {kPattern, u"* pierces your *"},
    {kPattern, u"* cleaves your *"},
    {kPattern, u"* blasts your *"},
    {kPattern, u"* hits your *"},
    {kPattern, u"* lances your *"},
    {kPattern, u"* crushes your *"},
    {kPattern, u"* bites your *"},
    {kPattern, u"* tickles your *"},
};
static_assert(std::size(kIsHitOnYouEntries) == 19);

// IsMissOnYou: 5 patterns; gated by HasAttackVerb.
inline constexpr Entry kIsMissOnYouEntries[] = {
    {kPattern, u"* fails to * you."},
    {kPattern, u"* but you dodge the attack."},
    {kPattern, u"* deflect the blow."},
    {kPattern, u"* parry successfully."},
    {kPattern, u"You swiftly dodge*"},
};
static_assert(std::size(kIsMissOnYouEntries) == 5);

// IsSpecialHitOnYou: 3 exact, 8 patterns.
inline constexpr Entry kIsSpecialHitOnYouEntries[] = {
    {kExact,   u"You're hit in solar plexus, wow, this is breathtaking!!"},
    {kExact,   u"All of a sudden, your heart seems to have been ripped out of you..."},
    {kExact,   u"... you collapse in devastating grief."},
    {kPattern, u"Suddenly * places * in your back!"},
    {kPattern, u"* sends you sprawling with a powerful bash!"},
    {kPattern, u"* wipes ??? boots in your face!"},
    {kPattern, u"Ooomf!!  You are struck by *!"},
    {kPattern, u"* starts barreling down on you, * aimed at your chest."},
    {kPattern, u"CHAAAARRRGE! * skillfully skewers you with *!"},
    {kPattern, u"Suddenly * charges you with *!"},
    {kPattern, u"You feel your health drain some as the bond between you and * flares."},
};
static_assert(std::size(kIsSpecialHitOnYouEntries) == 11);

// IsSpecialMissOnYou: 7 patterns.
inline constexpr Entry kIsSpecialMissOnYouEntries[] = {
    {kPattern, u"You dodge a bash from * who loses ??? balance and falls!"},
    {kPattern, u"* misses a kick at your groin, you breathe lighter now..."},
    {kPattern, u"* makes a nice balletstep which plants a foot a mile above your head."},
    {kPattern, u"* clumsily charges you with *, but you step aside."},
    {kPattern, u"* just misses you and falls to the ground."},
    {kPattern, u"You deflect * that was thrown at you."},
    {kPattern, u"* tries to * you, but you brush it aside."},
};
static_assert(std::size(kIsSpecialMissOnYouEntries) == 7);

// IsOwnWeave: 16 patterns.
inline constexpr Entry kIsOwnWeaveEntries[] = {
    {kPattern, u"Streaks of fire flow from your hands, burning *."},
    {kPattern, u"Spikes of*ice form in your hands,*you launch *."},
    {kPattern, u"Your icy spikes shred *'s guts, causing ??? insides to flow outside."},
    {kPattern, u"Streaks of Fire burn through *, leaving only a blackened corpse."},
    {kPattern, u"* has been blinded!"},
    {kPattern, u"* bursts into flame and begins screaming in mortal agony."},
    {kPattern, u"Beads of cold sweat emerge from *'s face!"},
    {kPattern, u"You command the very Air surrounding * to turn to ice."},
    {kPattern, u"You weave flows of spirit around *, isolating * from the Source."},
    {kPattern, u"*'s movements begin to slow as * appears more fatigued..."},
    {kPattern, u"* looks very strange, glaring about with a sense of panic."},
    {kPattern, u"Fire coalesces in your hands, but fizzles a bit as you launch it at *."},
    {kPattern, u"Fire coalesces into a ball at your hands, which you launch at *."},
    {kPattern, u"Your fireball blasts into *, dropping * charred corpse to the ground."},
    {kPattern, u"Your lightning from the sky strikes *, dropping * sizzling corpse to the ground."},
    {kPattern, u"You call lightning from the sky which strikes * dead on."},
};
static_assert(std::size(kIsOwnWeaveEntries) == 16);

// IsOwnWeaveFailure: 9 exact.
inline constexpr Entry kIsOwnWeaveFailureEntries[] = {
    {kExact,   u"Ouch! You couldn't maintain the flows."},
    {kExact,   u"You lost control of Saidar!"},
    {kExact,   u"You lost control of Saidin!"},
    {kExact,   u"You failed."},
    {kExact,   u"You fail to draw the necessary powers from the air here."},
    {kExact,   u"You can't summon enough energy to weave the flow."},
    {kExact,   u"You aren't in touch with saidin to channel it."},
    {kExact,   u"You aren't in touch with saidar to channel it."},
    {kExact,   u"You can not channel this power upon yourself."},
};
static_assert(std::size(kIsOwnWeaveFailureEntries) == 9);

// IsWeaveOnYou: 9 exact, 5 patterns.
inline constexpr Entry kIsWeaveOnYouEntries[] = {
    {kExact,   u"The air around your eyes seems to catch fire, blinding you!"},
    {kExact,   u"Arrrgggh!!! Your body is on FIRE! You have precious few moments to save your sorry life!"},
    {kExact,   u"You feel isolated from the Source!"},
    {kExact,   u"You are knocked off your feet!"},
    {kExact,   u"You feel very paranoid about your surroundings."},
    {kExact,   u"Ouch!"},
    {kExact,   u"Oh noooo! You feel completely isolated from the True Source!"},
    {kExact,   u"Beads of cold sweat begin to emerge from your face!"},
    {kExact,   u"You feel some dark power draining your life force..."},
    {kPattern, u"Ouch! The existing flows of Spirit around * backfire, and you drop it."},
    {kPattern, u"You gasp in pain as streaks of fire from * burn your body!"},
    {kPattern, u"Your body is pierced by razor sharp ice spikes sent by *!"},
    {kPattern, u"* calls lightning from the sky to strike you, sizzling your insides!"},
    {kPattern, u"* waves at you, and a cold sweat begins attacking your every muscle."},
};
static_assert(std::size(kIsWeaveOnYouEntries) == 14);

// IsSourceRestored: 1 exact.
inline constexpr Entry kIsSourceRestoredEntries[] = {
    {kExact,   u"You feel your connection to the Source restored."},
};
static_assert(std::size(kIsSourceRestoredEntries) == 1);

// IsSpecialEvent: 6 exact, 1 pattern.
inline constexpr Entry kIsSpecialEventEntries[] = {
    {kExact,   u"A column of stone stands here covered in odd carvings."},
    {kExact,   u"An ancient stone column stands broken and partially buried in the ground."},
    {kExact,   u"You feel more and more saidar rushing through your body, your entire being feels suffused with the Power."},
    {kExact,   u"A dazzling light suffuses your consciousness and leaves you feeling disoriented."},
    {kExact,   u"You dangerously draw more power from saidin than before."},
    {kExact,   u"You dangerously draw more power from saidar than before."},
    {kPattern, u"You feel the * in your hand grow cold."},
};
static_assert(std::size(kIsSpecialEventEntries) == 7);
// clang-format on

// One test: consulted entry by entry in order, the first that holds makes it true. A gated test
// is false at once unless HasAttackVerb holds for the same line.
struct CategoryTest {
    std::string_view name;
    bool gated;
    std::span<const Entry> entries;

    bool operator()(std::u16string_view line) const noexcept;
};

inline constexpr CategoryTest HasAttackVerb{"HasAttackVerb", false, kHasAttackVerbEntries};
inline constexpr CategoryTest IsSpeech{"IsSpeech", false, kIsSpeechEntries};
inline constexpr CategoryTest IsOwnHit{"IsOwnHit", true, kIsOwnHitEntries};
inline constexpr CategoryTest IsOwnMiss{"IsOwnMiss", true, kIsOwnMissEntries};
inline constexpr CategoryTest IsOwnSpecialHit{"IsOwnSpecialHit", false, kIsOwnSpecialHitEntries};
inline constexpr CategoryTest IsOwnSpecialMiss{"IsOwnSpecialMiss", false, kIsOwnSpecialMissEntries};
inline constexpr CategoryTest IsHitOnYou{"IsHitOnYou", false, kIsHitOnYouEntries};
inline constexpr CategoryTest IsMissOnYou{"IsMissOnYou", true, kIsMissOnYouEntries};
inline constexpr CategoryTest IsSpecialHitOnYou{"IsSpecialHitOnYou", false,
                                                kIsSpecialHitOnYouEntries};
inline constexpr CategoryTest IsSpecialMissOnYou{"IsSpecialMissOnYou", false,
                                                 kIsSpecialMissOnYouEntries};
inline constexpr CategoryTest IsOwnWeave{"IsOwnWeave", false, kIsOwnWeaveEntries};
inline constexpr CategoryTest IsOwnWeaveFailure{"IsOwnWeaveFailure", false,
                                                kIsOwnWeaveFailureEntries};
inline constexpr CategoryTest IsWeaveOnYou{"IsWeaveOnYou", false, kIsWeaveOnYouEntries};
inline constexpr CategoryTest IsSourceRestored{"IsSourceRestored", false, kIsSourceRestoredEntries};
inline constexpr CategoryTest IsSpecialEvent{"IsSpecialEvent", false, kIsSpecialEventEntries};

// Every test, the gate first, then speech, then the thirteen categories in cascade order.
inline constexpr std::array<const CategoryTest*, 15> kAllTests{
    &HasAttackVerb,    &IsSpeech,          &IsOwnHit,     &IsOwnMiss,         &IsOwnSpecialHit,
    &IsOwnSpecialMiss, &IsHitOnYou,        &IsMissOnYou,  &IsSpecialHitOnYou, &IsSpecialMissOnYou,
    &IsOwnWeave,       &IsOwnWeaveFailure, &IsWeaveOnYou, &IsSourceRestored,  &IsSpecialEvent,
};

namespace table_checks {

constexpr bool IsWildcard(char16_t c) {
    return c == u'*' || c == u'?' || c == u'#' || c == u'[';
}

// Exact entries come before patterns, hold no wildcard character, and every text is printable
// ASCII: a stray tab or a typographic quote pasted into a row fails the build.
constexpr bool WellFormed(const CategoryTest& test) {
    bool seen_pattern = false;
    for (const Entry& entry : test.entries) {
        if (entry.text.empty()) {
            return false;
        }
        for (char16_t c : entry.text) {
            if (c < 0x20 || c > 0x7E || (entry.kind == kExact && IsWildcard(c))) {
                return false;
            }
        }
        if (entry.kind == kPattern) {
            seen_pattern = true;
        } else if (seen_pattern) {
            return false;
        }
    }
    return true;
}

constexpr bool AllWellFormed() {
    for (const CategoryTest* test : kAllTests) {
        if (!WellFormed(*test)) {
            return false;
        }
    }
    return true;
}

constexpr std::size_t CountEntries(std::size_t first, std::size_t last) {
    std::size_t count = 0;
    for (std::size_t i = first; i < last; ++i) {
        count += kAllTests[i]->entries.size();
    }
    return count;
}

static_assert(AllWellFormed());
// The thirteen category tests hold 133 entries between them.
static_assert(CountEntries(2, kAllTests.size()) == 133);

}  // namespace table_checks

}  // namespace brawlhue
