// A million Parse calls through the registered Brawlhue.dll: the process's private memory stays
// where it stood after a warm-up, and after the plug-in's release no host object is left alive
// and the module may unload.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>
#include <psapi.h>

#include <cstdint>
#include <string_view>

#include "brawlhue.h"
#include "host/standin_host.h"
#include "plugin/com_ref.h"
#include "plugin/unique_bstr.h"
#include "zmud.h"

namespace {

using brawlhue::com::ComRef;
using brawlhue::com::UniqueBstr;
using brawlhue::host::HostSessionsRegistration;
using brawlhue::host::StandinHost;

constexpr LONG kHandle = 3;
constexpr int kWarmUpCalls = 20'000;
constexpr int kMeasuredCalls = 1'000'000;
constexpr std::int64_t kAllowedGrowth = 1 << 20;

// Coloured and plain lines, with and without prompts, so that every path of Parse runs.
constexpr std::u16string_view kLines[] = {
    u"You hit the troll's head",
    u"> You hit the troll's head",
    u"* HP:Healthy SP:Full MV:Fresh > You slash a Trolloc's body very hard.",
    u"A Trolloc tries to hit you, but you dodge the attack.",
    u"Lan says 'Careful. They have not seen us yet.'",
    u"The Edge of the Blight",
    u"> ",
    u"",
};

// The process's private bytes. Wine 8 fills only the basic counters and leaves PrivateUsage 0;
// PagefileUsage is the same commit charge there, as it is on Windows since Windows 7.
std::int64_t PrivateUsage() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    EXPECT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(),
                                       reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                       sizeof counters));
    const SIZE_T bytes =
        counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    return static_cast<std::int64_t>(bytes);
}

class ComApartment {
  public:
    ComApartment() { EXPECT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    ~ComApartment() { ::CoUninitialize(); }
};

// Parses the lines round and round; how many came back rewritten.
int ParseLines(IzMUDPlugin* plugin, int calls) {
    int updated = 0;
    for (int i = 0; i < calls; ++i) {
        const std::u16string_view line = kLines[i % std::size(kLines)];
        BSTR raw = UniqueBstr::Copy(line).release();
        LONG gag = 0;
        VARIANT_BOOL update = VARIANT_FALSE;
        const HRESULT result = plugin->Parse(kHandle, &raw, VARIANT_FALSE, &gag, &update);
        const UniqueBstr text(raw);
        if (FAILED(result)) {
            ADD_FAILURE() << "Parse failed: " << std::hex << result;
            return updated;
        }
        updated += update == VARIANT_TRUE ? 1 : 0;
    }
    return updated;
}

TEST(ParseMemory, MillionCallsKeepPrivateMemoryAndReleaseEveryHostObject) {
    const ComApartment apartment;
    StandinHost host;
    host.KeepCallLog(false);
    host.OpenSession(kHandle);
    HMODULE module = nullptr;
    {
        const HostSessionsRegistration registration(host);
        ComRef<IzMUDPlugin> plugin;
        ASSERT_EQ(S_OK,
                  ::CoCreateInstance(CLSID_BrawlhueClass, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IzMUDPlugin, reinterpret_cast<void**>(plugin.put())));
        // Held by the test, so that the module is still there to be asked after the release.
        ASSERT_TRUE(::GetModuleHandleExW(0, L"Brawlhue.dll", &module));
        ASSERT_EQ(S_OK, plugin->OnConnect(kHandle));

        ASSERT_GT(ParseLines(plugin.get(), kWarmUpCalls), 0) << "colouring is on after connect";
        const std::int64_t before = PrivateUsage();
        ASSERT_GT(before, 0);
        ParseLines(plugin.get(), kMeasuredCalls);
        const std::int64_t after = PrivateUsage();
        EXPECT_LE(after - before, kAllowedGrowth) << "before " << before << ", after " << after;

        ASSERT_EQ(S_OK, plugin->OnDisconnect(kHandle));
    }
    EXPECT_EQ(0, host.LiveObjects());
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    const auto can_unload = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, can_unload);
    EXPECT_EQ(S_OK, can_unload());
    ::FreeLibrary(module);
}

}  // namespace
