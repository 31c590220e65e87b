#include "host/host_type_library.h"

#include <string>

#include "host/standin_host.h"
#include "zmud.h"

namespace brawlhue::host {
namespace {

// The path of the module that holds this code, a program or the stand-in's own DLL; empty when
// Windows will not say.
std::wstring OwnModulePath() {
    static const char anchor = 0;  // any address inside this module
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&anchor), &module)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool IsHostLibrary(ITypeLib* library) {
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) {
        return false;
    }
    const bool is_host = IsEqualGUID(attributes->guid, LIBID_Zmud) != 0;
    library->ReleaseTLibAttr(attributes);
    return is_host;
}

// The library in this module's TYPELIB resource, when that is the host's.
com::ComRef<ITypeLib> LoadOwnLibrary(const std::wstring& path) {
    com::ComRef<ITypeLib> library;
    if (path.empty() || FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put())) ||
        !IsHostLibrary(library.get())) {
        return {};
    }
    return library;
}

}  // namespace

com::ComRef<ITypeLib> LoadHostTypeLibrary() {
    if (com::ComRef<ITypeLib> own = LoadOwnLibrary(OwnModulePath())) {
        return own;
    }
    com::ComRef<ITypeLib> registered;
    if (FAILED(::LoadRegTypeLib(LIBID_Zmud, 1, 0, LOCALE_NEUTRAL, registered.put()))) {
        return {};
    }
    return registered;
}

HRESULT RegisterHostTypeLibrary() {
    std::wstring path = OwnModulePath();
    com::ComRef<ITypeLib> library = LoadOwnLibrary(path);
    if (!library) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    return ::RegisterTypeLib(library.get(), path.data(), nullptr);
}

}  // namespace brawlhue::host
