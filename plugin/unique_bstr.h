// An owning BSTR: freed exactly once, whatever path leaves the scope.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <new>
#include <string_view>
#include <utility>

namespace brawlhue::com {

// Automation text seen as UTF-16 code units. A NULL BSTR is the empty text.
inline std::u16string_view TextOf(BSTR text) noexcept {
    if (text == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char16_t*>(text), ::SysStringLen(text)};
}

class UniqueBstr {
  public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR owned) noexcept : text_(owned) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&& other) noexcept : text_(other.release()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueBstr() { ::SysFreeString(text_); }

    // A new BSTR holding these units; throws std::bad_alloc when none can be had.
    static UniqueBstr Copy(std::u16string_view units) {
        BSTR text = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()),
                                        static_cast<UINT>(units.size()));
        if (text == nullptr) {
            throw std::bad_alloc();
        }
        return UniqueBstr(text);
    }
    // An uninitialised BSTR of this many units, to be filled through data().
    static UniqueBstr Allocate(std::size_t units) {
        BSTR text = ::SysAllocStringLen(nullptr, static_cast<UINT>(units));
        if (text == nullptr) {
            throw std::bad_alloc();
        }
        return UniqueBstr(text);
    }

    BSTR get() const noexcept { return text_; }
    char16_t* data() noexcept { return reinterpret_cast<char16_t*>(text_); }
    std::u16string_view view() const noexcept { return TextOf(text_); }

    // The address to receive a new BSTR from a call; what was held is freed first.
    BSTR* put() noexcept {
        reset();
        return &text_;
    }
    // Gives up ownership, for handing the text to a caller.
    [[nodiscard]] BSTR release() noexcept { return std::exchange(text_, nullptr); }
    void reset(BSTR owned = nullptr) noexcept { ::SysFreeString(std::exchange(text_, owned)); }

  private:
    BSTR text_ = nullptr;
};

}  // namespace brawlhue::com
