// A failure of each host call in turn, in every operation that calls the host: the operation
// returns that status, keeps Enabled and the stored flag as far as it had got, shows only the
// lines before the failure, leaks nothing, and the object goes on working. The one exception is
// a connect's read of the palette and tags choices, which leaves the choice at its default.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hosted_plugin.h"

namespace brawlhue::testing {
namespace {

constexpr HRESULT kInjected = E_ACCESSDENIED;

using Operation = std::function<HRESULT(IzMUDPlugin* plugin, LONG handle)>;

Operation CommandCall(std::u16string_view text, LONG id = kCommandId) {
    return [text, id](IzMUDPlugin* plugin, LONG handle) {
        const com::UniqueBstr command = Text(text);
        VARIANT unused;
        ::VariantInit(&unused);
        return plugin->plugCommand(handle, id, command.get(), unused);
    };
}

struct Scenario {
    const char* name;
    std::optional<std::u16string> stored;  // the flag before; nothing: no variable yet
    bool before;                           // Enabled before
    Operation call;
};

const Scenario kScenarios[] = {
    {"first connect", std::nullopt, false,
     [](IzMUDPlugin* plugin, LONG handle) { return plugin->OnConnect(handle); }},
    {"connect with False", u"False", true,
     [](IzMUDPlugin* plugin, LONG handle) { return plugin->OnConnect(handle); }},
    {"connect with 1", u"1", false,
     [](IzMUDPlugin* plugin, LONG handle) { return plugin->OnConnect(handle); }},
    {"disconnect", u"x", true,
     [](IzMUDPlugin* plugin, LONG handle) { return plugin->OnDisconnect(handle); }},
    {"help", u"x", false, CommandCall(u"help")},
    {"status", u"x", true, CommandCall(u"status")},
    {"on", u"x", false, CommandCall(u"on")},
    {"off", u"x", true, CommandCall(u"off")},
    {"no word", u"x", false, CommandCall(u"toggle")},
    {"other identifier", u"x", false, CommandCall(u"on", 9)},
    {"palette", u"x", true, CommandCall(u"palette colourblind")},
    {"tags", u"x", false, CommandCall(u"tags on")},
};

class HostFailureTest : public HostedPluginTest {
  protected:
    struct Outcome {
        HRESULT result = S_OK;
        std::vector<HostOperation> calls;
        std::vector<bool> appearance_reads;  // by call
        std::vector<DisplayedLine> shown;
        std::optional<StoredVariable> flag;
        bool enabled = false;
    };

    // One run of the scenario on a new object and a new session; fault: the failing call, 0 none.
    Outcome Run(const Scenario& scenario, unsigned fault) {
        plugin_.reset();
        EXPECT_EQ(S_OK, CreateFromModule(CLSID_BrawlhueClass, plugin_));
        SetColouring(scenario.before);
        const LONG handle = ++last_handle_;
        const SessionId session = host_.OpenSession(handle);
        if (scenario.stored) {
            StoreFlag(session, *scenario.stored);
        }
        const long resting_objects = host_.LiveObjects();
        host_.ResetCalls();
        if (fault != 0) {
            host_.FailNthCallOfAny(fault, kInjected);
        }
        Outcome outcome;
        outcome.result = scenario.call(plugin_.get(), handle);
        host_.ClearFaults();
        for (const host::HostCall& call : host_.CallLog()) {
            outcome.calls.push_back(call.operation);
            outcome.appearance_reads.push_back(ReadsAnAppearanceChoice(call));
        }
        outcome.shown = TakeShown(session);
        outcome.flag = Flag(session);
        outcome.enabled = Colouring();
        EXPECT_EQ(resting_objects, host_.LiveObjects()) << "references left over";
        // Still usable: the status command answers for the flag as it now is.
        EXPECT_EQ(S_OK, Command(handle, u"status"));
        const std::vector<DisplayedLine> status = TakeShown(session);
        EXPECT_EQ(outcome.enabled ? kEnabledStatus : kDisabledStatus, status.at(1).text);
        host_.CloseSession(session);
        return outcome;
    }

    static constexpr std::u16string_view kEnabledStatus = u"Brawlhue: Enabled.";
    static constexpr std::u16string_view kDisabledStatus = u"Brawlhue: Disabled.";
    LONG last_handle_ = 100;
};

TEST_F(HostFailureTest, EachHostCallFailingInTurn) {
    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.name);
        const Outcome clean = Run(scenario, 0);
        ASSERT_EQ(S_OK, clean.result);
        ASSERT_FALSE(clean.calls.empty());
        const auto first_save =
            std::find(clean.calls.begin(), clean.calls.end(), HostOperation::kSetVariable) -
            clean.calls.begin();
        const std::optional<StoredVariable> initial_flag =
            scenario.stored ? std::optional(StoredVariable{*scenario.stored, *scenario.stored})
                            : std::nullopt;

        for (unsigned fault = 1; fault <= clean.calls.size(); ++fault) {
            SCOPED_TRACE(fault);
            const Outcome failed = Run(scenario, fault);
            if (clean.appearance_reads[fault - 1]) {
                // A choice that cannot be read is left at its default: the connect goes on and
                // answers as it does for a host that keeps no choices.
                EXPECT_EQ(S_OK, failed.result);
                EXPECT_EQ(clean.calls, failed.calls);
                EXPECT_EQ(clean.shown, failed.shown);
                EXPECT_EQ(clean.flag, failed.flag);
                EXPECT_EQ(clean.enabled, failed.enabled);
                continue;
            }
            EXPECT_EQ(kInjected, failed.result);
            // The same calls up to the failing one, and none after it.
            EXPECT_EQ(std::vector(clean.calls.begin(), clean.calls.begin() + fault), failed.calls);
            const auto lines_before = std::count(
                clean.calls.begin(), clean.calls.begin() + fault - 1, HostOperation::kDisplayText);
            EXPECT_EQ(std::vector(clean.shown.begin(), clean.shown.begin() + lines_before),
                      failed.shown);
            // A save that did not happen left the variable as it was.
            const bool saved = first_save < static_cast<long>(fault) - 1;
            EXPECT_EQ(saved ? clean.flag : initial_flag, failed.flag);
            // on and off switch once the session is found, before saving; connect only changes
            // the flag when it got through.
            const bool switched =
                scenario.name == std::string("on") || scenario.name == std::string("off");
            EXPECT_EQ(switched && first_save <= static_cast<long>(fault) - 1 ? clean.enabled
                                                                             : scenario.before,
                      failed.enabled);
        }
    }
}

}  // namespace
}  // namespace brawlhue::testing
