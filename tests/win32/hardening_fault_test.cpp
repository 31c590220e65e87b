// Every host call of every plug-in operation made to fail in turn, and every allocation refused in
// turn. The operation returns exactly that failure; it has shown only the lines before it and has
// switched and stored the flag only as far as it got; a received line is either rebuilt whole or
// left alone; nothing leaks (host objects, task memory, the module's own heap); no structured
// exception is raised; and the object answers the same call again as if nothing had happened.
// The one exception: a connect's read of the palette and tags choices, which fails nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hardening_support.h"

namespace brawlhue::hardening {
namespace {

using Call = std::function<HRESULT(IzMUDPlugin* plugin, LONG handle)>;

Call Connect() {
    return [](IzMUDPlugin* plugin, LONG handle) { return plugin->OnConnect(handle); };
}

Call Disconnect() {
    return [](IzMUDPlugin* plugin, LONG handle) { return plugin->OnDisconnect(handle); };
}

// The command's text is made once, ahead of any run: only the plug-in's requests for memory are
// counted and refused.
Call CommandCall(std::u16string_view text, LONG id = kCommandId) {
    const auto command = std::make_shared<UniqueBstr>(UniqueBstr::Copy(text));
    return [command, id](IzMUDPlugin* plugin, LONG handle) {
        VARIANT unused;
        ::VariantInit(&unused);
        return plugin->plugCommand(handle, id, command->get(), unused);
    };
}

struct Scenario {
    const char* name;
    std::optional<std::u16string_view> stored;  // the session's flag before; nothing: none yet
    bool enabled_before;
    std::optional<bool> switches_to;  // on and off: Enabled as soon as the session is found
    Call call;
};

const Scenario kScenarios[] = {
    {"first connect", std::nullopt, false, std::nullopt, Connect()},
    {"connect with False stored", u"False", true, std::nullopt, Connect()},
    {"connect with -1 stored", u"-1", false, std::nullopt, Connect()},
    {"disconnect", u"False", true, std::nullopt, Disconnect()},
    {"help", u"True", false, std::nullopt, CommandCall(u"Help me")},
    {"status while on", u"True", true, std::nullopt, CommandCall(u"status")},
    {"status while off", u"True", false, std::nullopt, CommandCall(u"STATUS")},
    {"on", u"False", false, true, CommandCall(u"on")},
    {"off", u"True", true, false, CommandCall(u"Off")},
    {"no word", u"True", true, std::nullopt, CommandCall(u"toggle")},
    {"empty command", u"True", false, std::nullopt, CommandCall(u"")},
    {"other identifier", u"True", false, std::nullopt, CommandCall(u"on", 7)},
    {"negative identifier", u"True", true, std::nullopt, CommandCall(u"help", -20351)},
    // Choices that store and confirm, yet leave the probe's own hit as the default colours it.
    {"palette", u"True", true, std::nullopt, CommandCall(u"palette Classic")},
    {"palette list", u"True", false, std::nullopt, CommandCall(u"Palette")},
    {"tags", u"False", false, std::nullopt, CommandCall(u"tags OFF")},
};

// How many sessions stand before the one the call names: the lookup loop runs longer behind
// others, and each of its steps is a call that can fail.
struct Layout {
    const char* name;
    int sessions_before;
};
constexpr Layout kLayouts[] = {{"alone", 0}, {"third of three", 2}};

// A spread of failure codes, so that a code cannot come back by accident.
constexpr HRESULT kCodes[] = {
    E_ACCESSDENIED,
    E_FAIL,
    RPC_E_DISCONNECTED,
    DISP_E_EXCEPTION,
    E_OUTOFMEMORY,
    static_cast<HRESULT>(0x80040201),
    MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x1234),
};

enum class FaultKind { kNone, kHostCall, kTaskMemory, kOperatorNew };

struct Fault {
    FaultKind kind = FaultKind::kNone;
    unsigned long n = 0;  // the n-th call or request of the operation fails
    HRESULT code = S_OK;  // what the operation must return
};

constexpr const char* kKinds[] = {"none", "host call", "task memory request", "operator new"};

std::string Describe(const Fault& fault) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %lu failing with %08lx",
                  kKinds[static_cast<int>(fault.kind)], fault.n,
                  static_cast<unsigned long>(fault.code));
    return text;
}

bool IsLookup(HostOperation operation) {
    return operation == HostOperation::kCount || operation == HostOperation::kItem ||
           operation == HostOperation::kSessionHandle;
}

template <typename Value>
bool StartsWith(const std::vector<Value>& whole, const std::vector<Value>& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// Faults injected and survived by the tests of this file, for the closing figures.
unsigned long injected_host_faults = 0;
unsigned long injected_memory_faults = 0;

class FaultInjectionTest : public ::testing::TestWithParam<const wchar_t*> {
  protected:
    struct Outcome {
        HRESULT result = S_OK;
        std::vector<HostOperation> calls;
        std::vector<bool> appearance_reads;  // by call
        std::vector<DisplayedLine> shown;
        std::optional<StoredVariable> flag;
        bool enabled = false;
        unsigned long task_requests = 0;
        unsigned long new_requests = 0;
    };

    // The calls, less a connect's reads of the palette and tags choices.
    static std::vector<HostOperation> WithoutChoiceReads(const Outcome& outcome) {
        std::vector<HostOperation> calls;
        for (std::size_t i = 0; i < outcome.calls.size(); ++i) {
            if (!outcome.appearance_reads[i]) {
                calls.push_back(outcome.calls[i]);
            }
        }
        return calls;
    }

    void SetUp() override {
        ASSERT_EQ(S_OK, apartment_.result());
        ASSERT_EQ(S_OK, spied_.registered());
        hosted_.emplace(module());
        ASSERT_NE(nullptr, hosted_->plugin());
    }

    void TearDown() override {
        hosted_.reset();
        EXPECT_EQ(0, spy().LiveBlocks()) << "task memory left over";
        EXPECT_EQ(0u, spy().StrayFrees());
        EXPECT_EQ(S_OK, spied_.Revoke());
        EXPECT_EQ(S_OK, module().CanUnloadNow());
        EXPECT_EQ(0u, exceptions_.Count()) << exceptions_.Describe();
    }

    const LoadedModule& module() const { return LoadedModule::Get(GetParam()); }
    AllocationProbe* probe() const { return module().Allocations(); }
    TaskMemorySpy& spy() const { return TaskMemorySpy::Instance(); }
    host::StandinHost& host() { return hosted_->host(); }

    // Every leak counter that can move, read at rest.
    struct Resting {
        long host_objects;
        long task_blocks;
        long new_blocks;
    };
    Resting AtRest() {
        return {host().LiveObjects(), spy().LiveBlocks(), probe() ? probe()->live_blocks : 0};
    }
    void ExpectSameRest(const Resting& before) {
        const Resting now = AtRest();
        EXPECT_EQ(before.host_objects, now.host_objects) << "host references left over";
        EXPECT_EQ(before.task_blocks, now.task_blocks) << "BSTRs or task memory left over";
        EXPECT_EQ(before.new_blocks, now.new_blocks) << "the module's own heap blocks left over";
    }

    // Arms the fault and starts the counts of requests.
    void Arm(const Fault& fault) {
        host().ResetCalls();
        spy().ResetCounts();
        if (probe()) {
            probe_allocations_ = probe()->allocations;
            probe_refused_ = probe()->refused;
        }
        switch (fault.kind) {
            case FaultKind::kNone:
                break;
            case FaultKind::kHostCall:
                host().FailNthCallOfAny(fault.n, fault.code);
                ++injected_host_faults;
                break;
            case FaultKind::kTaskMemory:
                spy().RefuseNthRequest(fault.n);
                ++injected_memory_faults;
                break;
            case FaultKind::kOperatorNew:
                probe()->refuse_countdown = fault.n;
                ++injected_memory_faults;
                break;
        }
    }
    // Disarms every fault; the requests made since Arm go into the outcome.
    void Disarm(Outcome& outcome) {
        host().ClearFaults();
        outcome.task_requests = spy().Requests();
        spy().RefuseNthRequest(0);
        if (probe()) {
            probe()->refuse_countdown = 0;
            outcome.new_requests =
                (probe()->allocations - probe_allocations_) + (probe()->refused - probe_refused_);
        }
        for (const host::HostCall& call : host().CallLog()) {
            outcome.calls.push_back(call.operation);
            outcome.appearance_reads.push_back(ReadsAnAppearanceChoice(call));
        }
    }

    // The faults to try after a clean run: each host call, each task memory request and each
    // operator new of the operation, in turn.
    std::vector<Fault> FaultsAfter(const Outcome& clean) const {
        std::vector<Fault> faults;
        for (unsigned long n = 1; n <= clean.calls.size(); ++n) {
            faults.push_back({FaultKind::kHostCall, n, kCodes[n % std::size(kCodes)]});
        }
        for (unsigned long n = 1; n <= clean.task_requests; ++n) {
            faults.push_back({FaultKind::kTaskMemory, n, E_OUTOFMEMORY});
        }
        for (unsigned long n = 1; n <= clean.new_requests; ++n) {
            faults.push_back({FaultKind::kOperatorNew, n, E_OUTOFMEMORY});
        }
        return faults;
    }

    // One run of the scenario on a new object; with a clean outcome given, the same call is made
    // again without fault and must give what the clean run gave.
    Outcome Run(const Scenario& scenario, const Layout& layout, const Fault& fault,
                const Outcome* clean) {
        Outcome outcome;
        EXPECT_TRUE(hosted_->Renew());
        hosted_->SetColouring(scenario.enabled_before);
        std::vector<SessionId> others;
        for (int i = 0; i < layout.sessions_before; ++i) {
            others.push_back(host().OpenSession(9000 + i));
        }
        const LONG handle = ++last_handle_;
        const SessionId session = host().OpenSession(handle);
        if (scenario.stored) {
            hosted_->StoreFlag(session, *scenario.stored);
        }
        const Resting resting = AtRest();

        Arm(fault);
        outcome.result = scenario.call(hosted_->plugin(), handle);
        Disarm(outcome);

        outcome.shown = hosted_->TakeShown(session);
        outcome.flag = hosted_->Flag(session);
        ExpectSameRest(resting);
        for (const SessionId other : others) {
            EXPECT_TRUE(hosted_->TakeShown(other).empty()) << "a line in another session";
        }
        outcome.enabled = hosted_->Colouring();

        if (clean != nullptr) {
            EXPECT_EQ(S_OK, scenario.call(hosted_->plugin(), handle)) << "the call made again";
            EXPECT_EQ(clean->shown, hosted_->TakeShown(session));
            EXPECT_EQ(clean->flag, hosted_->Flag(session));
            EXPECT_EQ(clean->enabled, hosted_->Colouring());
            ExpectSameRest(resting);
        }
        for (const SessionId other : others) {
            host().CloseSession(other);
        }
        host().CloseSession(session);
        return outcome;
    }

    Apartment apartment_;
    FirstChanceExceptions exceptions_;
    SpiedTaskMemory spied_;
    std::optional<HostedPlugin> hosted_;
    LONG last_handle_ = 100;
    unsigned long probe_allocations_ = 0;
    unsigned long probe_refused_ = 0;
};

TEST_P(FaultInjectionTest, OperationsThatCallTheHostFailWhereTheFaultIs) {
    for (const Layout& layout : kLayouts) {
        for (const Scenario& scenario : kScenarios) {
            SCOPED_TRACE(std::string(scenario.name) + ", session " + layout.name);
            const Outcome clean = Run(scenario, layout, {}, nullptr);
            ASSERT_EQ(S_OK, clean.result);
            ASSERT_FALSE(clean.calls.empty());
            ASSERT_FALSE(clean.shown.empty() && clean.flag == std::nullopt);
            const std::optional<StoredVariable> initial_flag =
                scenario.stored ? std::optional(StoredVariable{std::u16string(*scenario.stored),
                                                               std::u16string(*scenario.stored)})
                                : std::nullopt;
            const auto lookup_length = static_cast<unsigned long>(
                std::find_if_not(clean.calls.begin(), clean.calls.end(), IsLookup) -
                clean.calls.begin());

            // A connect's read of a palette or tags choice that fails, for whatever reason,
            // leaves the choice at its default and fails nothing. The read comes last, so the
            // refused memory requests that a connect survives are its last ones, of each kind.
            const bool reads_choices =
                std::ranges::find(clean.appearance_reads, true) != clean.appearance_reads.end();
            std::optional<unsigned long> first_survived[std::size(kKinds)];
            for (const Fault& fault : FaultsAfter(clean)) {
                SCOPED_TRACE(Describe(fault));
                const Outcome failed = Run(scenario, layout, fault, &clean);
                const bool memory = fault.kind != FaultKind::kHostCall;
                const bool survived = memory ? reads_choices && failed.result == S_OK
                                             : clean.appearance_reads[fault.n - 1];
                std::optional<unsigned long>& first = first_survived[static_cast<int>(fault.kind)];
                if (memory && survived && !first) {
                    first = fault.n;
                }
                EXPECT_EQ(survived ? S_OK : fault.code, failed.result);
                EXPECT_FALSE(memory && first && !survived) << "a request refused after the read";
                if (survived) {
                    EXPECT_EQ(WithoutChoiceReads(clean), WithoutChoiceReads(failed));
                    EXPECT_EQ(clean.shown, failed.shown);
                    EXPECT_EQ(clean.flag, failed.flag);
                    EXPECT_EQ(clean.enabled, failed.enabled);
                    continue;
                }
                EXPECT_TRUE(StartsWith(clean.calls, failed.calls)) << "calls out of order";
                EXPECT_TRUE(StartsWith(clean.shown, failed.shown)) << "lines out of order";
                EXPECT_TRUE(failed.flag == initial_flag || failed.flag == clean.flag);
                EXPECT_TRUE(failed.enabled == scenario.enabled_before ||
                            failed.enabled == clean.enabled);
                if (memory) {
                    continue;
                }
                // A failed host call is the last call, and what it would have done is undone
                // nowhere because it never happened.
                const auto done = clean.calls.begin() + static_cast<long>(fault.n) - 1;
                EXPECT_EQ(std::vector(clean.calls.begin(), done + 1), failed.calls);
                const auto lines_before =
                    std::count(clean.calls.begin(), done, HostOperation::kDisplayText);
                EXPECT_EQ(std::vector(clean.shown.begin(), clean.shown.begin() + lines_before),
                          failed.shown);
                const bool saved =
                    std::find(clean.calls.begin(), done, HostOperation::kSetVariable) != done;
                EXPECT_EQ(saved ? clean.flag : initial_flag, failed.flag);
                // on and off switch once the session is found, before they save; every other
                // operation changes Enabled only after its last host call has succeeded.
                const bool switched = scenario.switches_to && fault.n > lookup_length;
                EXPECT_EQ(switched ? *scenario.switches_to : scenario.enabled_before,
                          failed.enabled);
            }
            // The read copies the variables' names into task memory: some refusal hits it.
            EXPECT_EQ(reads_choices,
                      first_survived[static_cast<int>(FaultKind::kTaskMemory)].has_value());
        }
    }
}

// The two classes' construction calls the host once, to create its session collection.
TEST_P(FaultInjectionTest, ConstructionFailsWithNothingLeftBehind) {
    hosted_->Drop();
    struct Creatable {
        const char* name;
        const CLSID* clsid;
        const IID* iid;
    };
    for (const Creatable& creatable :
         {Creatable{"BrawlhueClass", &CLSID_BrawlhueClass, &IID_IzMUDPlugin},
          Creatable{"Tools", &CLSID_Tools, &IID__Tools}}) {
        SCOPED_TRACE(creatable.name);
        ComRef<IClassFactory> factory;
        ASSERT_EQ(S_OK, module().GetClassObject(*creatable.clsid, IID_IClassFactory,
                                                reinterpret_cast<void**>(factory.put())));
        const Resting resting = AtRest();
        const auto create = [&](const Fault& fault) {
            Outcome outcome;
            Arm(fault);
            ComRef<IUnknown> object;
            outcome.result = factory->CreateInstance(nullptr, *creatable.iid,
                                                     reinterpret_cast<void**>(object.put()));
            Disarm(outcome);
            EXPECT_EQ(SUCCEEDED(outcome.result), static_cast<bool>(object));
            return outcome;
        };
        const Outcome clean = create({});
        ASSERT_EQ(S_OK, clean.result);
        ASSERT_EQ(std::vector{HostOperation::kCreateSessions}, clean.calls);
        ExpectSameRest(resting);
        for (const Fault& fault : FaultsAfter(clean)) {
            SCOPED_TRACE(Describe(fault));
            EXPECT_EQ(fault.code, create(fault).result);
            ExpectSameRest(resting);
            EXPECT_EQ(S_OK, create({}).result) << "made again";
            ExpectSameRest(resting);
        }
        factory.reset();
        EXPECT_EQ(S_OK, module().CanUnloadNow());
    }
}

TEST_P(FaultInjectionTest, GetSessionFailsWithNoSessionAndTheHandleUnchanged) {
    hosted_->Drop();
    ComRef<_Tools> tools;
    ASSERT_EQ(S_OK, module().Create(CLSID_Tools, tools));
    constexpr LONG kWanted = 42;
    struct SessionLayout {
        const char* name;
        std::vector<LONG> handles;  // the open sessions, in the collection's order
        std::optional<std::size_t> found;
    };
    const SessionLayout layouts[] = {
        {"no sessions", {}, std::nullopt},      {"alone", {kWanted}, 0},
        {"third of three", {7, 8, kWanted}, 2}, {"missing among three", {7, 8, 9}, std::nullopt},
        {"twice", {kWanted, kWanted}, 0},
    };
    for (const SessionLayout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        std::vector<SessionId> sessions;
        for (const LONG handle : layout.handles) {
            sessions.push_back(host().OpenSession(handle));
        }
        const Resting resting = AtRest();
        // Which session the result is, by the line it shows; nothing: no result.
        const auto lookup = [&](const Fault& fault, std::optional<std::size_t>& which) {
            Outcome outcome;
            LONG handle = kWanted;
            HostSession* found = reinterpret_cast<HostSession*>(&handle);
            Arm(fault);
            outcome.result = tools->GetSession(&handle, &found);
            Disarm(outcome);
            EXPECT_EQ(kWanted, handle);
            which.reset();
            if (found != nullptr) {
                const ComRef<HostSession> session = ComRef<HostSession>::Attach(found);
                const UniqueBstr probe_line = UniqueBstr::Copy(u"which");
                EXPECT_EQ(S_OK, session->DisplayText(probe_line.get(), 131));
                for (std::size_t i = 0; i < sessions.size(); ++i) {
                    if (!hosted_->TakeShown(sessions[i]).empty()) {
                        which = i;
                    }
                }
            }
            return outcome;
        };
        std::optional<std::size_t> which;
        const Outcome clean = lookup({}, which);
        ASSERT_EQ(S_OK, clean.result);
        EXPECT_EQ(layout.found, which);
        ExpectSameRest(resting);
        for (const Fault& fault : FaultsAfter(clean)) {
            SCOPED_TRACE(Describe(fault));
            EXPECT_EQ(fault.code, lookup(fault, which).result);
            EXPECT_EQ(std::nullopt, which) << "a session handed out with a failure";
            ExpectSameRest(resting);
            EXPECT_EQ(S_OK, lookup({}, which).result) << "looked up again";
            EXPECT_EQ(layout.found, which);
            ExpectSameRest(resting);
        }
        for (const SessionId session : sessions) {
            host().CloseSession(session);
        }
    }
}

// Parse and GetNonPrompt call no host: their only failure is exhausted memory, and it leaves the
// caller's texts exactly as they were.
TEST_P(FaultInjectionTest, RefusedMemoryLeavesTheLineAsItWas) {
    hosted_->SetColouring(true);
    ComRef<_Tools> tools;
    ASSERT_EQ(S_OK, module().Create(CLSID_Tools, tools));
    const std::u16string lines[] = {
        std::u16string(kOwnHit),
        u"> " + std::u16string(kOwnHit),
        u"* HP:12 SP:7 > ] " + std::u16string(kOwnHit),
        u"> > The room is quiet.",
        u"",
    };
    for (const std::u16string& text : lines) {
        SCOPED_TRACE(Printable(text));
        const Resting resting = AtRest();
        const auto parse = [&](const Fault& fault) {
            Outcome outcome;
            BSTR line = UniqueBstr::Copy(text).release();
            const BSTR passed = line;
            LONG gag = 13;
            VARIANT_BOOL update = 5;
            Arm(fault);
            outcome.result = hosted_->plugin()->Parse(1, &line, VARIANT_TRUE, &gag, &update);
            Disarm(outcome);
            const UniqueBstr result(line);
            EXPECT_EQ(13, gag);
            if (FAILED(outcome.result)) {
                EXPECT_EQ(passed, line) << "P replaced by a failing Parse";
                EXPECT_EQ(text, result.view());
                EXPECT_EQ(5, update) << "DoUpdate written by a failing Parse";
            }
            return outcome;
        };
        const auto strip = [&](const Fault& fault) {
            Outcome outcome;
            BSTR line = UniqueBstr::Copy(text).release();
            const BSTR passed = line;
            BSTR message = line;  // anything but null, to see it cleared
            Arm(fault);
            outcome.result = tools->GetNonPrompt(&line, &message);
            Disarm(outcome);
            const UniqueBstr own(line);
            EXPECT_EQ(passed, line);
            EXPECT_EQ(text, own.view());
            if (FAILED(outcome.result)) {
                EXPECT_EQ(nullptr, message) << "a result with a failure";
            } else {
                ::SysFreeString(message);
            }
            return outcome;
        };
        // A coloured line is built as one new text, and so is every stripped message: the clean
        // run must have made it for the faults below to refuse it.
        const bool coloured = text.ends_with(kOwnHit);
        const std::pair<std::function<Outcome(const Fault&)>, bool> operations[] = {
            {parse, coloured},
            {strip, true},
        };
        for (const auto& [operation, makes_text] : operations) {
            const Outcome clean = operation({});
            ASSERT_EQ(S_OK, clean.result);
            EXPECT_TRUE(clean.calls.empty()) << "a call into the host";
            EXPECT_EQ(makes_text ? 1u : 0u, clean.task_requests);
            ExpectSameRest(resting);
            for (const Fault& fault : FaultsAfter(clean)) {
                SCOPED_TRACE(Describe(fault));
                EXPECT_EQ(E_OUTOFMEMORY, operation(fault).result);
                ExpectSameRest(resting);
                EXPECT_EQ(S_OK, operation({}).result);
                ExpectSameRest(resting);
            }
        }
    }
}

// The operations that answer with texts of their own: a refused allocation fails them, and the
// out-parameters written before it hold whole texts.
TEST_P(FaultInjectionTest, RefusedMemoryFailsTheOperationsThatAnswerWithText) {
    BSTR sentinel_storage = nullptr;
    const BSTR sentinel = reinterpret_cast<BSTR>(&sentinel_storage);
    const UniqueBstr anything = UniqueBstr::Copy(u"anything");
    using Answer = std::function<HRESULT(IzMUDPlugin*, std::vector<BSTR>&)>;
    struct Operation {
        const char* name;
        std::size_t texts;  // text out-parameters, in the order they are written
        Answer call;
    };
    const Operation operations[] = {
        {"Register", 4,
         [](IzMUDPlugin* plugin, std::vector<BSTR>& out) {
             BSTR version = nullptr;
             VARIANT_BOOL load_def = VARIANT_FALSE;
             const HRESULT result =
                 plugin->Register(&out[0], &out[1], &out[2], &version, &out[3], &load_def);
             EXPECT_EQ(nullptr, version);
             return result;
         }},
        {"AddCommands", 1,
         [](IzMUDPlugin* plugin, std::vector<BSTR>& out) {
             LONG version = 0;
             return plugin->AddCommands(&out[0], &version);
         }},
        {"plugFunction", 1,
         [&anything](IzMUDPlugin* plugin, std::vector<BSTR>& out) {
             const UniqueBstr& text = anything;
             VARIANT unused;
             ::VariantInit(&unused);
             return plugin->plugFunction(1, kCommandId, text.get(), unused, &out[0]);
         }},
        {"SaveSettings", 1,
         [](IzMUDPlugin* plugin, std::vector<BSTR>& out) {
             return plugin->get_SaveSettings(&out[0]);
         }},
    };
    for (const Operation& operation : operations) {
        SCOPED_TRACE(operation.name);
        const Resting resting = AtRest();
        const auto answer = [&](const Fault& fault) {
            Outcome outcome;
            std::vector<BSTR> out(operation.texts, sentinel);
            Arm(fault);
            outcome.result = operation.call(hosted_->plugin(), out);
            Disarm(outcome);
            const auto written = std::find(out.begin(), out.end(), sentinel);
            EXPECT_TRUE(std::all_of(written, out.end(), [&](BSTR b) { return b == sentinel; }))
                << "a later out-parameter written before an earlier one";
            if (SUCCEEDED(outcome.result)) {
                EXPECT_EQ(out.end(), written);
            }
            std::for_each(out.begin(), written, [](BSTR b) { ::SysFreeString(b); });
            return outcome;
        };
        const Outcome clean = answer({});
        ASSERT_EQ(S_OK, clean.result);
        ASSERT_GE(clean.task_requests, operation.texts);
        ExpectSameRest(resting);
        for (const Fault& fault : FaultsAfter(clean)) {
            SCOPED_TRACE(Describe(fault));
            EXPECT_EQ(E_OUTOFMEMORY, answer(fault).result);
            ExpectSameRest(resting);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, FaultInjectionTest,
                         ::testing::Values(kShippedModule, kCountedModule),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return std::string(info.param == kShippedModule ? "Shipped"
                                                                             : "Counted");
                         });

// The figures for the record, once every test of the file has run.
class FaultFigures : public ::testing::Environment {
  public:
    void TearDown() override {
        std::printf("[ figures  ] %lu host call faults and %lu refused allocations injected\n",
                    injected_host_faults, injected_memory_faults);
    }
};
const auto* const kFaultFigures = ::testing::AddGlobalTestEnvironment(new FaultFigures);

}  // namespace
}  // namespace brawlhue::hardening
