// Connect and disconnect: the banner, the colouring flag that each session keeps in its
// "MeleeEnabled" variable, and the palette and tags it keeps beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "hosted_plugin.h"
#include "plugin/com_guard.h"

namespace brawlhue::testing {
namespace {

using host::HostCall;

class ConnectionTest : public HostedPluginTest {
  protected:
    std::vector<DisplayedLine> Banner() const {
        return Plain(
            {VersionField(L"ProductName") + u", v 1.4.3, " + VersionField(L"LegalCopyright")});
    }
    std::vector<HostOperation> Operations() const {
        std::vector<HostOperation> operations;
        for (const HostCall& call : host_.CallLog()) {
            operations.push_back(call.operation);
        }
        return operations;
    }
    // The variables that the calls so far named, in order.
    std::vector<std::u16string> VariablesCalled() const {
        std::vector<std::u16string> names;
        for (const HostCall& call : host_.CallLog()) {
            if (!call.variable.empty()) {
                names.push_back(call.variable);
            }
        }
        return names;
    }
    void StoreOrRemove(SessionId session, std::u16string_view name,
                       std::optional<std::u16string_view> value) {
        if (value) {
            host_.SetVariable(session, name, kFlagClass, *value, *value);
        } else {
            host_.RemoveVariable(session, name, kFlagClass);
        }
    }
    // Session 5, opened with the flag and both choices stored.
    SessionId SessionStoring(std::u16string_view flag, std::u16string_view palette,
                             std::u16string_view tags) {
        const SessionId session = host_.OpenSession(5);
        StoreFlag(session, flag);
        StoreOrRemove(session, kPaletteName, palette);
        StoreOrRemove(session, kTagsName, tags);
        return session;
    }
};

constexpr HostOperation kCount = HostOperation::kCount;
constexpr HostOperation kItem = HostOperation::kItem;
constexpr HostOperation kHandle = HostOperation::kSessionHandle;
constexpr HostOperation kDisplay = HostOperation::kDisplayText;
constexpr HostOperation kGet = HostOperation::kGetVariable;
constexpr HostOperation kSet = HostOperation::kSetVariable;
constexpr HostOperation kValue = HostOperation::kValue;

TEST_F(ConnectionTest, FirstConnectShowsTheBannerAndCreatesTheFlagSwitchedOn) {
    const SessionId session = host_.OpenSession(5);
    ASSERT_EQ(S_OK, plugin_->OnConnect(5));
    EXPECT_EQ(Banner(), TakeShown(session));
    EXPECT_EQ((StoredVariable{u"True", u"True"}), Flag(session));
    EXPECT_EQ(1u, host_.Variables(session).size());
    EXPECT_TRUE(Colouring());
    // The session is looked up anew for the banner and for the flag.
    EXPECT_EQ((std::vector{kCount, kItem, kHandle, kItem, kDisplay, kCount, kItem, kHandle, kItem,
                           kGet, kSet, kGet, kGet}),
              Operations());
}

TEST_F(ConnectionTest, ConnectReadsTheStoredFlag) {
    const SessionId session = host_.OpenSession(5);
    const struct {
        const char16_t* stored;
        bool on;
    } cases[] = {
        {u"True", true},   {u"true", true},   {u"TRUE", true}, {u"False", false},
        {u"false", false}, {u"FALSE", false}, {u"0", false},   {u"-1", true},
        {u"1", true},      {u"2.5", true},    {u"0.0", false},
    };
    for (const auto& test : cases) {
        for (bool before : {false, true}) {
            SetColouring(before);
            StoreFlag(session, test.stored);
            ASSERT_EQ(S_OK, plugin_->OnConnect(5));
            EXPECT_EQ(test.on, Colouring()) << &test - cases;
            EXPECT_EQ((StoredVariable{test.stored, test.stored}), Flag(session));
            EXPECT_EQ(Banner(), TakeShown(session));
            EXPECT_EQ((std::vector{kCount, kItem, kHandle, kItem, kDisplay, kCount, kItem, kHandle,
                                   kItem, kGet, kGet, kValue, kGet, kGet}),
                      Operations());
        }
    }
}

TEST_F(ConnectionTest, AnUnreadableFlagFailsAfterTheBannerAndChangesNothing) {
    const SessionId session = host_.OpenSession(5);
    for (const char16_t* stored : {u"yes", u"", u"on", u"True!", u"1x", u"#brawlhue"}) {
        for (bool before : {false, true}) {
            SetColouring(before);
            StoreFlag(session, stored);
            EXPECT_EQ(DISP_E_TYPEMISMATCH, plugin_->OnConnect(5));
            EXPECT_EQ(before, Colouring());
            EXPECT_EQ(Banner(), TakeShown(session));
            EXPECT_EQ((StoredVariable{stored, stored}), Flag(session));
        }
    }
}

TEST_F(ConnectionTest, DisconnectSavesTheFlagAsTrueOrFalse) {
    const SessionId session = host_.OpenSession(5);
    for (const char16_t* stored : {u"1", u"0", u"false", u"True"}) {
        StoreFlag(session, stored);
        ASSERT_EQ(S_OK, plugin_->OnConnect(5));
        const bool on = Colouring();
        host_.ResetCalls();
        ASSERT_EQ(S_OK, plugin_->OnDisconnect(5));
        const std::u16string saved = on ? u"True" : u"False";
        EXPECT_EQ((StoredVariable{saved, saved}), Flag(session));
        EXPECT_EQ((std::vector{kCount, kItem, kHandle, kItem, kSet}), Operations());
        EXPECT_EQ(on, Colouring());
    }
    EXPECT_EQ(4u, TakeShown(session).size()) << "the banners, and nothing at disconnect";
}

TEST_F(ConnectionTest, SessionsShareOneFlag) {
    const SessionId first = host_.OpenSession(1);
    const SessionId second = host_.OpenSession(2);
    ASSERT_EQ(S_OK, plugin_->OnConnect(1));
    EXPECT_TRUE(Colouring());
    StoreFlag(second, u"False");
    ASSERT_EQ(S_OK, plugin_->OnConnect(2));
    EXPECT_FALSE(Colouring());
    ASSERT_EQ(S_OK, plugin_->OnDisconnect(1));
    EXPECT_EQ((StoredVariable{u"False", u"False"}), Flag(first));
    // A reconnect finds what the earlier connection stored.
    host_.CloseSession(first);
    host_.ReopenSession(first);
    SetColouring(true);
    ASSERT_EQ(S_OK, plugin_->OnConnect(1));
    EXPECT_FALSE(Colouring());
}

TEST_F(ConnectionTest, AnUnknownHandleShowsAndStoresNothing) {
    const SessionId session = host_.OpenSession(5);
    for (LONG handle : {6, 0, -5}) {
        for (bool before : {false, true}) {
            SetColouring(before);
            EXPECT_EQ(com::kObjectMissing, plugin_->OnConnect(handle));
            EXPECT_EQ(com::kObjectMissing, plugin_->OnDisconnect(handle));
            EXPECT_EQ(before, Colouring());
            EXPECT_TRUE(TakeShown(session).empty());
            EXPECT_TRUE(host_.Variables(session).empty());
        }
    }
}

// Read from the session that connects, after the flag; a missing or unreadable choice is its
// default, and nothing is created: choices are stored only when the player makes them.
TEST_F(ConnectionTest, ConnectReadsTheStoredAppearanceAndCreatesNothing) {
    const SessionId session = host_.OpenSession(5);
    const struct {
        std::optional<std::u16string_view> palette;
        std::optional<std::u16string_view> tags;
        Appearance read;
    } cases[] = {
        {std::nullopt, std::nullopt, {}},
        {u"colourblind", std::nullopt, {kColourblind, false}},
        {u"COLOURBLIND", u"True", {kColourblind, true}},
        {u"Classic", u"false", {}},
        {std::nullopt, u"TRUE", {kClassicPalette, true}},
        {u"colourblind", u"0", {kColourblind, false}},
        {u"rainbow", u"-1", {kClassicPalette, true}},
        {u" colourblind", u"yes", {}},
        {u"", u"", {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(&test - cases);
        for (const Appearance before : {Appearance{}, Appearance{kColourblind, true}}) {
            SetAppearance(before);
            StoreOrRemove(session, kPaletteName, test.palette);
            StoreOrRemove(session, kTagsName, test.tags);
            StoreFlag(session, u"True");
            const VariableTable stored = host_.Variables(session);
            ASSERT_EQ(S_OK, plugin_->OnConnect(5));
            EXPECT_EQ(Banner(), TakeShown(session));
            EXPECT_EQ(stored, host_.Variables(session));
            std::vector<std::u16string> called(3, std::u16string(kFlagName));
            called.emplace_back(kPaletteName);
            if (test.palette) {
                called.emplace_back(kPaletteName);  // its Value
            }
            called.emplace_back(kTagsName);
            if (test.tags) {
                called.emplace_back(kTagsName);
            }
            EXPECT_EQ(called, VariablesCalled());
            EXPECT_EQ(test.read, AppearanceInUse());
        }
    }
}

// A host that fails to give a choice: that choice is its default, the other is still read, and
// the connect answers as it does without choices.
TEST_F(ConnectionTest, AFailedAppearanceReadLeavesThatChoiceAtItsDefault) {
    const SessionId session = SessionStoring(u"True", u"colourblind", u"True");
    // The flag's own reads come first: GetVariable twice, Value once.
    const struct {
        HostOperation operation;
        unsigned n;
        Appearance read;
    } cases[] = {
        {kGet, 3, {kClassicPalette, true}},
        {kGet, 4, {kColourblind, false}},
        {kValue, 2, {kClassicPalette, true}},
        {kValue, 3, {kColourblind, false}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(&test - cases);
        SetAppearance({kColourblind, true});
        host_.FailNthCall(test.operation, test.n, E_OUTOFMEMORY);
        EXPECT_EQ(S_OK, plugin_->OnConnect(5));
        host_.ClearFaults();
        EXPECT_EQ(Banner(), TakeShown(session));
        EXPECT_EQ(test.read, AppearanceInUse());
    }
}

// The choices are read only once the flag has loaded: a connect that fails keeps them too.
TEST_F(ConnectionTest, AnUnreadableFlagLeavesTheAppearanceAsItWas) {
    SessionStoring(u"yes", u"classic", u"False");
    for (const Appearance before : {Appearance{kColourblind, true}, Appearance{kColourblind}}) {
        SetAppearance(before);
        SetColouring(true);
        EXPECT_EQ(DISP_E_TYPEMISMATCH, plugin_->OnConnect(5));
        EXPECT_EQ(std::vector<std::u16string>(3, std::u16string(kFlagName)), VariablesCalled());
        EXPECT_EQ(before, AppearanceInUse());
    }
}

TEST_F(ConnectionTest, ChoicesSurviveADisconnectAndEachConnectReplacesThem) {
    const SessionId first = host_.OpenSession(1);
    const SessionId second = host_.OpenSession(2);
    ASSERT_EQ(S_OK, plugin_->OnConnect(1));
    ASSERT_EQ(S_OK, Command(1, u"palette colourblind"));
    ASSERT_EQ(S_OK, Command(1, u"tags on"));
    host_.ResetCalls();
    ASSERT_EQ(S_OK, plugin_->OnDisconnect(1));
    EXPECT_EQ(std::vector{std::u16string(kFlagName)}, VariablesCalled()) << "the flag alone";
    EXPECT_EQ((StoredVariable{u"colourblind", u"colourblind"}),
              host_.Variable(first, kPaletteName, kFlagClass));
    EXPECT_EQ((StoredVariable{u"True", u"True"}), host_.Variable(first, kTagsName, kFlagClass));
    host_.CloseSession(first);
    // A session without choices brings back the defaults, for every session alike.
    ASSERT_EQ(S_OK, plugin_->OnConnect(2));
    EXPECT_EQ(Appearance{}, AppearanceInUse());
    EXPECT_EQ(1u, host_.Variables(second).size());
    host_.ReopenSession(first);
    ASSERT_EQ(S_OK, plugin_->OnConnect(1));
    EXPECT_EQ((Appearance{kColourblind, true}), AppearanceInUse());
}

}  // namespace
}  // namespace brawlhue::testing
