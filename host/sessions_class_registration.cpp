// The class object of HostSessionsClass, registered in this process for as long as a
// HostSessionsRegistration lives.
#include <unknwn.h>

#include <memory>

#include "host/counted_unknown.h"
#include "host/host_objects.h"
#include "host/host_state.h"
#include "host/standin_host.h"
#include "plugin/com_guard.h"
#include "plugin/com_ref.h"

namespace brawlhue::host {
namespace {

class SessionCollectionFactory final : public detail::CountedUnknown<IClassFactory> {
  public:
    explicit SessionCollectionFactory(std::shared_ptr<detail::HostState> state) noexcept
        : state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                             void** object) noexcept override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        if (const HRESULT fault = state_->EnterCall(HostOperation::kCreateSessions, {});
            FAILED(fault)) {
            return fault;
        }
        com::ComRef<HostSessions> sessions;
        if (const HRESULT made = detail::NewSessionCollection(state_, sessions.put());
            FAILED(made)) {
            return made;
        }
        return sessions->QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) noexcept override { return S_OK; }

  private:
    std::shared_ptr<detail::HostState> state_;
};

}  // namespace

HostSessionsRegistration::HostSessionsRegistration(StandinHost& host) {
    com::ComRef<IClassFactory> factory =
        com::ComRef<IClassFactory>::Share(new SessionCollectionFactory(host.state_));
    // Registered for local servers too: in-process creation finds it either way, and a host
    // object is by nature not in the plug-in's module.
    com::ThrowIfFailed(::CoRegisterClassObject(CLSID_HostSessionsClass, factory.get(),
                                               CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                                               REGCLS_MULTIPLEUSE, &cookie_));
}

HostSessionsRegistration::~HostSessionsRegistration() {
    ::CoRevokeClassObject(cookie_);
}

}  // namespace brawlhue::host
