#include "plugin/module.h"

#include <atomic>

#include "plugin/com_guard.h"

namespace brawlhue::module {
namespace {

// Class objects may be used from any apartment, so the counts are atomic.
std::atomic<HINSTANCE> instance{nullptr};
std::atomic<long> live_objects{0};
std::atomic<long> locks{0};

}  // namespace

void SetInstance(HINSTANCE module_instance) noexcept {
    instance = module_instance;
}

HINSTANCE Instance() noexcept {
    return instance;
}

std::wstring Path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(Instance(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            const DWORD error = ::GetLastError();
            com::ThrowIfFailed(error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL);
        }
        // A full buffer may mean a cut-off path: try again with more room.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void ObjectCreated() noexcept {
    ++live_objects;
}

void ObjectDestroyed() noexcept {
    --live_objects;
}

void Lock() noexcept {
    ++locks;
}

void Unlock() noexcept {
    --locks;
}

bool CanUnload() noexcept {
    return live_objects == 0 && locks == 0;
}

}  // namespace brawlhue::module
