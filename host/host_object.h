// The IUnknown and IDispatch plumbing shared by the stand-in's objects: reference counting that
// the host state can see, and dispatch through the host's type library.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <memory>
#include <utility>

#include "host/counted_unknown.h"
#include "host/host_state.h"
#include "plugin/com_ref.h"

namespace brawlhue::host::detail {

// Reserved slots of the host's interfaces: present so that the called ones sit at the host's
// positions, never called by the plug-in.
#define BRAWLHUE_RESERVED_SLOT(Name)                     \
    HRESULT STDMETHODCALLTYPE Name() noexcept override { \
        return E_NOTIMPL;                                \
    }

template <typename Interface>
class HostObject : public CountedUnknown<Interface, IDispatch> {
  public:
    explicit HostObject(std::shared_ptr<HostState> state) noexcept : state_(std::move(state)) {
        ++state_->live_objects;
    }
    ~HostObject() override { --state_->live_objects; }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    // Hands the new object out with its first reference.
    Interface* Detach() noexcept {
        this->AddRef();
        return this;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = TypeInfo() ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
        if (info == nullptr) {
            return E_POINTER;
        }
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        com::ComRef<ITypeInfo> own = TypeInfo();
        if (!own) {
            return E_NOTIMPL;
        }
        *info = own.release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        com::ComRef<ITypeInfo> info = TypeInfo();
        if (!info) {
            return E_NOTIMPL;
        }
        return ::DispGetIDsOfNames(info.get(), names, count, ids);
    }
    // Lands in the interface's own slots, so a call made this way is counted like any other.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument_error) noexcept override {
        com::ComRef<ITypeInfo> info = TypeInfo();
        if (!info) {
            return E_NOTIMPL;
        }
        return ::DispInvoke(static_cast<Interface*>(this), info.get(), member, flags, parameters,
                            result, exception, argument_error);
    }

  protected:
    HostState& state() noexcept { return *state_; }
    const std::shared_ptr<HostState>& shared_state() noexcept { return state_; }

  private:
    com::ComRef<ITypeInfo> TypeInfo() noexcept {
        com::ComRef<ITypeInfo> info;
        if (ITypeLib* library = state_->TypeLibrary()) {
            library->GetTypeInfoOfGuid(__uuidof(Interface), info.put());
        }
        return info;
    }

    std::shared_ptr<HostState> state_;
};

}  // namespace brawlhue::host::detail
