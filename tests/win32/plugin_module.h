// Brawlhue.dll as the tests see it: loaded once per test program from beside it, and reached
// through its exports alone, as COM reaches it.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

#include "com_apartment.h"
#include "plugin/com_ref.h"
#include "plugin/unique_bstr.h"
#include "zmud.h"

namespace brawlhue::testing {

class PluginModule {
  public:
    // The module, loaded at first use and kept for the program's life.
    static PluginModule& Get();

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    HRESULT Install(bool install, const wchar_t* command_line) const;

    // The full path the loader gave the module.
    const std::wstring& Path() const { return path_; }

  private:
    PluginModule();

    using ClassObjectGetter = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using Action = HRESULT(STDAPICALLTYPE*)();
    using Installer = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);

    HMODULE module_ = nullptr;
    std::wstring path_;
    ClassObjectGetter get_class_object_ = nullptr;
    Action can_unload_now_ = nullptr;
    Action register_server_ = nullptr;
    Action unregister_server_ = nullptr;
    Installer install_ = nullptr;
};

// A new object of the class, asked for the interface, through the module's class object.
template <typename Interface>
HRESULT CreateFromModule(REFCLSID clsid, com::ComRef<Interface>& object) {
    com::ComRef<IClassFactory> factory;
    const HRESULT got = PluginModule::Get().GetClassObject(clsid, IID_IClassFactory,
                                                           reinterpret_cast<void**>(factory.put()));
    if (FAILED(got)) {
        return got;
    }
    return factory->CreateInstance(nullptr, __uuidof(Interface),
                                   reinterpret_cast<void**>(object.put()));
}

// The reference count, read the way Wine's tests read it.
inline ULONG ReferencesOf(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

inline com::UniqueBstr Text(std::u16string_view units) {
    return com::UniqueBstr::Copy(units);
}

}  // namespace brawlhue::testing
