// The stand-in host as an in-process server, registered under the host's session collection
// class, so that a process that is not ours (a script host) can create the plug-in's Tools
// object. It serves one stand-in host for the whole process, with one open session for each
// handle listed in BRAWLHUE_STANDIN_HANDLES (blank-separated decimals; "1" when unset).
// Registration also registers the host's type library, which this DLL carries.
#include <windows.h>

#include <objbase.h>
#include <olectl.h>

#include <cwchar>
#include <new>
#include <string>

#include "host/standin_host.h"
#include "plugin/com_guard.h"
#include "plugin/com_ref.h"
#include "zmud.h"

namespace {

HMODULE g_module = nullptr;

constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{0D271ED8-CA95-499F-9954-44076156E1A7}";
constexpr wchar_t kServerKey[] =
    L"Software\\Classes\\CLSID\\{0D271ED8-CA95-499F-9954-44076156E1A7}\\InprocServer32";

// Lives until the process ends: scripts hold host objects until their very last moment.
brawlhue::host::StandinHost& ProcessHost() {
    static brawlhue::host::StandinHost* host = [] {
        auto* made = new brawlhue::host::StandinHost();
        wchar_t handles[256] = L"1";
        ::GetEnvironmentVariableW(L"BRAWLHUE_STANDIN_HANDLES", handles, 256);
        for (const wchar_t* at = handles; *at != L'\0';) {
            wchar_t* end = nullptr;
            const long handle = std::wcstol(at, &end, 10);
            if (end == at) {
                break;
            }
            made->OpenSession(handle);
            at = end;
        }
        return made;
    }();
    return *host;
}

class SessionsFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IClassFactory) || IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory for the process: it is never freed.
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                             void** object) noexcept override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return brawlhue::com::GuardedCall([&] {
            brawlhue::com::ComRef<HostSessions> sessions;
            brawlhue::com::ThrowIfFailed(ProcessHost().CreateSessions(sessions.put()));
            return sessions->QueryInterface(iid, object);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) noexcept override { return S_OK; }
};

SessionsFactory g_factory;

LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_HostSessionsClass)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(iid, object);
}

// The process's stand-in host keeps its sessions: never unloaded.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        return SELFREG_E_CLASS;
    }
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    const bool written = SetText(key, nullptr, path) == ERROR_SUCCESS &&
                         SetText(key, L"ThreadingModel", L"Apartment") == ERROR_SUCCESS;
    ::RegCloseKey(key);
    if (!written) {
        return SELFREG_E_CLASS;
    }
    return brawlhue::host::RegisterHostTypeLibrary();
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const LSTATUS removed = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
    ::UnRegisterTypeLib(LIBID_Zmud, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
