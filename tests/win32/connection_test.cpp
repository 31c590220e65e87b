// Connect and disconnect: the banner, and the colouring flag that each session keeps in its
// "MeleeEnabled" variable.
#include <gtest/gtest.h>
#include <windows.h>

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
                           kGet, kSet}),
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
                                   kItem, kGet, kGet, kValue}),
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

}  // namespace
}  // namespace brawlhue::testing
