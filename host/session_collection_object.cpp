// HostSessions: the open sessions, in the order Item sees them.
#include "host/host_object.h"
#include "host/host_objects.h"
#include "plugin/com_guard.h"

namespace brawlhue::host::detail {
namespace {

class SessionCollectionObject final : public HostObject<HostSessions> {
  public:
    using HostObject::HostObject;

    BRAWLHUE_RESERVED_SLOT(ReservedSessions1)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions2)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions3)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions4)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions5)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions6)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions7)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions8)
    BRAWLHUE_RESERVED_SLOT(ReservedSessions9)

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) noexcept override {
        if (count != nullptr) {
            *count = 0;
        }
        if (const HRESULT fault = state().EnterCall(HostOperation::kCount, {}); FAILED(fault)) {
            return fault;
        }
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = state().reported_count.value_or(static_cast<LONG>(state().collection.size()));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Item(LONG index, HostSession** session) noexcept override {
        if (session != nullptr) {
            *session = nullptr;
        }
        if (const HRESULT fault = state().EnterCall(HostOperation::kItem, {}, index);
            FAILED(fault)) {
            return fault;
        }
        if (session == nullptr) {
            return E_POINTER;
        }
        // Count may have been made to report more sessions than there are.
        if (index < 0 || static_cast<std::size_t>(index) >= state().collection.size()) {
            return kNoSuchSession;
        }
        return NewSessionObject(shared_state(), state().collection[index], session);
    }
};

}  // namespace

HRESULT NewSessionCollection(const std::shared_ptr<HostState>& state, HostSessions** sessions) {
    return com::GuardedCall([&] {
        *sessions = nullptr;
        *sessions = (new SessionCollectionObject(state))->Detach();
        return S_OK;
    });
}

}  // namespace brawlhue::host::detail
