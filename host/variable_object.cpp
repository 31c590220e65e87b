// HostVariable: a view of one stored variable of a session.
#include "host/host_object.h"
#include "host/host_objects.h"
#include "plugin/com_guard.h"
#include "plugin/unique_bstr.h"

namespace brawlhue::host::detail {
namespace {

class VariableObject final : public HostObject<HostVariable> {
  public:
    VariableObject(std::shared_ptr<HostState> state, SessionId session, VariableKey key) noexcept
        : HostObject(std::move(state)), session_(session), key_(std::move(key)) {}

    BRAWLHUE_RESERVED_SLOT(ReservedVariable1)
    BRAWLHUE_RESERVED_SLOT(ReservedVariable2)

    HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) noexcept override {
        return com::GuardedCall([&] {
            if (value != nullptr) {
                *value = nullptr;
            }
            com::ThrowIfFailed(state().EnterCall(HostOperation::kValue, session_, 0, key_.name));
            if (value == nullptr) {
                return E_POINTER;
            }
            const VariableTable& variables = state().Session(session_).variables;
            const auto found = variables.find(key_);
            if (found == variables.end()) {
                return kVariableRemoved;
            }
            *value = com::UniqueBstr::Copy(found->second.value).release();
            return S_OK;
        });
    }

  private:
    SessionId session_;
    VariableKey key_;
};

}  // namespace

HRESULT NewVariableObject(const std::shared_ptr<HostState>& state, SessionId session,
                          VariableKey key, HostVariable** object) {
    return com::GuardedCall([&] {
        *object = nullptr;
        *object = (new VariableObject(state, session, std::move(key)))->Detach();
        return S_OK;
    });
}

}  // namespace brawlhue::host::detail
