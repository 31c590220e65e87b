// The class object of one creatable class: a ComObject like any other, so that a factory
// someone holds keeps the module loaded.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include "plugin/com_guard.h"
#include "plugin/com_object.h"
#include "plugin/module.h"

namespace brawlhue::com {

template <typename Class>
class ClassFactory final : public ComObject<ClassFactory<Class>, IClassFactory> {
  public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                             void** object) noexcept override {
        return GuardedCall([&] {
            if (object == nullptr) {
                return E_POINTER;
            }
            *object = nullptr;
            if (outer != nullptr) {
                return CLASS_E_NOAGGREGATION;
            }
            const ComRef<Class> made = MakeObject<Class>();
            return made->QueryInterface(iid, object);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        if (lock) {
            module::Lock();
        } else {
            module::Unlock();
        }
        return S_OK;
    }
};

}  // namespace brawlhue::com
