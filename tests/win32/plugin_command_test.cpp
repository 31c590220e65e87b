// The #brawlhue command: exact lines and colours of every case, and the flag and the appearance
// choices it switches and saves.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "hosted_plugin.h"
#include "plugin/com_guard.h"

namespace brawlhue::testing {
namespace {

constexpr HRESULT kInjected = E_ACCESSDENIED;

const std::vector<DisplayedLine> kHelp{
    {u"", 131},
    {u"Brawlhue Plugin Help", 387},
    {u"", 131},
    {u"Use:", 131},
    {u"  '#brawlhue on' to toggle plugin on", 131},
    {u"  '#brawlhue off' to toggle plugin off", 131},
    {u"  '#brawlhue status' to display status", 131},
    {u"", 131},
};
const std::vector<DisplayedLine> kEnabled = Plain({u"", u"Brawlhue: Enabled.", u""});
const std::vector<DisplayedLine> kDisabled = Plain({u"", u"Brawlhue: Disabled.", u""});
const std::vector<DisplayedLine> kSwitchedOn = Plain({u"", u"Brawlhue has been enabled.", u""});
const std::vector<DisplayedLine> kSwitchedOff = Plain({u"", u"Brawlhue has been disabled.", u""});
const std::vector<DisplayedLine> kUnknown =
    Plain({u"", u"Brawlhue: Unknown command.", u"Use '#brawlhue help' for more information.", u""});

class PluginCommandTest : public HostedPluginTest {
  protected:
    void SetUp() override {
        HostedPluginTest::SetUp();
        session_ = host_.OpenSession(kHandle);
        StoreFlag(session_, u"stored");
    }
    static constexpr LONG kHandle = 3;
    SessionId session_{};
};

TEST_F(PluginCommandTest, ShowsTheLinesOfEachCase) {
    struct Case {
        const char16_t* command;
        bool before;
        const std::vector<DisplayedLine>& lines;
        bool after;
        std::optional<std::u16string> saved;  // nothing: the variable stays as it was
    };
    const Case cases[] = {
        {u"HELP", true, kHelp, true, std::nullopt},
        {u"Help me", false, kHelp, false, std::nullopt},
        {u"on help", false, kHelp, false, std::nullopt},
        {u"status", true, kEnabled, true, std::nullopt},
        {u"  StAtUs", false, kDisabled, false, std::nullopt},
        {u"ON", false, kSwitchedOn, true, u"True"},
        {u"button", true, kSwitchedOn, true, u"True"},
        {u"Off", true, kSwitchedOff, false, u"False"},
        {u"off on", false, kSwitchedOn, true, u"True"},
        {u"", true, kUnknown, true, std::nullopt},
        {u"toggle", false, kUnknown, false, std::nullopt},
        {u"#brawlhue", true, kUnknown, true, std::nullopt},
        // palette and tags count only as the first word.
        {u"on palette", false, kSwitchedOn, true, u"True"},
        {u"stags off", true, kSwitchedOff, false, u"False"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(&test - cases);
        SetColouring(test.before);
        ASSERT_EQ(S_OK, Command(kHandle, test.command));
        EXPECT_EQ(test.lines, TakeShown(session_));
        EXPECT_EQ(test.after, Colouring());
        const std::u16string saved = test.saved.value_or(u"stored");
        EXPECT_EQ((StoredVariable{saved, saved}), Flag(session_));
        StoreFlag(session_, u"stored");
    }
}

TEST_F(PluginCommandTest, TakesANullCommandAsEmpty) {
    VARIANT unused;
    ::VariantInit(&unused);
    ASSERT_EQ(S_OK, plugin_->plugCommand(kHandle, kCommandId, nullptr, unused));
    EXPECT_EQ(kUnknown, TakeShown(session_));
}

TEST_F(PluginCommandTest, RefusesOtherCommandIdentifiers) {
    for (LONG id : {7L, -12L, 0L, 20350L, 2147483647L}) {
        SCOPED_TRACE(id);
        ASSERT_EQ(S_OK, Command(kHandle, u"on", id));
        std::u16string message = u"Brawlhue: Unknown plugin command ID ";
        for (char digit : std::to_string(id)) {
            message += static_cast<char16_t>(digit);
        }
        message += u", aborting";
        EXPECT_EQ(Plain({u"", message, u""}), TakeShown(session_));
        EXPECT_FALSE(Colouring());
        EXPECT_EQ((StoredVariable{u"stored", u"stored"}), Flag(session_));
    }
}

// The session is not tested for nothing: a switch happens in memory, then the save fails.
TEST_F(PluginCommandTest, AnUnknownHandleShowsNothingButStillSwitches) {
    const struct {
        const char16_t* command;
        bool before;
        bool after;
    } cases[] = {{u"on", false, true},
                 {u"off", true, false},
                 {u"status", true, true},
                 {u"help", false, false}};
    for (const auto& test : cases) {
        SCOPED_TRACE(&test - cases);
        SetColouring(test.before);
        EXPECT_EQ(com::kObjectMissing, Command(kHandle + 1, test.command));
        EXPECT_EQ(test.after, Colouring());
        EXPECT_TRUE(TakeShown(session_).empty());
        EXPECT_EQ((StoredVariable{u"stored", u"stored"}), Flag(session_));
    }
}

TEST_F(PluginCommandTest, AFailedSaveKeepsTheSwitchAndShowsNoConfirmation) {
    host_.FailNthCall(HostOperation::kSetVariable, 1, kInjected);
    EXPECT_EQ(kInjected, Command(kHandle, u"on"));
    EXPECT_TRUE(Colouring());
    EXPECT_TRUE(TakeShown(session_).empty());
    // A failed line ends the output there.
    host_.FailNthCall(HostOperation::kDisplayText, 3, kInjected);
    EXPECT_EQ(kInjected, Command(kHandle, u"help"));
    EXPECT_EQ(std::vector(kHelp.begin(), kHelp.begin() + 2), TakeShown(session_));
    // And the object goes on working.
    ASSERT_EQ(S_OK, Command(kHandle, u"status"));
    EXPECT_EQ(kEnabled, TakeShown(session_));
}

// Each answer is its one line between empty lines; a palette named or tags switched is stored at
// once, in its own variable, and nothing else is: neither the flag nor the other choice.
TEST_F(PluginCommandTest, PaletteAndTagsAnswerAndStoreOnlyTheChoiceMade) {
    constexpr Appearance kBlind{kColourblind, false};
    constexpr Appearance kTagged{kClassicPalette, true};
    const std::u16string unknown = u"Brawlhue: Unknown palette. Palettes: classic, colourblind.";
    const std::u16string usage = u"; use '#brawlhue tags on' or '#brawlhue tags off'.";
    struct Case {
        const char16_t* command;
        Appearance before;
        std::u16string line;
        Appearance after;
        std::u16string_view saved_name;  // empty: nothing saved
        std::u16string_view saved_text;
    };
    const Case cases[] = {
        {u"palette", {}, u"Brawlhue: Palettes: classic (in use), colourblind.", {}, {}, {}},
        {u"#brawlhue Palette",
         kBlind,
         u"Brawlhue: Palettes: classic, colourblind (in use).",
         kBlind,
         {},
         {}},
        {u"palette COLOURBLIND",
         kTagged,
         u"Brawlhue: Palette colourblind in use.",
         {kColourblind, true},
         kPaletteName,
         u"colourblind"},
        {u" #BRAWLHUE palette  Classic ",
         kBlind,
         u"Brawlhue: Palette classic in use.",
         {},
         kPaletteName,
         u"classic"},
        {u"palette rainbow", kBlind, unknown, kBlind, {}, {}},
        {u"palette classic colourblind", {}, unknown, {}, {}, {}},
        {u"tags on",
         kBlind,
         u"Brawlhue: Spoken tags on.",
         {kColourblind, true},
         kTagsName,
         u"True"},
        {u"TAGS Off", kTagged, u"Brawlhue: Spoken tags off.", {}, kTagsName, u"False"},
        {u"tags", {}, u"Brawlhue: Spoken tags are off" + usage, {}, {}, {}},
        {u"tags help", kTagged, u"Brawlhue: Spoken tags are on" + usage, kTagged, {}, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(&test - cases);
        for (const bool colouring : {false, true}) {
            SetColouring(colouring);
            SetAppearance(test.before);
            ASSERT_EQ(S_OK, Command(kHandle, test.command));
            EXPECT_EQ(Plain({u"", test.line, u""}), TakeShown(session_));
            EXPECT_EQ(colouring, Colouring());
            SetColouring(true);
            EXPECT_EQ(test.after, AppearanceInUse());
            VariableTable expected{
                {{std::u16string(kFlagName), std::u16string(kFlagClass)}, {u"stored", u"stored"}}};
            if (!test.saved_name.empty()) {
                const std::u16string text(test.saved_text);
                expected[{std::u16string(test.saved_name), std::u16string(kFlagClass)}] = {text,
                                                                                           text};
            }
            EXPECT_EQ(expected, host_.Variables(session_));
            host_.RemoveVariable(session_, kPaletteName, kFlagClass);
            host_.RemoveVariable(session_, kTagsName, kFlagClass);
        }
    }
}

// As with on and off, the choice is made in memory before it is stored: a failed store, or a
// session that is not there, shows nothing.
TEST_F(PluginCommandTest, AFailedStoreKeepsTheChoiceAndShowsNoConfirmation) {
    const struct {
        const char16_t* command;
        LONG handle;
        HRESULT result;
        Appearance after;
    } cases[] = {
        {u"palette colourblind", kHandle, kInjected, {kColourblind, false}},
        {u"tags on", kHandle + 1, com::kObjectMissing, {kClassicPalette, true}},
        {u"palette", kHandle + 1, com::kObjectMissing, {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(&test - cases);
        SetColouring(true);
        SetAppearance({});
        host_.FailNthCall(HostOperation::kSetVariable, 1, kInjected);
        EXPECT_EQ(test.result, Command(test.handle, test.command));
        host_.ClearFaults();
        EXPECT_TRUE(TakeShown(session_).empty());
        EXPECT_EQ(1u, host_.Variables(session_).size()) << "the flag alone";
        EXPECT_EQ(test.after, AppearanceInUse());
    }
}

}  // namespace
}  // namespace brawlhue::testing
