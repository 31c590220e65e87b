#include "plugin/registration.h"

#include <array>
#include <string>
#include <string_view>

#include "plugin/com_guard.h"
#include "plugin/module.h"

namespace brawlhue::registration {
namespace {

// What a value holds. Keys that only hold others are listed with kNone, parents before
// children, so that removal in reverse order finds each key emptied of what we wrote.
enum class Data { kNone, kText, kModulePath, kModuleFolder };

struct Entry {
    std::wstring_view key;         // below Software\Classes
    std::wstring_view value_name;  // empty: the key's default value
    Data data;
    std::wstring_view text = {};
};

// GUID texts as literals, so that the key paths below are joined at compile time.
#define LIBID_TEXT L"{80E8847E-2789-46B9-B57D-39B424C4DDB0}"
#define CLASS_CLSID_TEXT L"{BD23B151-0B4C-4A54-B6C5-ED2BC52D688C}"
#define TOOLS_CLSID_TEXT L"{1419A581-4297-4880-931C-FE94C6E28542}"
#define CLASS_IID_TEXT L"{6A43E8BE-2783-41EF-8B5E-97651852F6F2}"
#define TOOLS_IID_TEXT L"{D6A15774-07A7-466F-BCE1-8DB57A161FB9}"
// The automation marshaller: it marshals the dual interfaces from the registered library.
#define MARSHALLER_TEXT L"{00020424-0000-0000-C000-000000000046}"

// Only the module's own classes, library and interfaces: the host's library is the host's.
constexpr std::array kEntries{
    Entry{L"CLSID\\" CLASS_CLSID_TEXT, L"", Data::kText, L"BrawlhueClass"},
    Entry{L"CLSID\\" CLASS_CLSID_TEXT L"\\InprocServer32", L"", Data::kModulePath},
    Entry{L"CLSID\\" CLASS_CLSID_TEXT L"\\InprocServer32", L"ThreadingModel", Data::kText,
          L"Apartment"},
    Entry{L"CLSID\\" CLASS_CLSID_TEXT L"\\ProgID", L"", Data::kText, L"Brawlhue.BrawlhueClass"},
    Entry{L"CLSID\\" CLASS_CLSID_TEXT L"\\TypeLib", L"", Data::kText, LIBID_TEXT},
    Entry{L"CLSID\\" CLASS_CLSID_TEXT L"\\Version", L"", Data::kText, L"1.0"},
    Entry{L"Brawlhue.BrawlhueClass", L"", Data::kText, L"BrawlhueClass"},
    Entry{L"Brawlhue.BrawlhueClass\\CLSID", L"", Data::kText, CLASS_CLSID_TEXT},

    Entry{L"CLSID\\" TOOLS_CLSID_TEXT, L"", Data::kText, L"Tools"},
    Entry{L"CLSID\\" TOOLS_CLSID_TEXT L"\\InprocServer32", L"", Data::kModulePath},
    Entry{L"CLSID\\" TOOLS_CLSID_TEXT L"\\InprocServer32", L"ThreadingModel", Data::kText,
          L"Apartment"},
    Entry{L"CLSID\\" TOOLS_CLSID_TEXT L"\\ProgID", L"", Data::kText, L"Brawlhue.Tools"},
    Entry{L"CLSID\\" TOOLS_CLSID_TEXT L"\\TypeLib", L"", Data::kText, LIBID_TEXT},
    Entry{L"CLSID\\" TOOLS_CLSID_TEXT L"\\Version", L"", Data::kText, L"1.0"},
    Entry{L"Brawlhue.Tools", L"", Data::kText, L"Tools"},
    Entry{L"Brawlhue.Tools\\CLSID", L"", Data::kText, TOOLS_CLSID_TEXT},

    Entry{L"TypeLib\\" LIBID_TEXT, L"", Data::kNone},
    Entry{L"TypeLib\\" LIBID_TEXT L"\\1.0", L"", Data::kText, L"Brawlhue"},
    // Language neutral, so that a lookup in any locale finds it.
    Entry{L"TypeLib\\" LIBID_TEXT L"\\1.0\\0", L"", Data::kNone},
    Entry{L"TypeLib\\" LIBID_TEXT L"\\1.0\\0\\win32", L"", Data::kModulePath},
    Entry{L"TypeLib\\" LIBID_TEXT L"\\1.0\\FLAGS", L"", Data::kText, L"0"},
    Entry{L"TypeLib\\" LIBID_TEXT L"\\1.0\\HELPDIR", L"", Data::kModuleFolder},

    Entry{L"Interface\\" CLASS_IID_TEXT, L"", Data::kText, L"_BrawlhueClass"},
    Entry{L"Interface\\" CLASS_IID_TEXT L"\\ProxyStubClsid", L"", Data::kText, MARSHALLER_TEXT},
    Entry{L"Interface\\" CLASS_IID_TEXT L"\\ProxyStubClsid32", L"", Data::kText, MARSHALLER_TEXT},
    Entry{L"Interface\\" CLASS_IID_TEXT L"\\TypeLib", L"", Data::kText, LIBID_TEXT},
    Entry{L"Interface\\" CLASS_IID_TEXT L"\\TypeLib", L"Version", Data::kText, L"1.0"},

    Entry{L"Interface\\" TOOLS_IID_TEXT, L"", Data::kText, L"_Tools"},
    Entry{L"Interface\\" TOOLS_IID_TEXT L"\\ProxyStubClsid", L"", Data::kText, MARSHALLER_TEXT},
    Entry{L"Interface\\" TOOLS_IID_TEXT L"\\ProxyStubClsid32", L"", Data::kText, MARSHALLER_TEXT},
    Entry{L"Interface\\" TOOLS_IID_TEXT L"\\TypeLib", L"", Data::kText, LIBID_TEXT},
    Entry{L"Interface\\" TOOLS_IID_TEXT L"\\TypeLib", L"Version", Data::kText, L"1.0"},
};

#undef MARSHALLER_TEXT
#undef TOOLS_IID_TEXT
#undef CLASS_IID_TEXT
#undef TOOLS_CLSID_TEXT
#undef CLASS_CLSID_TEXT
#undef LIBID_TEXT

constexpr std::wstring_view kClassesRoot = L"Software\\Classes\\";

HKEY RootOf(Scope scope) noexcept {
    return scope == Scope::kMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::wstring FullKey(const Entry& entry) {
    std::wstring key(kClassesRoot);
    key += entry.key;
    return key;
}

void ThrowIfError(LSTATUS status) {
    if (status != ERROR_SUCCESS) {
        throw com::HResultError(HRESULT_FROM_WIN32(status));
    }
}

class OpenKey {
  public:
    OpenKey() noexcept = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    HKEY get() const noexcept { return key_; }
    HKEY* put() noexcept { return &key_; }

  private:
    HKEY key_ = nullptr;
};

std::wstring ValueText(const Entry& entry, const std::wstring& module_path) {
    switch (entry.data) {
        case Data::kModulePath:
            return module_path;
        case Data::kModuleFolder:
            return module_path.substr(0, module_path.find_last_of(L'\\'));
        case Data::kText:
        case Data::kNone:
            break;
    }
    return std::wstring(entry.text);
}

void Write(HKEY root, const Entry& entry, const std::wstring& module_path) {
    OpenKey key;
    ThrowIfError(::RegCreateKeyExW(root, FullKey(entry).c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                                   nullptr));
    if (entry.data == Data::kNone) {
        return;
    }
    const std::wstring name(entry.value_name);
    const std::wstring text = ValueText(entry, module_path);
    ThrowIfError(::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

bool Gone(LSTATUS status) noexcept {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

// Removes the entry's value, then its key once nothing is left in it; what others put there
// stays, and with it the key.
void Remove(HKEY root, const Entry& entry) {
    const std::wstring full_key = FullKey(entry);
    OpenKey key;
    const LSTATUS opened =
        ::RegOpenKeyExW(root, full_key.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE, key.put());
    if (Gone(opened)) {
        return;
    }
    ThrowIfError(opened);
    if (entry.data != Data::kNone) {
        const std::wstring name(entry.value_name);
        const LSTATUS deleted = ::RegDeleteValueW(key.get(), name.c_str());
        if (!Gone(deleted)) {
            ThrowIfError(deleted);
        }
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    ThrowIfError(::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                    nullptr, &values, nullptr, nullptr, nullptr, nullptr));
    if (subkeys != 0 || values != 0) {
        return;
    }
    const LSTATUS deleted = ::RegDeleteKeyW(root, full_key.c_str());
    if (!Gone(deleted)) {
        ThrowIfError(deleted);
    }
}

void RemoveAll(HKEY root) {
    for (auto entry = kEntries.rbegin(); entry != kEntries.rend(); ++entry) {
        Remove(root, *entry);
    }
}

}  // namespace

HRESULT Register(Scope scope) noexcept {
    const HRESULT result = com::GuardedCall([&] {
        const std::wstring module_path = module::Path();
        for (const Entry& entry : kEntries) {
            Write(RootOf(scope), entry, module_path);
        }
        return S_OK;
    });
    if (FAILED(result)) {
        Unregister(scope);
    }
    return result;
}

HRESULT Unregister(Scope scope) noexcept {
    return com::GuardedCall([&] {
        RemoveAll(RootOf(scope));
        return S_OK;
    });
}

}  // namespace brawlhue::registration

STDAPI DllRegisterServer() {
    return brawlhue::registration::Register(brawlhue::registration::Scope::kMachine);
}

STDAPI DllUnregisterServer() {
    return brawlhue::registration::Unregister(brawlhue::registration::Scope::kMachine);
}

// regsvr32 /n /i:user registers for the current user alone; without "user" (or with regsvr32 /i
// and no /n, after DllRegisterServer) the machine-wide registration is meant.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, PCWSTR command_line) {
    using brawlhue::registration::Scope;
    Scope scope = Scope::kMachine;
    if (command_line != nullptr && *command_line != L'\0') {
        if (::CompareStringOrdinal(command_line, -1, L"user", -1, TRUE) != CSTR_EQUAL) {
            return E_INVALIDARG;
        }
        scope = Scope::kUser;
    }
    return install ? brawlhue::registration::Register(scope)
                   : brawlhue::registration::Unregister(scope);
}
