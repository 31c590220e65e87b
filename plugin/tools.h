// Tools: the prompt stripper and the session lookup, over the host's session collection.
#pragma once

#include <windows.h>

#include "brawlhue.h"
#include "plugin/com_object.h"
#include "plugin/com_ref.h"
#include "plugin/dual_interface.h"
#include "plugin/type_libraries.h"
#include "zmud.h"

namespace brawlhue {

class Tools final
    : public com::ComObject<Tools, com::DualInterface<_Tools, com::LoadOwnTypeLibrary>> {
  public:
    // Creates the host's session collection; throws com::HResultError with the host's status
    // when that fails, and so fails the construction.
    Tools();

    HRESULT STDMETHODCALLTYPE GetNonPrompt(BSTR* PromptString, BSTR* result) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSession(LONG* Handle, HostSession** result) noexcept override;

  private:
    com::ComRef<HostSessions> Sessions;
};

}  // namespace brawlhue
