// Failures inside the module travel as C++ exceptions and leave it only as an HRESULT: every
// operation that COM can call runs its body through GuardedCall.
#pragma once

#include <windows.h>

#include <new>

namespace brawlhue::com {

// A failed step, carrying the status code that the operation will return.
class HResultError {
  public:
    explicit HResultError(HRESULT code) noexcept : code_(code) {}
    HRESULT code() const noexcept { return code_; }

  private:
    HRESULT code_;
};

inline void ThrowIfFailed(HRESULT code) {
    if (FAILED(code)) {
        throw HResultError(code);
    }
}

// The object a step needs is missing (a session lookup that found nothing, for instance): the
// automation error "object variable not set", 91.
inline constexpr HRESULT kObjectMissing = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 91);

template <typename Body>
HRESULT GuardedCall(Body&& body) noexcept {
    try {
        return body();
    } catch (const HResultError& error) {
        return error.code();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace brawlhue::com
