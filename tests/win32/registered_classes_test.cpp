// Once registered, both classes are created the way the host and scripts create them: by CLSID
// and by ProgID, in process.
#include <gtest/gtest.h>
#include <windows.h>

#include "hosted_plugin.h"

namespace brawlhue::testing {
namespace {

using com::ComRef;

class RegisteredClassesTest : public HostedPluginTest {};

TEST_F(RegisteredClassesTest, AreCreatedByClsidAndByProgId) {
    const struct {
        const wchar_t* prog_id;
        const CLSID* clsid;
        const IID* iid;
    } classes[] = {
        {L"Brawlhue.BrawlhueClass", &CLSID_BrawlhueClass, &IID_IzMUDPlugin},
        {L"Brawlhue.Tools", &CLSID_Tools, &IID__Tools},
    };
    plugin_.reset();
    for (const auto& registered : classes) {
        CLSID clsid = GUID_NULL;
        ASSERT_EQ(S_OK, ::CLSIDFromProgID(registered.prog_id, &clsid));
        EXPECT_TRUE(IsEqualCLSID(*registered.clsid, clsid));
        for (DWORD context : {DWORD{CLSCTX_INPROC_SERVER}, DWORD{CLSCTX_ALL}}) {
            ComRef<IDispatch> object;
            ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, context, *registered.iid,
                                               reinterpret_cast<void**>(object.put())));
            EXPECT_EQ(1u, ReferencesOf(object.get()));
        }
        EXPECT_EQ(S_OK, PluginModule::Get().CanUnloadNow());
    }
    // The registered module is this very one, loaded once.
    ComRef<IzMUDPlugin> plugin;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_BrawlhueClass, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IzMUDPlugin, reinterpret_cast<void**>(plugin.put())));
    EXPECT_EQ(S_FALSE, PluginModule::Get().CanUnloadNow());
    plugin.reset();
    EXPECT_EQ(S_OK, PluginModule::Get().CanUnloadNow());
}

}  // namespace
}  // namespace brawlhue::testing
