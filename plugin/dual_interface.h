// The IDispatch members of one dual interface, answered from its type information: GetIDsOfNames
// and Invoke land in the interface's own vtable slots, as a script host expects.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <utility>

#include "plugin/com_ref.h"

namespace brawlhue::com {

using TypeLibraryLoader = HRESULT (*)(ITypeLib** library) noexcept;

// A base of a COM class (see ComObject) that implements Interface's IDispatch members. A class
// with two dual interfaces has two of these, one per vtable. The type information is loaded at
// first use and kept for the object's life.
template <typename Interface, TypeLibraryLoader LoadTypeLibrary>
class DualInterface : public Interface {
  public:
    using ImplementedInterface = Interface;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        const HRESULT loaded = LoadTypeInfo();
        if (SUCCEEDED(loaded)) {
            *count = 1;
        }
        return loaded;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
        if (info == nullptr) {
            return E_POINTER;
        }
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        const HRESULT loaded = LoadTypeInfo();
        if (FAILED(loaded)) {
            return loaded;
        }
        *info = ComRef<ITypeInfo>::Share(dispatch_info_.get()).release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        if (!IsEqualIID(iid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        const HRESULT loaded = LoadTypeInfo();
        if (FAILED(loaded)) {
            return loaded;
        }
        return ::DispGetIDsOfNames(vtable_info_.get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument_error) noexcept override {
        if (!IsEqualIID(iid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        const HRESULT loaded = LoadTypeInfo();
        if (FAILED(loaded)) {
            return loaded;
        }
        return ::DispInvoke(static_cast<Interface*>(this), vtable_info_.get(), member, flags,
                            parameters, result, exception, argument_error);
    }

  protected:
    DualInterface() noexcept = default;
    ~DualInterface() = default;

  private:
    // The dispatch view is what GetTypeInfo hands out; calls go through the interface view,
    // which describes the vtable that Invoke calls into.
    HRESULT LoadTypeInfo() noexcept {
        if (vtable_info_) {
            return S_OK;
        }
        ComRef<ITypeLib> library;
        HRESULT result = LoadTypeLibrary(library.put());
        if (FAILED(result)) {
            return result;
        }
        ComRef<ITypeInfo> dispatch_info;
        result = library->GetTypeInfoOfGuid(__uuidof(Interface), dispatch_info.put());
        if (FAILED(result)) {
            return result;
        }
        ComRef<ITypeInfo> vtable_info;
        HREFTYPE vtable_reference = 0;
        if (SUCCEEDED(dispatch_info->GetRefTypeOfImplType(-1, &vtable_reference))) {
            result = dispatch_info->GetRefTypeInfo(vtable_reference, vtable_info.put());
            if (FAILED(result)) {
                return result;
            }
        } else {
            vtable_info = ComRef<ITypeInfo>::Share(dispatch_info.get());
        }
        dispatch_info_ = std::move(dispatch_info);
        vtable_info_ = std::move(vtable_info);
        return S_OK;
    }

    ComRef<ITypeInfo> dispatch_info_;
    ComRef<ITypeInfo> vtable_info_;
};

}  // namespace brawlhue::com
