// An owning COM reference: released exactly once, whatever path leaves the scope.
#pragma once

#include <unknwn.h>

#include <utility>

namespace brawlhue::com {

template <typename Interface>
class ComRef {
  public:
    ComRef() noexcept = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : object_(other.release()) {}
    ComRef& operator=(ComRef&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~ComRef() { reset(); }

    // Takes over a reference the caller already owns.
    static ComRef Attach(Interface* owned) noexcept {
        ComRef ref;
        ref.object_ = owned;
        return ref;
    }
    // Takes a reference of its own to an object someone else holds.
    static ComRef Share(Interface* borrowed) noexcept {
        if (borrowed != nullptr) {
            borrowed->AddRef();
        }
        return Attach(borrowed);
    }

    Interface* get() const noexcept { return object_; }
    Interface* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // The address to receive a new reference from a call; what was held is released first.
    Interface** put() noexcept {
        reset();
        return &object_;
    }
    [[nodiscard]] Interface* release() noexcept { return std::exchange(object_, nullptr); }
    void reset(Interface* owned = nullptr) noexcept {
        if (Interface* old = std::exchange(object_, owned)) {
            old->Release();
        }
    }

  private:
    Interface* object_ = nullptr;
};

}  // namespace brawlhue::com
