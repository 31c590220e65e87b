// HostSession: one session's window and variables.
#include "host/host_object.h"
#include "host/host_objects.h"
#include "plugin/com_guard.h"
#include "plugin/unique_bstr.h"

namespace brawlhue::host::detail {
namespace {

class SessionObject final : public HostObject<HostSession> {
  public:
    SessionObject(std::shared_ptr<HostState> state, SessionId session) noexcept
        : HostObject(std::move(state)), session_(session) {}

    BRAWLHUE_RESERVED_SLOT(ReservedSession1)
    BRAWLHUE_RESERVED_SLOT(ReservedSession2)
    BRAWLHUE_RESERVED_SLOT(ReservedSession4)
    BRAWLHUE_RESERVED_SLOT(ReservedSession5)
    BRAWLHUE_RESERVED_SLOT(ReservedSession6)
    BRAWLHUE_RESERVED_SLOT(ReservedSession7)
    BRAWLHUE_RESERVED_SLOT(ReservedSession8)
    BRAWLHUE_RESERVED_SLOT(ReservedSession9)
    BRAWLHUE_RESERVED_SLOT(ReservedSession10)
    BRAWLHUE_RESERVED_SLOT(ReservedSession11)
    BRAWLHUE_RESERVED_SLOT(ReservedSession12)
    BRAWLHUE_RESERVED_SLOT(ReservedSession13)
    BRAWLHUE_RESERVED_SLOT(ReservedSession14)
    BRAWLHUE_RESERVED_SLOT(ReservedSession16)
    BRAWLHUE_RESERVED_SLOT(ReservedSession17)
    BRAWLHUE_RESERVED_SLOT(ReservedSession18)
    BRAWLHUE_RESERVED_SLOT(ReservedSession19)
    BRAWLHUE_RESERVED_SLOT(ReservedSession20)
    BRAWLHUE_RESERVED_SLOT(ReservedSession21)
    BRAWLHUE_RESERVED_SLOT(ReservedSession22)
    BRAWLHUE_RESERVED_SLOT(ReservedSession23)
    BRAWLHUE_RESERVED_SLOT(ReservedSession25)
    BRAWLHUE_RESERVED_SLOT(ReservedSession26)
    BRAWLHUE_RESERVED_SLOT(ReservedSession27)

    HRESULT STDMETHODCALLTYPE DisplayText(BSTR text, LONG colour) noexcept override {
        return com::GuardedCall([&] {
            com::ThrowIfFailed(state().EnterCall(HostOperation::kDisplayText, session_));
            state().Session(session_).displayed.push_back(
                {std::u16string(com::TextOf(text)), colour});
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_SessionHandle(LONG* handle) noexcept override {
        if (handle != nullptr) {
            *handle = 0;
        }
        if (const HRESULT fault = state().EnterCall(HostOperation::kSessionHandle, session_);
            FAILED(fault)) {
            return fault;
        }
        if (handle == nullptr) {
            return E_POINTER;
        }
        *handle = state().Session(session_).handle;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetVariable(BSTR name, BSTR value, BSTR default_value,
                                          BSTR class_name,
                                          HostVariable** variable) noexcept override {
        return com::GuardedCall([&] {
            if (variable != nullptr) {
                *variable = nullptr;
            }
            com::ThrowIfFailed(
                state().EnterCall(HostOperation::kSetVariable, session_, 0, com::TextOf(name)));
            if (variable == nullptr) {
                return E_POINTER;
            }
            VariableKey key{std::u16string(com::TextOf(name)),
                            std::u16string(com::TextOf(class_name))};
            // The object first: when it cannot be made, the variable is left as it was.
            com::ComRef<HostVariable> object;
            com::ThrowIfFailed(NewVariableObject(shared_state(), session_, key, object.put()));
            state().Session(session_).variables.insert_or_assign(
                std::move(key), StoredVariable{std::u16string(com::TextOf(value)),
                                               std::u16string(com::TextOf(default_value))});
            *variable = object.release();
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE GetVariable(BSTR name, BSTR class_name,
                                          HostVariable** variable) noexcept override {
        return com::GuardedCall([&] {
            if (variable != nullptr) {
                *variable = nullptr;
            }
            com::ThrowIfFailed(
                state().EnterCall(HostOperation::kGetVariable, session_, 0, com::TextOf(name)));
            if (variable == nullptr) {
                return E_POINTER;
            }
            VariableKey key{std::u16string(com::TextOf(name)),
                            std::u16string(com::TextOf(class_name))};
            if (!state().Session(session_).variables.contains(key)) {
                return S_OK;  // no such variable: success with nothing
            }
            return NewVariableObject(shared_state(), session_, std::move(key), variable);
        });
    }

  private:
    SessionId session_;
};

}  // namespace

HRESULT NewSessionObject(const std::shared_ptr<HostState>& state, SessionId session,
                         HostSession** object) {
    return com::GuardedCall([&] {
        *object = nullptr;
        *object = (new SessionObject(state, session))->Detach();
        return S_OK;
    });
}

}  // namespace brawlhue::host::detail
