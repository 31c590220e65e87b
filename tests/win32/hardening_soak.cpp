// A long run through the registered Brawlhue.dll, as the host would make it: Parse calls (ten
// million by `make soak`, BRAWLHUE_SOAK_CALLS of them, 200 thousand by default) mixed with
// connects, disconnects, reconnects and #brawlhue commands over several sessions, every answer
// checked against what the plug-in must do. Private memory stays flat after a warm-up, every host
// reference comes back, and COM unloads the module and loads it again, the second load behaving
// exactly as the first.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace brawlhue::hardening {
namespace {

constexpr unsigned long kDefaultCalls = 200'000;
constexpr std::int64_t kAllowedGrowth = 1 << 20;
// Parse calls between two session events; prime, so that lines and events keep changing partners.
constexpr unsigned long kParsesPerEvent = 97;

unsigned long SoakCalls() {
    const char* asked = std::getenv("BRAWLHUE_SOAK_CALLS");
    if (asked == nullptr || *asked == '\0') {
        return kDefaultCalls;
    }
    return std::strtoul(asked, nullptr, 10);
}

struct SoakLine {
    std::u16string_view text;
    std::u16string rebuilt;  // empty: never coloured
};

std::vector<SoakLine> SoakLines() {
    return {
        {kOwnHit, RebuiltOwnHit(u"", kOwnHit)},
        {u"> You hit the troll's head", RebuiltOwnHit(u"> ", kOwnHit)},
        {u"* HP:Healthy SP:Full MV:Fresh > You slash a Trolloc's body very hard.",
         RebuiltOwnHit(u"* HP:Healthy SP:Full MV:Fresh > ",
                       u"You slash a Trolloc's body very hard.")},
        {u"A Trolloc tries to hit you, but you dodge the attack.",
         u"\x1b[0m\x1b[32;40;1mA Trolloc tries to hit you, but you dodge the attack.\x1b[0m"},
        {u"Lan says 'Careful. They have not seen us yet.'", u""},
        {u"The Edge of the Blight", u""},
        {u"> ", u""},
        {u"", u""},
        {u"I51 > ] A column of stone stands here covered in odd carvings.",
         u"\x1b[0mI51 > ] \x1b[36;42;1mA column of stone stands here covered in odd "
         u"carvings.\x1b[0m"},
    };
}

// The host's side of the soak: sessions, what each has stored, and what Enabled must be.
class SoakHost {
  public:
    explicit SoakHost(host::StandinHost& host) : host_(host) {
        for (const LONG handle : {11, 12, 13, 14}) {
            sessions_[handle] = host_.OpenSession(handle);
        }
        host_.SetVariable(sessions_[12], kFlagName, kFlagClass, u"False", u"False");
    }

    // One session event, the n-th: the same cycle of events goes round and round.
    void Event(IzMUDPlugin* plugin, unsigned long n) {
        static const struct {
            char action;  // c: connect, d: disconnect, o: on, f: off, s: status, h: help,
                          // u: unknown word, i: other identifier, x: close, r: reopen
            LONG handle;
        } kCycle[] = {
            {'c', 11}, {'s', 11}, {'c', 12}, {'s', 12}, {'o', 13}, {'c', 13}, {'h', 14},
            {'d', 11}, {'f', 14}, {'x', 12}, {'c', 12}, {'s', 13}, {'r', 12}, {'c', 12},
            {'u', 11}, {'d', 12}, {'i', 13}, {'c', 14}, {'o', 12}, {'d', 14}, {'d', 13},
        };
        const auto& event = kCycle[n % std::size(kCycle)];
        const SessionId session = sessions_.at(event.handle);
        const bool open = closed_.count(event.handle) == 0;
        HRESULT result = S_OK;
        std::size_t lines = 0;
        bool switches = false;
        bool to = false;
        switch (event.action) {
            case 'c':
                result = plugin->OnConnect(event.handle);
                lines = 1;
                if (open) {
                    const auto stored = host_.Variable(session, kFlagName, kFlagClass);
                    enabled_ = !stored || stored->value == u"True";
                }
                ++connects_;
                break;
            case 'd':
                result = plugin->OnDisconnect(event.handle);
                ++disconnects_;
                break;
            case 'o':
            case 'f':
                switches = true;
                to = event.action == 'o';
                result = Command(plugin, event.handle, to ? u"on" : u"off");
                lines = 3;
                break;
            case 's':
                result = Command(plugin, event.handle, u"status");
                lines = 3;
                if (open && host_.Displayed(session).size() == 3) {
                    EXPECT_EQ(enabled_ ? u"Brawlhue: Enabled." : u"Brawlhue: Disabled.",
                              host_.Displayed(session)[1].text);
                }
                break;
            case 'h':
                result = Command(plugin, event.handle, u"help");
                lines = 8;
                break;
            case 'u':
                result = Command(plugin, event.handle, u"toggle");
                lines = 4;
                break;
            case 'i':
                result = Command(plugin, event.handle, u"on", 4711);
                lines = 3;
                break;
            case 'x':
                host_.CloseSession(session);
                closed_.insert(event.handle);
                return;
            case 'r':
                host_.ReopenSession(session);
                closed_.erase(event.handle);
                return;
        }
        if (switches) {
            // Switched before the session is needed, whether it is there or not.
            enabled_ = to;
            ++commands_;
        } else if (event.action != 'c' && event.action != 'd') {
            ++commands_;
        }
        EXPECT_EQ(open ? S_OK : kObjectMissing, result) << event.action << event.handle;
        EXPECT_EQ(open ? lines : 0, host_.Displayed(session).size())
            << event.action << event.handle;
        host_.ClearDisplayed(session);
        if (open && (event.action == 'd' || switches)) {
            const std::u16string saved = enabled_ ? u"True" : u"False";
            EXPECT_EQ((StoredVariable{saved, saved}),
                      host_.Variable(session, kFlagName, kFlagClass));
        }
    }

    bool enabled() const { return enabled_; }
    unsigned long connects() const { return connects_; }
    unsigned long disconnects() const { return disconnects_; }
    unsigned long commands() const { return commands_; }

  private:
    static HRESULT Command(IzMUDPlugin* plugin, LONG handle, std::u16string_view text,
                           LONG id = kCommandId) {
        const UniqueBstr command = UniqueBstr::Copy(text);
        VARIANT unused;
        ::VariantInit(&unused);
        return plugin->plugCommand(handle, id, command.get(), unused);
    }

    host::StandinHost& host_;
    std::map<LONG, SessionId> sessions_;
    std::set<LONG> closed_;
    bool enabled_ = false;
    unsigned long connects_ = 0;
    unsigned long disconnects_ = 0;
    unsigned long commands_ = 0;
};

// Parses the lines round and round from the given call on; false at the first wrong answer.
bool ParseLines(IzMUDPlugin* plugin, const std::vector<SoakLine>& lines, unsigned long first,
                unsigned long count, bool enabled) {
    for (unsigned long i = first; i < first + count; ++i) {
        const SoakLine& line = lines[i % lines.size()];
        BSTR text = UniqueBstr::Copy(line.text).release();
        const BSTR passed = text;
        LONG gag = 0;
        VARIANT_BOOL update = 7;
        const HRESULT result = plugin->Parse(11, &text, VARIANT_FALSE, &gag, &update);
        const UniqueBstr answer(text);
        const bool coloured = enabled && !line.rebuilt.empty();
        if (result != S_OK || update != (coloured ? VARIANT_TRUE : VARIANT_FALSE) ||
            (coloured ? answer.view() != line.rebuilt : answer.get() != passed)) {
            ADD_FAILURE() << "call " << i << ": " << Printable(line.text) << " gave "
                          << Printable(answer.view()) << ", status " << std::hex << result;
            return false;
        }
    }
    return true;
}

std::u16string Decimal(long number) {
    const std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

// What a new plug-in object shows and answers on a session of its own, for comparing one load
// of the module with the next.
std::vector<std::u16string> Fingerprint(host::StandinHost& host, IzMUDPlugin* plugin) {
    std::vector<std::u16string> answers;
    constexpr LONG kHandle = 77;
    const SessionId session = host.OpenSession(kHandle);
    BSTR name = nullptr;
    BSTR company = nullptr;
    BSTR description = nullptr;
    BSTR help_file = nullptr;
    BSTR version = nullptr;
    VARIANT_BOOL load_def = VARIANT_FALSE;
    EXPECT_EQ(S_OK,
              plugin->Register(&name, &company, &description, &version, &help_file, &load_def));
    for (BSTR text : {name, company, description, help_file}) {
        answers.emplace_back(com::TextOf(text));
        ::SysFreeString(text);
    }
    const auto record = [&](HRESULT result) {
        answers.push_back(u"status " + Decimal(result));
        for (const DisplayedLine& line : host.Displayed(session)) {
            answers.push_back(line.text + u" in colour " + Decimal(line.colour));
        }
        host.ClearDisplayed(session);
    };
    record(plugin->OnConnect(kHandle));
    for (const std::u16string_view command : {u"status", u"help", u"off", u"status", u"on"}) {
        const UniqueBstr text = UniqueBstr::Copy(command);
        VARIANT unused;
        ::VariantInit(&unused);
        record(plugin->plugCommand(kHandle, kCommandId, text.get(), unused));
    }
    for (const SoakLine& line : SoakLines()) {
        BSTR text = UniqueBstr::Copy(line.text).release();
        LONG gag = 0;
        VARIANT_BOOL update = VARIANT_FALSE;
        EXPECT_EQ(S_OK, plugin->Parse(kHandle, &text, VARIANT_FALSE, &gag, &update));
        answers.push_back(std::u16string(com::TextOf(text)) + (update ? u" (updated)" : u""));
        ::SysFreeString(text);
    }
    record(plugin->OnDisconnect(kHandle));
    const auto flag = host.Variable(session, kFlagName, kFlagClass);
    answers.push_back(flag ? flag->value : u"(no flag)");
    host.CloseSession(session);
    return answers;
}

bool ModuleLoaded() {
    return ::GetModuleHandleW(kShippedModule) != nullptr;
}

// Asks the loaded module itself whether it may go, without holding it.
HRESULT ModuleCanUnloadNow() {
    const HMODULE module = ::GetModuleHandleW(kShippedModule);
    if (module == nullptr) {
        return E_UNEXPECTED;
    }
    using UnloadQuery = HRESULT(STDAPICALLTYPE*)();
    const auto query = reinterpret_cast<UnloadQuery>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    return query != nullptr ? query() : E_UNEXPECTED;
}

ComRef<IzMUDPlugin> CreateRegistered() {
    ComRef<IzMUDPlugin> plugin;
    EXPECT_EQ(S_OK, ::CoCreateInstance(CLSID_BrawlhueClass, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IzMUDPlugin, reinterpret_cast<void**>(plugin.put())));
    return plugin;
}

TEST(Soak, ParseMixedWithSessionEventsStaysFlatAndUnloadsCleanly) {
    const unsigned long calls = SoakCalls();
    const unsigned long warm_up = std::max(20'000ul, calls / 20);
    ASSERT_GT(calls, warm_up) << "too few calls to measure";
    const Apartment apartment;
    ASSERT_EQ(S_OK, apartment.result());
    const FirstChanceExceptions exceptions;
    host::StandinHost host;
    host.KeepCallLog(false);
    const host::HostSessionsRegistration registration(host);
    ASSERT_FALSE(ModuleLoaded()) << "the module must come from COM alone";
    const std::vector<SoakLine> lines = SoakLines();

    std::vector<std::u16string> first_fingerprint;
    std::int64_t before = 0;
    std::int64_t after = 0;
    const ULONGLONG started = ::GetTickCount64();
    SoakHost soak(host);
    {
        ComRef<IzMUDPlugin> plugin = CreateRegistered();
        ASSERT_TRUE(plugin);
        ASSERT_TRUE(ModuleLoaded());
        first_fingerprint = Fingerprint(host, plugin.get());
        unsigned long done = 0;
        for (unsigned long event = 0; done < calls; ++event) {
            soak.Event(plugin.get(), event);
            const unsigned long count = std::min(kParsesPerEvent, calls - done);
            ASSERT_TRUE(ParseLines(plugin.get(), lines, done, count, soak.enabled()));
            if (done < warm_up && done + count >= warm_up) {
                before = PrivateBytes();
            }
            done += count;
        }
        after = PrivateBytes();
        for (const LONG handle : {11, 12, 13, 14}) {
            plugin->OnDisconnect(handle);
        }
    }
    const ULONGLONG took = ::GetTickCount64() - started;
    EXPECT_GT(before, 0);
    EXPECT_LE(after - before, kAllowedGrowth) << "before " << before << ", after " << after;
    std::printf(
        "[ figures  ] %lu Parse calls, %lu connects, %lu disconnects, %lu commands over 4 "
        "sessions in %llu ms; private bytes %lld after warm-up, %lld at the end "
        "(growth %lld)\n",
        calls, soak.connects(), soak.disconnects(), soak.commands(),
        static_cast<unsigned long long>(took), static_cast<long long>(before),
        static_cast<long long>(after), static_cast<long long>(after - before));

    EXPECT_EQ(0, host.LiveObjects()) << "host references left over";
    EXPECT_EQ(S_OK, ModuleCanUnloadNow());
    ::CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(ModuleLoaded()) << "COM kept the module";

    // The second load starts from scratch and must answer as the first did.
    {
        ComRef<IzMUDPlugin> plugin = CreateRegistered();
        ASSERT_TRUE(plugin);
        EXPECT_TRUE(ModuleLoaded());
        EXPECT_EQ(first_fingerprint, Fingerprint(host, plugin.get()));
        EXPECT_TRUE(ParseLines(plugin.get(), lines, 0, 10'000, true));
    }
    EXPECT_EQ(0, host.LiveObjects());
    EXPECT_EQ(S_OK, ModuleCanUnloadNow());
    ::CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(ModuleLoaded()) << "COM kept the module after the second load";
    EXPECT_EQ(0u, exceptions.Count()) << exceptions.Describe();
}

}  // namespace
}  // namespace brawlhue::hardening
