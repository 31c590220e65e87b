#include "plugin_module.h"

#include <stdexcept>

namespace brawlhue::testing {
namespace {

template <typename Function>
Function Export(HMODULE module, const char* name) {
    FARPROC address = ::GetProcAddress(module, name);
    if (address == nullptr) {
        throw std::runtime_error(std::string("Brawlhue.dll does not export ") + name);
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

PluginModule& PluginModule::Get() {
    static PluginModule module;
    return module;
}

PluginModule::PluginModule() {
    // Built next to the test programs.
    module_ = ::LoadLibraryW(L"Brawlhue.dll");
    if (module_ == nullptr) {
        throw std::runtime_error("Brawlhue.dll cannot be loaded");
    }
    path_.resize(MAX_PATH * 4);
    path_.resize(::GetModuleFileNameW(module_, path_.data(), static_cast<DWORD>(path_.size())));
    get_class_object_ = Export<ClassObjectGetter>(module_, "DllGetClassObject");
    can_unload_now_ = Export<Action>(module_, "DllCanUnloadNow");
    register_server_ = Export<Action>(module_, "DllRegisterServer");
    unregister_server_ = Export<Action>(module_, "DllUnregisterServer");
    install_ = Export<Installer>(module_, "DllInstall");
}

HRESULT PluginModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
    return get_class_object_(clsid, iid, object);
}

HRESULT PluginModule::CanUnloadNow() const {
    return can_unload_now_();
}

HRESULT PluginModule::RegisterServer() const {
    return register_server_();
}

HRESULT PluginModule::UnregisterServer() const {
    return unregister_server_();
}

HRESULT PluginModule::Install(bool install, const wchar_t* command_line) const {
    return install_(install ? TRUE : FALSE, command_line);
}

}  // namespace brawlhue::testing
