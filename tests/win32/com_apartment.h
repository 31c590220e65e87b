// COM for the calling thread, shared by the module's tests and the hardening tests.
#pragma once

#include <windows.h>

#include <objbase.h>

namespace brawlhue::testing {

// COM for the calling thread, apartment-threaded as the host's thread is.
class Apartment {
  public:
    Apartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT result() const { return result_; }

  private:
    HRESULT result_;
};

}  // namespace brawlhue::testing
