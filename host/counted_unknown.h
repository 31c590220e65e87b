// IUnknown for the stand-in's own objects: one reference count, answering for the interface it
// implements, any further interfaces it derives from, and IUnknown.
#pragma once

#include <unknwn.h>

namespace brawlhue::host::detail {

template <typename Interface, typename... AlsoAnswersFor>
class CountedUnknown : public Interface {
  public:
    virtual ~CountedUnknown() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, __uuidof(Interface)) ||
            (IsEqualIID(iid, __uuidof(AlsoAnswersFor)) || ...) || IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  private:
    ULONG references_ = 0;
};

}  // namespace brawlhue::host::detail
