#include "plugin/tools.h"

#include "filter/prompt.h"
#include "plugin/com_guard.h"
#include "plugin/unique_bstr.h"

namespace brawlhue {

using com::ComRef;
using com::GuardedCall;
using com::ThrowIfFailed;

Tools::Tools() {
    ThrowIfFailed(::CoCreateInstance(CLSID_HostSessionsClass, nullptr, CLSCTX_SERVER,
                                     IID_HostSessions, reinterpret_cast<void**>(Sessions.put())));
    if (!Sessions) {
        throw com::HResultError(E_NOINTERFACE);
    }
}

HRESULT Tools::GetNonPrompt(BSTR* PromptString, BSTR* result) noexcept {
    return GuardedCall([&] {
        if (PromptString == nullptr || result == nullptr) {
            return E_POINTER;
        }
        *result = nullptr;
        const std::u16string_view message = brawlhue::GetNonPrompt(com::TextOf(*PromptString));
        *result = com::UniqueBstr::Copy(message).release();
        return S_OK;
    });
}

HRESULT Tools::GetSession(LONG* Handle, HostSession** result) noexcept {
    return GuardedCall([&] {
        if (Handle == nullptr || result == nullptr) {
            return E_POINTER;
        }
        *result = nullptr;
        const LONG wanted = *Handle;
        LONG count = 0;
        ThrowIfFailed(Sessions->get_Count(&count));
        // No session reference is held from one index to the next.
        for (LONG index = 0; index < count; ++index) {
            LONG handle = 0;
            {
                ComRef<HostSession> session;
                ThrowIfFailed(Sessions->Item(index, session.put()));
                if (!session) {
                    throw com::HResultError(com::kObjectMissing);
                }
                ThrowIfFailed(session->get_SessionHandle(&handle));
            }
            if (handle == wanted) {
                ComRef<HostSession> found;
                ThrowIfFailed(Sessions->Item(index, found.put()));
                *result = found.release();
                return S_OK;
            }
        }
        return S_OK;
    });
}

}  // namespace brawlhue
