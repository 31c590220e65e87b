// A plug-in object hosted by the stand-in host, with the helpers both the module's tests and the
// hardening tests drive it through. How the object is made, and how strictly a colouring probe is
// checked, stays with each.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/standin_host.h"
#include "plugin/com_ref.h"
#include "zmud.h"

namespace brawlhue::testing {

using host::DisplayedLine;
using host::HostOperation;
using host::SessionId;
using host::StoredVariable;
using host::VariableTable;

inline constexpr LONG kCommandId = 20351;
inline constexpr std::u16string_view kOwnHit = u"You hit the troll's head";
inline constexpr std::u16string_view kReset = u"\x1b[0m";
inline constexpr std::u16string_view kOwnHitColour = u"\x1b[36;40;1m";
inline constexpr std::u16string_view kFlagName = u"MeleeEnabled";
inline constexpr std::u16string_view kFlagClass = u"BrawlhuePlugin";
// The palette and tags choices, kept beside the flag in the same class.
inline constexpr std::u16string_view kPaletteName = u"MeleePalette";
inline constexpr std::u16string_view kTagsName = u"MeleeTags";

class HostedPluginCore {
  public:
    HostedPluginCore() = default;
    virtual ~HostedPluginCore() = default;
    HostedPluginCore(const HostedPluginCore&) = delete;
    HostedPluginCore& operator=(const HostedPluginCore&) = delete;

    // Whether Parse colours an own hit now: the Enabled flag as the user sees it.
    virtual bool Colouring() = 0;
    // Switches Enabled through a session of its own that is closed again, and forgets the calls.
    void SetColouring(bool on);
    HRESULT Command(LONG handle, std::u16string_view text, LONG id = kCommandId);
    // The lines the session was shown since the last look.
    std::vector<DisplayedLine> TakeShown(SessionId session);
    std::optional<StoredVariable> Flag(SessionId session) const;
    void StoreFlag(SessionId session, std::u16string_view value);

  protected:
    // Declared in this order so that the object goes before its registration, and that before
    // the host.
    host::StandinHost host_;
    std::optional<host::HostSessionsRegistration> registration_;
    com::ComRef<IzMUDPlugin> plugin_;
};

// Whether the call reads a palette or tags choice: a read the plug-in makes when a session
// connects, whose failure leaves that choice at its default and fails nothing.
bool ReadsAnAppearanceChoice(const host::HostCall& call);

// The line as Parse rebuilds it when the message is an own hit: the reset sequence, the prompt
// part, the message in bold cyan on black, the reset sequence.
std::u16string RebuiltOwnHit(std::u16string_view prompt, std::u16string_view message);

// The lines each shown in the plug-in's ordinary colour.
std::vector<DisplayedLine> Plain(std::initializer_list<std::u16string_view> texts);

}  // namespace brawlhue::testing
