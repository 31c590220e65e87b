// IzMUDPlugin as the host calls it: QueryInterface by its IID, then raw vtable slots counted
// independently of any generated header (slot n of the host's table sits at vtable index 6 + n).
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>

#include "hosted_plugin.h"
#include "registry_snapshot.h"

namespace brawlhue::testing {
namespace {

using com::ComRef;

template <typename... Arguments>
HRESULT CallSlot(IUnknown* object, int slot, Arguments... arguments) {
    using Function = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Arguments...);
    void** vtable = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Function>(vtable[6 + slot])(object, arguments...);
}

class PluginOperationsTest : public HostedPluginTest {
  protected:
    void SetUp() override {
        HostedPluginTest::SetUp();
        ComRef<IUnknown> unknown;
        ASSERT_EQ(S_OK,
                  plugin_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.put())));
        ASSERT_EQ(S_OK,
                  unknown->QueryInterface(IID_IzMUDPlugin, reinterpret_cast<void**>(raw_.put())));
    }
    void TearDown() override {
        // Whatever the operations did, they called nothing of the host.
        EXPECT_EQ(0u, host_.TotalCallCount());
        raw_.reset();
        HostedPluginTest::TearDown();
    }
    ComRef<IUnknown> raw_;
};

TEST_F(PluginOperationsTest, InterfacesShareOneIdentity) {
    ComRef<IUnknown> identity;
    ASSERT_EQ(S_OK, raw_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.put())));
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID__BrawlhueClass, &IID_IzMUDPlugin}) {
        ComRef<IUnknown> asked;
        ASSERT_EQ(S_OK, raw_->QueryInterface(*iid, reinterpret_cast<void**>(asked.put())));
        ComRef<IUnknown> back;
        ASSERT_EQ(S_OK, asked->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(back.put())));
        EXPECT_EQ(identity.get(), back.get());
        EXPECT_EQ(5u, ReferencesOf(raw_.get()));  // plugin_, raw_, identity, asked, back
    }
    for (const IID* iid : {&IID__Tools, &IID_IClassFactory, &IID_HostSession}) {
        int sentinel = 0;
        void* object = &sentinel;
        EXPECT_EQ(E_NOINTERFACE, raw_->QueryInterface(*iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(3u, ReferencesOf(raw_.get()));
}

TEST_F(PluginOperationsTest, RegisterNamesThePlugin) {
    BSTR name = nullptr;
    BSTR company = nullptr;
    BSTR description = nullptr;
    com::UniqueBstr version = Text(u"9.9");
    BSTR passed_version = version.get();
    BSTR help_file = Text(u"host.hlp").release();
    const BSTR passed_help_file = help_file;
    VARIANT_BOOL load_def = 0;
    ASSERT_EQ(S_OK, CallSlot(raw_.get(), 1, &name, &company, &description, &passed_version,
                             &help_file, &load_def));
    // An out-parameter is overwritten, never freed: the host still owns what it passed.
    ::SysFreeString(passed_help_file);
    EXPECT_EQ(VersionField(L"ProductName"), com::TextOf(name));
    EXPECT_EQ(u"Tarnwick", com::TextOf(company));
    EXPECT_EQ(u"Colors cross-race melee as well as special attacks and weaves.",
              com::TextOf(description));
    EXPECT_EQ(version.get(), passed_version);
    EXPECT_EQ(u"9.9", com::TextOf(passed_version));
    ASSERT_NE(nullptr, help_file);
    EXPECT_EQ(0u, ::SysStringLen(help_file));
    EXPECT_EQ(VARIANT_TRUE, load_def);
    for (BSTR text : {name, company, description, help_file}) {
        ::SysFreeString(text);
    }
}

TEST_F(PluginOperationsTest, ValueOperationsAnswerTheirConstants) {
    LONG version = 77;
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 2, &version));
    EXPECT_EQ(0, version);

    BSTR file_name = nullptr;
    LONG command_version = 0;
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 5, &file_name, &command_version));
    EXPECT_EQ(u"Brawlhue.dat", com::TextOf(file_name));
    EXPECT_EQ(1, command_version);
    ::SysFreeString(file_name);

    BSTR settings = nullptr;
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 15, &settings));
    ASSERT_NE(nullptr, settings);
    EXPECT_EQ(0u, ::SysStringLen(settings));
    ::SysFreeString(settings);

    VARIANT_BOOL can_capture = VARIANT_TRUE;
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 22, &can_capture));
    EXPECT_EQ(VARIANT_FALSE, can_capture);

    // No place for the answer is a failure, not a crash.
    EXPECT_EQ(E_POINTER, CallSlot(raw_.get(), 2, static_cast<LONG*>(nullptr)));
    EXPECT_EQ(E_POINTER, CallSlot(raw_.get(), 15, static_cast<BSTR*>(nullptr)));
    EXPECT_EQ(E_POINTER, CallSlot(raw_.get(), 22, static_cast<VARIANT_BOOL*>(nullptr)));
    file_name = nullptr;
    EXPECT_EQ(E_POINTER, CallSlot(raw_.get(), 5, &file_name, static_cast<LONG*>(nullptr)));
    EXPECT_EQ(u"Brawlhue.dat", com::TextOf(file_name)) << "written before the failing step";
    ::SysFreeString(file_name);
}

TEST_F(PluginOperationsTest, PlugFunctionAnswersEmptyTextForAnything) {
    VARIANT number;
    ::VariantInit(&number);
    V_VT(&number) = VT_I4;
    V_I4(&number) = 5;
    VARIANT empty;
    ::VariantInit(&empty);
    const com::UniqueBstr text = Text(u"#brawlhue status");
    for (const auto& [handle, id, command, argument] :
         {std::tuple{1L, kCommandId, text.get(), number}, std::tuple{-4L, 0L, BSTR{}, empty}}) {
        BSTR result = nullptr;
        EXPECT_EQ(S_OK, CallSlot(raw_.get(), 7, handle, id, command, argument, &result));
        ASSERT_NE(nullptr, result);
        EXPECT_EQ(0u, ::SysStringLen(result));
        ::SysFreeString(result);
    }
}

// Operations that do nothing read no parameter: even pointers to nowhere are fine.
TEST_F(PluginOperationsTest, DoNothingOperationsTouchNothing) {
    BSTR caption = Text(u"Caption").release();
    BSTR help = Text(u"Help").release();
    const BSTR passed_caption = caption;
    const BSTR passed_help = help;
    LONG menu_id = 12;
    BSTR input = Text(u"kill troll").release();
    const BSTR passed_input = input;
    VARIANT_BOOL send = VARIANT_TRUE;
    const com::UniqueBstr text = Text(u"text");

    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 3));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 4));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 8, 0L, &caption, &help, &menu_id, 1L));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 8, 0L, static_cast<BSTR*>(nullptr),
                             static_cast<BSTR*>(nullptr), static_cast<LONG*>(nullptr), 1L));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 9, 1L, kCommandId));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 10, 1L, &input, &send));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 10, 1L, static_cast<BSTR*>(nullptr),
                             static_cast<VARIANT_BOOL*>(nullptr)));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 12, 1L, &input));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 12, 1L, static_cast<BSTR*>(nullptr)));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 13, 1L));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 14, text.get(), 3L));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 16, 1L, text.get(), BSTR{}));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 17, 2L));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 18, 1L, text.get(), text.get(), 4000L));
    EXPECT_EQ(S_OK, CallSlot(raw_.get(), 19, 1L));

    EXPECT_EQ(passed_caption, caption);
    EXPECT_EQ(u"Caption", com::TextOf(caption));
    EXPECT_EQ(passed_help, help);
    EXPECT_EQ(12, menu_id);
    EXPECT_EQ(passed_input, input);
    EXPECT_EQ(u"kill troll", com::TextOf(input));
    EXPECT_EQ(VARIANT_TRUE, send);
    for (BSTR owned : {caption, help, input}) {
        ::SysFreeString(owned);
    }
    EXPECT_FALSE(Colouring()) << "Enabled starts off";
}

TEST_F(PluginOperationsTest, TheOwnInterfaceDispatchesFromTheEmbeddedLibrary) {
    ComRef<IDispatch> dispatch;
    ASSERT_EQ(S_OK,
              raw_->QueryInterface(IID__BrawlhueClass, reinterpret_cast<void**>(dispatch.put())));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ComRef<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, info.put()));
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(IID__BrawlhueClass, attributes->guid));
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, 0, info.put()));
    // _BrawlhueClass has no members of its own.
    LPOLESTR name = const_cast<LPOLESTR>(L"Register");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
}

std::wstring ClassesKey(const wchar_t* kind, REFGUID guid) {
    wchar_t text[39];
    ::StringFromGUID2(guid, text, 39);
    return std::wstring(L"Software\\Classes\\") + kind + L"\\" + text;
}

// IzMUDPlugin's own IDispatch members need the host's registered library; without it they fail
// and nothing breaks.
TEST_F(PluginOperationsTest, TheHostInterfaceDispatchesOnlyWithTheHostsLibrary) {
    std::vector<std::wstring> host_keys{ClassesKey(L"TypeLib", LIBID_Zmud)};
    for (const IID* iid :
         {&IID_HostVariable, &IID_HostSession, &IID_HostSessions, &IID_IzMUDPlugin}) {
        host_keys.push_back(ClassesKey(L"Interface", *iid));
    }
    const RegistryGuard guard(HKEY_LOCAL_MACHINE, host_keys);
    for (const std::wstring& key : host_keys) {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    }
    IDispatch* dispatch = plugin_.get();
    UINT count = 7;
    EXPECT_TRUE(FAILED(dispatch->GetTypeInfoCount(&count)));
    EXPECT_EQ(0u, count);
    ComRef<ITypeInfo> info;
    EXPECT_TRUE(FAILED(dispatch->GetTypeInfo(0, 0, info.put())));
    EXPECT_FALSE(info);
    LPOLESTR name = const_cast<LPOLESTR>(L"AddCommands");
    DISPID id = 0;
    EXPECT_TRUE(FAILED(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)));
    DISPPARAMS no_arguments{};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_TRUE(FAILED(dispatch->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &no_arguments,
                                        &result, nullptr, nullptr)));

    ASSERT_EQ(S_OK, host::RegisterHostTypeLibrary());
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(5, id);
    EXPECT_EQ(S_OK, dispatch->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &no_arguments, &result,
                                     nullptr, nullptr));
    EXPECT_EQ(VT_I4, V_VT(&result));
    EXPECT_EQ(0, V_I4(&result));
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, dispatch->Invoke(2, IID_IzMUDPlugin, 0, DISPATCH_PROPERTYGET,
                                                        &no_arguments, &result, nullptr, nullptr));
}

}  // namespace
}  // namespace brawlhue::testing
