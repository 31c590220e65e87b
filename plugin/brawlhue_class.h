// BrawlhueClass: the object the host talks to, through its plug-in interface IzMUDPlugin. It owns
// the plug-in's only state, its Tools object, the colouring flag and the player's appearance
// choices.
#pragma once

#include <windows.h>

#include <string_view>

#include "brawlhue.h"
#include "command/plugin_command_text.h"
#include "engine/colorizer.h"
#include "plugin/com_object.h"
#include "plugin/com_ref.h"
#include "plugin/dual_interface.h"
#include "plugin/type_libraries.h"
#include "zmud.h"

namespace brawlhue {

class BrawlhueClass final
    : public com::ComObject<BrawlhueClass,
                            com::DualInterface<_BrawlhueClass, com::LoadOwnTypeLibrary>,
                            com::DualInterface<IzMUDPlugin, com::LoadHostTypeLibrary>> {
  public:
    // Creates the Tools object; throws com::HResultError when that fails.
    BrawlhueClass();

    HRESULT STDMETHODCALLTYPE Register(BSTR* Name, BSTR* Company, BSTR* Description, BSTR* Version,
                                       BSTR* HelpFile, VARIANT_BOOL* LoadDef) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Version(LONG* result) noexcept override;
    HRESULT STDMETHODCALLTYPE Init() noexcept override;
    HRESULT STDMETHODCALLTYPE Close() noexcept override;
    HRESULT STDMETHODCALLTYPE AddCommands(BSTR* FileName, LONG* ComVersion) noexcept override;
    HRESULT STDMETHODCALLTYPE plugCommand(LONG H, LONG ComID, BSTR ComStr,
                                          VARIANT P) noexcept override;
    HRESULT STDMETHODCALLTYPE plugFunction(LONG H, LONG ComID, BSTR ComStr, VARIANT P,
                                           BSTR* result) noexcept override;
    HRESULT STDMETHODCALLTYPE AddMenu(LONG MenuIndex, BSTR* Caption, BSTR* HelpStr, LONG* ComID,
                                      LONG m) noexcept override;
    HRESULT STDMETHODCALLTYPE Menu(LONG H, LONG ComID) noexcept override;
    HRESULT STDMETHODCALLTYPE UserInput(LONG H, BSTR* P, VARIANT_BOOL* SendToMUD) noexcept override;
    HRESULT STDMETHODCALLTYPE Parse(LONG H, BSTR* P, VARIANT_BOOL IsPrompt, LONG* DoGag,
                                    VARIANT_BOOL* DoUpdate) noexcept override;
    HRESULT STDMETHODCALLTYPE MUDInput(LONG H, BSTR* P) noexcept override;
    HRESULT STDMETHODCALLTYPE Update(LONG H) noexcept override;
    HRESULT STDMETHODCALLTYPE LoadSettings(BSTR P, LONG L) noexcept override;
    HRESULT STDMETHODCALLTYPE get_SaveSettings(BSTR* result) noexcept override;
    HRESULT STDMETHODCALLTYPE CaptureOutput(LONG H, BSTR AsciiText, BSTR RawText) noexcept override;
    HRESULT STDMETHODCALLTYPE Status(LONG Stat) noexcept override;
    HRESULT STDMETHODCALLTYPE OpenThread(LONG H, BSTR Name, BSTR Host, LONG Port) noexcept override;
    HRESULT STDMETHODCALLTYPE CloseThread(LONG H) noexcept override;
    HRESULT STDMETHODCALLTYPE OnConnect(LONG H) noexcept override;
    HRESULT STDMETHODCALLTYPE OnDisconnect(LONG H) noexcept override;
    HRESULT STDMETHODCALLTYPE get_CanCapture(VARIANT_BOOL* result) noexcept override;

  private:
    // The session that H names, through PlugTools; nothing when none has it.
    com::ComRef<HostSession> FindSession(LONG H) const;
    void LoadEnabledFlag(HostSession* session);
    void SaveEnabledFlag(HostSession* session) const;
    // The palette and the spoken tags stored in the session; a value that cannot be read, for
    // whatever reason, leaves its default.
    void LoadAppearance(HostSession& session) noexcept;
    // Stores the one choice that a palette or tags command made.
    void SaveAppearanceChoice(HostSession* session, SubCommand choice) const;

    com::ComRef<_Tools> PlugTools;
    VARIANT_BOOL Enabled = VARIANT_FALSE;
    // Like Enabled, one for all sessions: each connect replaces it with that session's choices.
    Appearance ChosenAppearance;
};

// One line in the session's window. A missing session fails the way a call on nothing does.
void DisplayLine(HostSession* session, std::u16string_view text, LONG colour);

}  // namespace brawlhue
