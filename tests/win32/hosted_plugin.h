// A BrawlhueClass object made through the module's class object, talking to the stand-in host.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string_view>
#include <vector>

#include "brawlhue.h"
#include "host/standin_host.h"
#include "plugin_module.h"
#include "zmud.h"

namespace brawlhue::testing {

using host::DisplayedLine;
using host::HostOperation;
using host::SessionId;
using host::StoredVariable;

inline constexpr LONG kCommandId = 20351;
inline constexpr std::u16string_view kOwnHit = u"You hit the troll's head";
inline constexpr std::u16string_view kFlagName = u"MeleeEnabled";
inline constexpr std::u16string_view kFlagClass = u"BrawlhuePlugin";

class HostedPluginTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Whether Parse colours an own hit now: the Enabled flag as the user sees it.
    bool Colouring();
    // Switches Enabled through a session of its own that is closed again, and forgets the calls.
    void SetColouring(bool on);
    HRESULT Command(LONG handle, std::u16string_view text, LONG id = kCommandId);
    // The lines the session was shown since the last look.
    std::vector<DisplayedLine> TakeShown(SessionId session);
    std::optional<StoredVariable> Flag(SessionId session) const;
    void StoreFlag(SessionId session, std::u16string_view value);

    Apartment apartment_;
    host::StandinHost host_;
    std::optional<host::HostSessionsRegistration> registration_;
    com::ComRef<IzMUDPlugin> plugin_;
};

// The lines each shown in the plug-in's ordinary colour.
std::vector<DisplayedLine> Plain(std::initializer_list<std::u16string_view> texts);

// The product name, copyright line and such, read from the module's version resource.
std::u16string VersionField(const wchar_t* name);

}  // namespace brawlhue::testing
