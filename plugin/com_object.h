// The IUnknown of the module's objects: a class names the interfaces it implements, and
// QueryInterface, reference counting and the module's object count follow from that list.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <type_traits>
#include <utility>

#include "plugin/com_ref.h"
#include "plugin/module.h"

namespace brawlhue::com {

// The interface that a base of a COM class implements: the base itself, or for an
// implementation helper (DualInterface) the interface it names.
template <typename Base>
struct ImplementedBy {
    using type = Base;
};
template <typename Base>
requires requires {
    typename Base::ImplementedInterface;
}
struct ImplementedBy<Base> {
    using type = typename Base::ImplementedInterface;
};
template <typename Base>
using ImplementedInterface = typename ImplementedBy<Base>::type;

// Derived lists its bases; the first one is its identity (IUnknown, and IDispatch when it is
// a dispatch interface).
template <typename Derived, typename First, typename... Others>
class ComObject : public First, public Others... {
  public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        IUnknown* found = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) ||
            (std::is_base_of_v<IDispatch, ImplementedInterface<First>> &&
             IsEqualIID(iid, IID_IDispatch))) {
            found = Identity();
        } else {
            (Find<First>(iid, found) || ... || Find<Others>(iid, found));
        }
        if (found == nullptr) {
            return E_NOINTERFACE;
        }
        found->AddRef();
        *object = found;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override {
        return static_cast<ULONG>(::InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) {
            delete static_cast<Derived*>(this);
        }
        return static_cast<ULONG>(left);
    }

  protected:
    ComObject() noexcept { module::ObjectCreated(); }
    ~ComObject() { module::ObjectDestroyed(); }

  private:
    IUnknown* Identity() noexcept {
        return static_cast<ImplementedInterface<First>*>(static_cast<First*>(this));
    }
    template <typename Base>
    bool Find(REFIID iid, IUnknown*& found) noexcept {
        using Interface = ImplementedInterface<Base>;
        if (!IsEqualIID(iid, __uuidof(Interface))) {
            return false;
        }
        found = static_cast<Interface*>(static_cast<Base*>(this));
        return true;
    }

    LONG references_ = 1;
};

// A new object with its first reference. Construction failures travel on as exceptions.
template <typename Class, typename... Arguments>
ComRef<Class> MakeObject(Arguments&&... arguments) {
    return ComRef<Class>::Attach(new Class(std::forward<Arguments>(arguments)...));
}

}  // namespace brawlhue::com
