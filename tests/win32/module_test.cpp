// The module without a host: class objects, unloading, the embedded type library and the version
// resource.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>

#include <string>
#include <vector>

#include "brawlhue.h"
#include "host/standin_host.h"
#include "plugin_module.h"
#include "registry_snapshot.h"
#include "zmud.h"

namespace brawlhue::testing {
namespace {

using com::ComRef;

TEST(Module, HandsOutAClassObjectForEachClass) {
    const Apartment apartment;
    for (const CLSID* clsid : {&CLSID_BrawlhueClass, &CLSID_Tools}) {
        ComRef<IClassFactory> factory;
        ASSERT_EQ(S_OK, PluginModule::Get().GetClassObject(
                            *clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put())));
        EXPECT_EQ(1u, ReferencesOf(factory.get()));
        ComRef<IUnknown> unknown;
        ASSERT_EQ(S_OK,
                  factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.put())));
        EXPECT_EQ(static_cast<IUnknown*>(factory.get()), unknown.get());
        EXPECT_EQ(2u, ReferencesOf(factory.get()));
        unknown.reset();

        int sentinel = 0;
        void* object = &sentinel;
        EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IDispatch, &object));
        EXPECT_EQ(nullptr, object);
        object = &sentinel;
        EXPECT_EQ(CLASS_E_NOAGGREGATION,
                  factory->CreateInstance(factory.get(), IID_IUnknown, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));

        // A class object someone holds keeps the module, and so does a lock.
        EXPECT_EQ(S_FALSE, PluginModule::Get().CanUnloadNow());
        ASSERT_EQ(S_OK, factory->LockServer(TRUE));
        factory.reset();
        EXPECT_EQ(S_FALSE, PluginModule::Get().CanUnloadNow());
        ASSERT_EQ(S_OK, PluginModule::Get().GetClassObject(
                            *clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put())));
        ASSERT_EQ(S_OK, factory->LockServer(FALSE));
        factory.reset();
        EXPECT_EQ(S_OK, PluginModule::Get().CanUnloadNow());
    }
}

TEST(Module, RefusesOtherClasses) {
    for (const CLSID* clsid : {&CLSID_HostSessionsClass, &GUID_NULL, &IID__Tools}) {
        void* object = &object;
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
                  PluginModule::Get().GetClassObject(*clsid, IID_IClassFactory, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(E_POINTER,
              PluginModule::Get().GetClassObject(CLSID_Tools, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, PluginModule::Get().CanUnloadNow());
}

// Without the host's session collection neither class can be made, and nothing is left over.
TEST(Module, ConstructionFailsWithTheHostsStatusWhenItHasNoSessions) {
    const Apartment apartment;
    ComRef<HostSessions> sessions;
    const HRESULT host_status =
        ::CoCreateInstance(CLSID_HostSessionsClass, nullptr, CLSCTX_SERVER, IID_HostSessions,
                           reinterpret_cast<void**>(sessions.put()));
    ASSERT_TRUE(FAILED(host_status));
    ComRef<IzMUDPlugin> plugin;
    EXPECT_EQ(host_status, CreateFromModule(CLSID_BrawlhueClass, plugin));
    EXPECT_FALSE(plugin);
    ComRef<_Tools> tools;
    EXPECT_EQ(host_status, CreateFromModule(CLSID_Tools, tools));
    EXPECT_FALSE(tools);
    EXPECT_EQ(S_OK, PluginModule::Get().CanUnloadNow());
}

TEST(Module, EmbedsItsTypeLibrary) {
    ComRef<ITypeLib> library;
    ASSERT_EQ(S_OK,
              ::LoadTypeLibEx(PluginModule::Get().Path().c_str(), REGKIND_NONE, library.put()));
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(LIBID_Brawlhue, attributes->guid));
    EXPECT_EQ(1033u, attributes->lcid);
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    library->ReleaseTLibAttr(attributes);

    EXPECT_EQ(4u, library->GetTypeInfoCount());
    struct Expected {
        const GUID* guid;
        const wchar_t* name;
        TYPEKIND kind;
        WORD flags;
    };
    constexpr WORD kDualFlags = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE;
    for (const Expected& expected : {
             Expected{&IID__BrawlhueClass, L"_BrawlhueClass", TKIND_DISPATCH, kDualFlags},
             Expected{&IID__Tools, L"_Tools", TKIND_DISPATCH, kDualFlags},
             Expected{&CLSID_BrawlhueClass, L"BrawlhueClass", TKIND_COCLASS, TYPEFLAG_FCANCREATE},
             Expected{&CLSID_Tools, L"Tools", TKIND_COCLASS, TYPEFLAG_FCANCREATE},
         }) {
        SCOPED_TRACE(expected.name);
        ComRef<ITypeInfo> info;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(*expected.guid, info.put()));
        BSTR name = nullptr;
        ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
        EXPECT_STREQ(expected.name, name);
        ::SysFreeString(name);
        TYPEATTR* type = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&type));
        EXPECT_EQ(expected.kind, type->typekind);
        EXPECT_EQ(expected.flags, type->wTypeFlags & expected.flags);
        info->ReleaseTypeAttr(type);
        if (expected.kind != TKIND_DISPATCH) {
            continue;
        }
        // The vtable half of the dual interface derives from IDispatch and is automation-safe.
        HREFTYPE vtable_reference = 0;
        ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(-1, &vtable_reference));
        ComRef<ITypeInfo> vtable;
        ASSERT_EQ(S_OK, info->GetRefTypeInfo(vtable_reference, vtable.put()));
        ASSERT_EQ(S_OK, vtable->GetTypeAttr(&type));
        EXPECT_EQ(TKIND_INTERFACE, type->typekind);
        EXPECT_EQ(TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL,
                  type->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL));
        EXPECT_EQ(7, static_cast<int>(type->cbSizeVft / sizeof(void*)) - type->cFuncs)
            << "after IUnknown and IDispatch";
        vtable->ReleaseTypeAttr(type);
    }
    // The host's interface stays in the host's library.
    ComRef<ITypeInfo> host_interface;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND,
              library->GetTypeInfoOfGuid(IID_IzMUDPlugin, host_interface.put()));
}

// Everything of a type that a reader sees, but its name: widl's types and the embedded ones
// must agree on all of it. Vtable offsets are in the reader's own pointers, so a library that
// recorded another word size's offsets differs here.
void ExpectSameType(ITypeInfo* widl, ITypeInfo* embedded, int more_implemented) {
    TYPEATTR* expected = nullptr;
    TYPEATTR* actual = nullptr;
    ASSERT_EQ(S_OK, widl->GetTypeAttr(&expected));
    ASSERT_EQ(S_OK, embedded->GetTypeAttr(&actual));
    EXPECT_EQ(expected->typekind, actual->typekind);
    EXPECT_EQ(expected->cFuncs, actual->cFuncs);
    EXPECT_EQ(expected->cVars, actual->cVars);
    EXPECT_EQ(expected->cImplTypes + more_implemented, actual->cImplTypes);
    EXPECT_EQ(expected->cbSizeVft, actual->cbSizeVft);
    EXPECT_EQ(expected->cbSizeInstance, actual->cbSizeInstance);
    EXPECT_EQ(expected->cbAlignment, actual->cbAlignment);
    // Wine's writer marks a coclass of dispatch interfaces dispatchable; widl does not.
    EXPECT_EQ(expected->wTypeFlags & ~TYPEFLAG_FDISPATCHABLE,
              actual->wTypeFlags & ~TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(expected->wMajorVerNum, actual->wMajorVerNum);
    EXPECT_EQ(expected->wMinorVerNum, actual->wMinorVerNum);
    const UINT functions = expected->cFuncs;
    const bool is_interface = expected->typekind == TKIND_INTERFACE;
    widl->ReleaseTypeAttr(expected);
    embedded->ReleaseTypeAttr(actual);

    for (UINT index = 0; index < functions; ++index) {
        SCOPED_TRACE(index);
        FUNCDESC* want = nullptr;
        FUNCDESC* got = nullptr;
        ASSERT_EQ(S_OK, widl->GetFuncDesc(index, &want));
        ASSERT_EQ(S_OK, embedded->GetFuncDesc(index, &got));
        EXPECT_EQ(want->memid, got->memid);
        EXPECT_EQ(want->funckind, got->funckind);
        EXPECT_EQ(want->invkind, got->invkind);
        EXPECT_EQ(want->callconv, got->callconv);
        EXPECT_EQ(want->oVft, got->oVft);
        EXPECT_EQ(want->wFuncFlags, got->wFuncFlags);
        EXPECT_EQ(want->elemdescFunc.tdesc.vt, got->elemdescFunc.tdesc.vt);
        ASSERT_EQ(want->cParams, got->cParams);
        EXPECT_EQ(want->cParamsOpt, got->cParamsOpt);
        for (SHORT parameter = 0; parameter < want->cParams; ++parameter) {
            const ELEMDESC& a = want->lprgelemdescParam[parameter];
            const ELEMDESC& b = got->lprgelemdescParam[parameter];
            EXPECT_EQ(a.tdesc.vt, b.tdesc.vt) << "parameter " << parameter;
            EXPECT_EQ(a.paramdesc.wParamFlags, b.paramdesc.wParamFlags) << "parameter " << parameter;
        }
        if (is_interface) {  // after IUnknown's and IDispatch's seven slots, in order
            EXPECT_EQ(static_cast<SHORT>((7 + index) * sizeof(void*)), got->oVft);
        }
        widl->ReleaseFuncDesc(want);
        embedded->ReleaseFuncDesc(got);
    }
}

// The embedded library is widl's, written anew with one reference more (IzMUDPlugin on
// BrawlhueClass): compared type by type, and both halves of each dual interface.
TEST(Module, ItsTypeLibraryIsWidlsWithOneReferenceMore) {
    ComRef<ITypeLib> widl;
    ComRef<ITypeLib> embedded;
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(BRAWLHUE_WIDL_LIBRARY, REGKIND_NONE, widl.put()));
    ASSERT_EQ(S_OK,
              ::LoadTypeLibEx(PluginModule::Get().Path().c_str(), REGKIND_NONE, embedded.put()));
    TLIBATTR* expected = nullptr;
    TLIBATTR* actual = nullptr;
    ASSERT_EQ(S_OK, widl->GetLibAttr(&expected));
    ASSERT_EQ(S_OK, embedded->GetLibAttr(&actual));
    EXPECT_TRUE(IsEqualGUID(expected->guid, actual->guid));
    EXPECT_EQ(expected->syskind, actual->syskind);
    EXPECT_EQ(sizeof(void*) == 4 ? SYS_WIN32 : SYS_WIN64, actual->syskind);
    EXPECT_EQ(expected->lcid, actual->lcid);
    EXPECT_EQ(expected->wLibFlags, actual->wLibFlags);
    widl->ReleaseTLibAttr(expected);
    embedded->ReleaseTLibAttr(actual);

    ASSERT_EQ(widl->GetTypeInfoCount(), embedded->GetTypeInfoCount());
    for (UINT index = 0; index < widl->GetTypeInfoCount(); ++index) {
        ComRef<ITypeInfo> want;
        ASSERT_EQ(S_OK, widl->GetTypeInfo(index, want.put()));
        TYPEATTR* type = nullptr;
        ASSERT_EQ(S_OK, want->GetTypeAttr(&type));
        const GUID guid = type->guid;
        const bool dual = (type->wTypeFlags & TYPEFLAG_FDUAL) != 0;
        want->ReleaseTypeAttr(type);
        BSTR name = nullptr;
        ASSERT_EQ(S_OK, want->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
        SCOPED_TRACE(::testing::Message() << name);
        ::SysFreeString(name);
        ComRef<ITypeInfo> got;
        ASSERT_EQ(S_OK, embedded->GetTypeInfoOfGuid(guid, got.put()));
        ExpectSameType(want.get(), got.get(), IsEqualGUID(guid, CLSID_BrawlhueClass) ? 1 : 0);
        if (dual) {
            SCOPED_TRACE("vtable half");
            ComRef<ITypeInfo> halves[2];
            ITypeInfo* const wholes[2] = {want.get(), got.get()};
            for (int which = 0; which < 2; ++which) {
                HREFTYPE reference = 0;
                ASSERT_EQ(S_OK, wholes[which]->GetRefTypeOfImplType(-1, &reference));
                ASSERT_EQ(S_OK, wholes[which]->GetRefTypeInfo(reference, halves[which].put()));
            }
            ExpectSameType(halves[0].get(), halves[1].get(), 0);
        }
    }
}

// A host may find the plug-in class by reading the type library: the coclass whose implemented
// interfaces include its own. Ours lists IzMUDPlugin as a reference into the host's library.
TEST(Module, ItsCoclassesListWhatTheyImplement) {
    // Such a host has its own library registered; the references into it resolve through that.
    const RegistryGuard guard(HKEY_LOCAL_MACHINE, HostLibraryKeys());
    ASSERT_EQ(S_OK, host::RegisterHostTypeLibrary());

    ComRef<ITypeLib> library;
    ASSERT_EQ(S_OK,
              ::LoadTypeLibEx(PluginModule::Get().Path().c_str(), REGKIND_NONE, library.put()));
    struct Implemented {
        const GUID* type;
        const GUID* library;
        INT flags;
    };
    const struct {
        const GUID* coclass;
        std::vector<Implemented> implemented;
    } coclasses[] = {
        {&CLSID_BrawlhueClass,
         {{&IID__BrawlhueClass, &LIBID_Brawlhue, IMPLTYPEFLAG_FDEFAULT},
          {&IID_IzMUDPlugin, &LIBID_Zmud, 0}}},
        {&CLSID_Tools, {{&IID__Tools, &LIBID_Brawlhue, IMPLTYPEFLAG_FDEFAULT}}},
    };
    for (const auto& coclass : coclasses) {
        ComRef<ITypeInfo> info;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(*coclass.coclass, info.put()));
        TYPEATTR* type = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&type));
        const UINT count = type->cImplTypes;
        info->ReleaseTypeAttr(type);
        ASSERT_EQ(coclass.implemented.size(), count);
        for (UINT slot = 0; slot < count; ++slot) {
            SCOPED_TRACE(slot);
            const Implemented& expected = coclass.implemented[slot];
            INT flags = -1;
            ASSERT_EQ(S_OK, info->GetImplTypeFlags(slot, &flags));
            EXPECT_EQ(expected.flags, flags);
            HREFTYPE reference = 0;
            ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(slot, &reference));
            ComRef<ITypeInfo> referred;
            ASSERT_EQ(S_OK, info->GetRefTypeInfo(reference, referred.put()));
            ASSERT_EQ(S_OK, referred->GetTypeAttr(&type));
            EXPECT_TRUE(IsEqualGUID(*expected.type, type->guid));
            referred->ReleaseTypeAttr(type);
            ComRef<ITypeLib> container;
            UINT index = 0;
            ASSERT_EQ(S_OK, referred->GetContainingTypeLib(container.put(), &index));
            TLIBATTR* attributes = nullptr;
            ASSERT_EQ(S_OK, container->GetLibAttr(&attributes));
            EXPECT_TRUE(IsEqualGUID(*expected.library, attributes->guid));
            container->ReleaseTLibAttr(attributes);
        }
    }
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

// The languages under which each resource is stored, read from the file as any reader does.
std::vector<WORD> ResourceLanguages(const wchar_t* type, WORD id) {
    std::vector<WORD> languages;
    const HMODULE file =
        ::LoadLibraryExW(PluginModule::Get().Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (file == nullptr) {
        return languages;
    }
    ::EnumResourceLanguagesW(file, type, MAKEINTRESOURCEW(id), &CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
    ::FreeLibrary(file);
    return languages;
}

TEST(Module, StoresTheTypeLibraryLanguageNeutralAndTheVersionInUsEnglish) {
    EXPECT_EQ(std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)},
              ResourceLanguages(L"TYPELIB", 1));
    EXPECT_EQ(std::vector<WORD>{0x0409}, ResourceLanguages(RT_VERSION, 1));
}

// The resource as any reader of it sees it, apart from the module's own reading.
class VersionResource {
  public:
    VersionResource() {
        const std::wstring& path = PluginModule::Get().Path();
        DWORD ignored = 0;
        block_.resize(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
        if (block_.empty() ||
            !::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block_.size()),
                                   block_.data())) {
            block_.clear();
        }
    }
    bool Read() const { return !block_.empty(); }
    const void* Value(const std::wstring& path, UINT* length) {
        void* value = nullptr;
        if (!::VerQueryValueW(block_.data(), path.c_str(), &value, length)) {
            return nullptr;
        }
        return value;
    }
    // nullptr when the field is missing.
    const wchar_t* Field(const std::wstring& name) {
        UINT length = 0;
        return static_cast<const wchar_t*>(Value(L"\\StringFileInfo\\040904B0\\" + name, &length));
    }

  private:
    std::vector<BYTE> block_;
};

TEST(Module, CarriesItsVersionResource) {
    VersionResource resource;
    ASSERT_TRUE(resource.Read());
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(resource.Value(L"\\", &length));
    ASSERT_NE(nullptr, fixed);
    EXPECT_EQ(MAKELONG(4, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(3, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);

    const auto* translation =
        static_cast<const WORD*>(resource.Value(L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(nullptr, translation);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    const struct {
        const wchar_t* name;
        const wchar_t* text;  // nullptr: any text that is not empty
    } fields[] = {
        {L"FileDescription", L"Colors cross-race melee as well as special attacks and weaves."},
        {L"FileVersion", L"1.04.0003"},
        {L"ProductVersion", L"1.04.0003"},
        {L"InternalName", L"Brawlhue"},
        {L"OriginalFilename", L"Brawlhue.dll"},
        {L"OLESelfRegister", L""},
        {L"ProductName", nullptr},
        {L"CompanyName", nullptr},
        {L"LegalCopyright", nullptr},
    };
    for (const auto& field : fields) {
        SCOPED_TRACE(field.name);
        const wchar_t* text = resource.Field(field.name);
        ASSERT_NE(nullptr, text);
        if (field.text != nullptr) {
            EXPECT_STREQ(field.text, text);
        } else {
            EXPECT_NE(L'\0', text[0]);
        }
    }
}

}  // namespace
}  // namespace brawlhue::testing
