// Registration writes exactly the module's own entries, machine-wide or for one user, and
// unregistration removes exactly those; every test leaves the registry as it found it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "brawlhue.h"
#include "plugin_module.h"
#include "registry_snapshot.h"
#include "zmud.h"

namespace brawlhue::testing {
namespace {

std::wstring GuidText(REFGUID guid) {
    wchar_t text[39];
    ::StringFromGUID2(guid, text, 39);
    return text;
}

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kAutomationMarshaller = L"{00020424-0000-0000-C000-000000000046}";

// Our trees, then the host's, which registration must never touch.
std::vector<std::wstring> OwnPaths() {
    return {kClasses + L"CLSID\\" + GuidText(CLSID_BrawlhueClass),
            kClasses + L"CLSID\\" + GuidText(CLSID_Tools),
            kClasses + L"Brawlhue.BrawlhueClass",
            kClasses + L"Brawlhue.Tools",
            kClasses + L"TypeLib\\" + GuidText(LIBID_Brawlhue),
            kClasses + L"Interface\\" + GuidText(IID__BrawlhueClass),
            kClasses + L"Interface\\" + GuidText(IID__Tools)};
}
std::vector<std::wstring> HostPaths() {
    return {kClasses + L"TypeLib\\" + GuidText(LIBID_Zmud),
            kClasses + L"Interface\\" + GuidText(IID_IzMUDPlugin),
            kClasses + L"Interface\\" + GuidText(IID_HostSession),
            kClasses + L"CLSID\\" + GuidText(CLSID_HostSessionsClass)};
}
std::vector<std::wstring> AllPaths() {
    std::vector<std::wstring> paths = OwnPaths();
    for (std::wstring& path : HostPaths()) {
        paths.push_back(std::move(path));
    }
    return paths;
}

RegistryTree Expected() {
    const std::wstring module = PluginModule::Get().Path();
    const std::wstring folder = module.substr(0, module.find_last_of(L'\\'));
    const std::wstring libid = GuidText(LIBID_Brawlhue);
    RegistryTree tree;
    const auto add_class = [&](REFCLSID clsid, const std::wstring& name) {
        const std::wstring key = kClasses + L"CLSID\\" + GuidText(clsid);
        tree[key][L""] = TextValue(name);
        tree[key + L"\\InprocServer32"][L""] = TextValue(module);
        tree[key + L"\\InprocServer32"][L"ThreadingModel"] = TextValue(L"Apartment");
        tree[key + L"\\ProgID"][L""] = TextValue(L"Brawlhue." + name);
        tree[key + L"\\TypeLib"][L""] = TextValue(libid);
        tree[key + L"\\Version"][L""] = TextValue(L"1.0");
        tree[kClasses + L"Brawlhue." + name][L""] = TextValue(name);
        tree[kClasses + L"Brawlhue." + name + L"\\CLSID"][L""] = TextValue(GuidText(clsid));
    };
    add_class(CLSID_BrawlhueClass, L"BrawlhueClass");
    add_class(CLSID_Tools, L"Tools");
    const std::wstring library = kClasses + L"TypeLib\\" + libid;
    tree[library];
    tree[library + L"\\1.0"][L""] = TextValue(L"Brawlhue");
    tree[library + L"\\1.0\\0"];
    tree[library + L"\\1.0\\0\\win32"][L""] = TextValue(module);
    tree[library + L"\\1.0\\FLAGS"][L""] = TextValue(L"0");
    tree[library + L"\\1.0\\HELPDIR"][L""] = TextValue(folder);
    const auto add_interface = [&](REFIID iid, const std::wstring& name) {
        const std::wstring key = kClasses + L"Interface\\" + GuidText(iid);
        tree[key][L""] = TextValue(name);
        tree[key + L"\\ProxyStubClsid"][L""] = TextValue(kAutomationMarshaller);
        tree[key + L"\\ProxyStubClsid32"][L""] = TextValue(kAutomationMarshaller);
        tree[key + L"\\TypeLib"][L""] = TextValue(libid);
        tree[key + L"\\TypeLib"][L"Version"] = TextValue(L"1.0");
    };
    add_interface(IID__BrawlhueClass, L"_BrawlhueClass");
    add_interface(IID__Tools, L"_Tools");
    return tree;
}

struct Scope {
    const char* name;
    HKEY root;
    HKEY other_root;
    HRESULT (*install)();
    HRESULT (*uninstall)();
};

const Scope kScopes[] = {
    {"machine", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
     [] { return PluginModule::Get().RegisterServer(); },
     [] { return PluginModule::Get().UnregisterServer(); }},
    {"user", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
     [] { return PluginModule::Get().Install(true, L"user"); },
     [] { return PluginModule::Get().Install(false, L"user"); }},
    {"user in capitals", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
     [] { return PluginModule::Get().Install(true, L"USER"); },
     [] { return PluginModule::Get().Install(false, L"User"); }},
};

TEST(Registration, WritesAndRemovesExactlyTheModulesEntries) {
    for (const Scope& scope : kScopes) {
        SCOPED_TRACE(scope.name);
        const RegistryGuard guard(scope.root, AllPaths());
        const RegistryGuard other_guard(scope.other_root, AllPaths());
        const RegistryTree host_before = Snapshot(scope.root, HostPaths());

        ASSERT_EQ(S_OK, scope.uninstall());
        EXPECT_TRUE(Snapshot(scope.root, OwnPaths()).empty());
        ASSERT_EQ(S_OK, scope.install());
        EXPECT_EQ(Expected(), Snapshot(scope.root, OwnPaths()));
        ASSERT_EQ(S_OK, scope.install()) << "registering twice";
        EXPECT_EQ(Expected(), Snapshot(scope.root, OwnPaths()));
        ASSERT_EQ(S_OK, scope.uninstall());
        EXPECT_TRUE(Snapshot(scope.root, OwnPaths()).empty());
        ASSERT_EQ(S_OK, scope.uninstall()) << "unregistering what is not there";

        EXPECT_EQ(host_before, Snapshot(scope.root, HostPaths()));
        EXPECT_EQ(other_guard.saved(), Snapshot(scope.other_root, AllPaths()));
    }
}

TEST(Registration, UnregistrationLeavesWhatOthersAdded) {
    const RegistryGuard guard(HKEY_LOCAL_MACHINE, OwnPaths());
    ASSERT_EQ(S_OK, PluginModule::Get().RegisterServer());
    const std::wstring clsid_key = kClasses + L"CLSID\\" + GuidText(CLSID_BrawlhueClass);
    const std::wstring foreign = clsid_key + L"\\Implemented Categories";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, foreign.c_str(), 0, nullptr, 0,
                                               KEY_WRITE, nullptr, &key, nullptr));
    ::RegCloseKey(key);

    ASSERT_EQ(S_OK, PluginModule::Get().UnregisterServer());
    RegistryTree left;
    left[clsid_key];
    left[foreign];
    EXPECT_EQ(left, Snapshot(HKEY_LOCAL_MACHINE, OwnPaths()));
}

TEST(Registration, RefusesAnUnknownInstallCommandLine) {
    const RegistryGuard machine(HKEY_LOCAL_MACHINE, OwnPaths());
    const RegistryGuard user(HKEY_CURRENT_USER, OwnPaths());
    for (bool install : {true, false}) {
        EXPECT_EQ(E_INVALIDARG, PluginModule::Get().Install(install, L"users"));
        EXPECT_EQ(machine.saved(), Snapshot(HKEY_LOCAL_MACHINE, OwnPaths()));
        EXPECT_EQ(user.saved(), Snapshot(HKEY_CURRENT_USER, OwnPaths()));
    }
}

}  // namespace
}  // namespace brawlhue::testing
