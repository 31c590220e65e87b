// Leak accounting over a plug-in's whole life: every BSTR and task memory block (counted by a spy
// on the COM task allocator, with Wine's BSTR cache off), every block of the module's own heap
// (in the counted build) and every host reference comes back once the plug-in is released, and
// COM agrees: it revokes the spy only when no block allocated under it is left.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <string>

#include "hardening_support.h"

namespace brawlhue::hardening {
namespace {

// The spy only sees a text's end when the BSTR cache is off: a cached text stays allocated.
bool BstrCacheIsOff() {
    wchar_t value[8] = {};
    return ::GetEnvironmentVariableW(L"OANOCACHE", value, 8) != 0 && value[0] == L'1';
}

HRESULT CommandOn(IzMUDPlugin* plugin, LONG handle, std::u16string_view text,
                  LONG id = kCommandId) {
    const UniqueBstr command = UniqueBstr::Copy(text);
    VARIANT unused;
    ::VariantInit(&unused);
    return plugin->plugCommand(handle, id, command.get(), unused);
}

// Each operation of both classes, the failing ways included, a few times over.
void ExerciseEverything(IzMUDPlugin* plugin, _Tools* tools) {
    BSTR name = nullptr;
    BSTR company = nullptr;
    BSTR description = nullptr;
    BSTR help_file = nullptr;
    UniqueBstr version = UniqueBstr::Copy(u"1.0");
    BSTR version_text = version.get();
    VARIANT_BOOL load_def = VARIANT_FALSE;
    EXPECT_EQ(S_OK, plugin->Register(&name, &company, &description, &version_text, &help_file,
                                     &load_def));
    for (BSTR text : {name, company, description, help_file}) {
        ::SysFreeString(text);
    }
    BSTR file_name = nullptr;
    LONG command_version = 0;
    EXPECT_EQ(S_OK, plugin->AddCommands(&file_name, &command_version));
    ::SysFreeString(file_name);
    BSTR settings = nullptr;
    EXPECT_EQ(S_OK, plugin->get_SaveSettings(&settings));
    ::SysFreeString(settings);
    const UniqueBstr anything = UniqueBstr::Copy(u"anything");
    VARIANT unused;
    ::VariantInit(&unused);
    BSTR function_result = nullptr;
    EXPECT_EQ(S_OK, plugin->plugFunction(1, 5, anything.get(), unused, &function_result));
    ::SysFreeString(function_result);
    EXPECT_EQ(S_OK, plugin->Init());
    EXPECT_EQ(S_OK, plugin->Close());

    for (int round = 0; round < 3; ++round) {
        for (const LONG handle : {1, 2}) {
            EXPECT_EQ(S_OK, plugin->OnConnect(handle));
        }
        EXPECT_EQ(DISP_E_TYPEMISMATCH, plugin->OnConnect(3)) << "a flag that reads as nothing";
        EXPECT_EQ(kObjectMissing, plugin->OnConnect(99));
        for (const std::u16string_view command :
             {u"help", u"status", u"on", u"off", u"toggle", u"", u"button", u"palette colourblind",
              u"tags on", u"palette", u"tags"}) {
            EXPECT_EQ(S_OK, CommandOn(plugin, 1, command));
        }
        EXPECT_EQ(S_OK, CommandOn(plugin, 2, u"on", 12));
        EXPECT_EQ(kObjectMissing, CommandOn(plugin, 99, u"on"));
        for (const std::u16string_view text :
             {std::u16string_view(kOwnHit), std::u16string_view(u"> > You slash the orc's body"),
              std::u16string_view(u"Bob says 'hi'"), std::u16string_view(u"> "),
              std::u16string_view(u"")}) {
            BSTR line = UniqueBstr::Copy(text).release();
            LONG gag = 0;
            VARIANT_BOOL update = VARIANT_FALSE;
            EXPECT_EQ(S_OK, plugin->Parse(1, &line, VARIANT_FALSE, &gag, &update));
            ::SysFreeString(line);
            line = UniqueBstr::Copy(text).release();
            BSTR message = nullptr;
            EXPECT_EQ(S_OK, tools->GetNonPrompt(&line, &message));
            ::SysFreeString(message);
            ::SysFreeString(line);
        }
        for (LONG handle : {1, 2, 99}) {
            ComRef<HostSession> session;
            EXPECT_EQ(S_OK, tools->GetSession(&handle, session.put()));
        }
        EXPECT_EQ(S_OK, plugin->OnDisconnect(1));
        EXPECT_EQ(S_OK, plugin->OnDisconnect(2));
        EXPECT_EQ(kObjectMissing, plugin->OnDisconnect(99));
    }

    // Late binding loads the module's type library and keeps its type information for the
    // object's life: all of it must go with the object.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetNonPrompt")};
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(S_OK, tools->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    VARIANT argument;
    ::VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = UniqueBstr::Copy(u"> > late").release();
    DISPPARAMS parameters{&argument, nullptr, 1, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(S_OK, tools->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                  &result, nullptr, nullptr));
    EXPECT_EQ(VT_BSTR, V_VT(&result));
    ::VariantClear(&result);
    ::VariantClear(&argument);
    ComRef<IDispatch> own_interface;
    ASSERT_EQ(S_OK, plugin->QueryInterface(IID__BrawlhueClass,
                                           reinterpret_cast<void**>(own_interface.put())));
    ComRef<ITypeInfo> info;
    EXPECT_EQ(S_OK, own_interface->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
}

class LeakAccountingTest : public ::testing::TestWithParam<const wchar_t*> {
  protected:
    const LoadedModule& module() const { return LoadedModule::Get(GetParam()); }
};

TEST_P(LeakAccountingTest, EveryBlockAndReferenceComesBack) {
    ASSERT_TRUE(BstrCacheIsOff()) << "run with OANOCACHE=1";
    const Apartment apartment;
    ASSERT_EQ(S_OK, apartment.result());
    const FirstChanceExceptions exceptions;
    host::StandinHost host;
    host.OpenSession(1);
    host.SetVariable(host.OpenSession(2), kFlagName, kFlagClass, u"False", u"False");
    host.SetVariable(host.OpenSession(3), kFlagName, kFlagClass, u"yes", u"yes");
    AllocationProbe* const probe = module().Allocations();
    const long heap_before = probe ? probe->live_blocks : 0;
    const unsigned long heap_allocations_before = probe ? probe->allocations : 0;
    {
        const host::HostSessionsRegistration registration(host);
        SpiedTaskMemory spied;
        ASSERT_EQ(S_OK, spied.registered());
        {
            ComRef<IzMUDPlugin> plugin;
            ASSERT_EQ(S_OK, module().Create(CLSID_BrawlhueClass, plugin));
            ComRef<_Tools> tools;
            ASSERT_EQ(S_OK, module().Create(CLSID_Tools, tools));
            ExerciseEverything(plugin.get(), tools.get());
            EXPECT_GT(TaskMemorySpy::Instance().LiveBlocks(), 0) << "type information is held";
        }
        EXPECT_EQ(0, host.LiveObjects()) << "host references left over";
        EXPECT_EQ(0, TaskMemorySpy::Instance().LiveBlocks()) << "task memory left over";
        EXPECT_EQ(0u, TaskMemorySpy::Instance().StrayFrees());
        EXPECT_EQ(S_OK, spied.Revoke()) << "COM still sees a block allocated under the spy";
    }
    EXPECT_EQ(S_OK, module().CanUnloadNow());
    if (probe) {
        EXPECT_EQ(heap_before, probe->live_blocks) << "the module's own heap blocks left over";
        std::printf("[ figures  ] %lu operator new blocks in the module's life, %ld left over\n",
                    probe->allocations - heap_allocations_before, probe->live_blocks - heap_before);
    }
    EXPECT_EQ(0u, exceptions.Count()) << exceptions.Describe();
}

INSTANTIATE_TEST_SUITE_P(Builds, LeakAccountingTest,
                         ::testing::Values(kShippedModule, kCountedModule),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return std::string(info.param == kShippedModule ? "Shipped"
                                                                             : "Counted");
                         });

// The instruments themselves: each sees what it is there to see.
TEST(LeakInstruments, COMRefusesToRevokeTheSpyWhileATextLives) {
    ASSERT_TRUE(BstrCacheIsOff()) << "run with OANOCACHE=1";
    const Apartment apartment;
    {
        SpiedTaskMemory spied;
        ASSERT_EQ(S_OK, spied.registered());
        BSTR kept = ::SysAllocString(L"kept");
        EXPECT_EQ(1, TaskMemorySpy::Instance().LiveBlocks());
        EXPECT_EQ(E_ACCESSDENIED, spied.Revoke());
        ::SysFreeString(kept);
        EXPECT_EQ(0, TaskMemorySpy::Instance().LiveBlocks());
    }
    // COM let go of the spy with the last block, so it can be registered again.
    SpiedTaskMemory again;
    EXPECT_EQ(S_OK, again.registered());
    EXPECT_EQ(S_OK, again.Revoke());
}

TEST(LeakInstruments, TheCountedBuildCountsItsOwnHeapAndNoOtherBuildDoes) {
    EXPECT_EQ(nullptr, LoadedModule::Get(kShippedModule).Allocations());
    AllocationProbe* const probe = LoadedModule::Get(kCountedModule).Allocations();
    ASSERT_NE(nullptr, probe);
    const Apartment apartment;
    host::StandinHost host;
    const host::HostSessionsRegistration registration(host);
    const long before = probe->live_blocks;
    const std::string own_block(1000, 'x');  // the test's own heap is not counted
    ComRef<IzMUDPlugin> plugin;
    ASSERT_EQ(S_OK, LoadedModule::Get(kCountedModule).Create(CLSID_BrawlhueClass, plugin));
    EXPECT_GE(probe->live_blocks, before + 2) << "the plug-in object and its Tools object";
    plugin.reset();
    EXPECT_EQ(before, probe->live_blocks);
}

}  // namespace
}  // namespace brawlhue::hardening
