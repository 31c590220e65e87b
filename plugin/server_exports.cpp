// The in-process server's entry points for loading and object creation.
#include <windows.h>

#include <array>

#include "brawlhue.h"
#include "plugin/brawlhue_class.h"
#include "plugin/class_factory.h"
#include "plugin/com_guard.h"
#include "plugin/module.h"
#include "plugin/tools.h"

namespace brawlhue {
namespace {

using ClassObjectMaker = HRESULT (*)(REFIID iid, void** object) noexcept;

template <typename Class>
HRESULT MakeClassObject(REFIID iid, void** object) noexcept {
    return com::GuardedCall(
        [&] { return com::MakeObject<com::ClassFactory<Class>>()->QueryInterface(iid, object); });
}

struct CreatableClass {
    const CLSID* clsid;
    ClassObjectMaker make_class_object;
};

constexpr std::array kCreatableClasses{
    CreatableClass{&CLSID_BrawlhueClass, &MakeClassObject<BrawlhueClass>},
    CreatableClass{&CLSID_Tools, &MakeClassObject<Tools>},
};

}  // namespace
}  // namespace brawlhue

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        brawlhue::module::SetInstance(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    for (const auto& creatable : brawlhue::kCreatableClasses) {
        if (IsEqualCLSID(clsid, *creatable.clsid)) {
            return creatable.make_class_object(iid, object);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return brawlhue::module::CanUnload() ? S_OK : S_FALSE;
}
