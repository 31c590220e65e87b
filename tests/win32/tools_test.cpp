// Tools: the prompt stripper and the session lookup, through the vtable and through IDispatch as a
// script host calls them.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>

#include <string>
#include <vector>

#include "hosted_plugin.h"
#include "registry_snapshot.h"

namespace brawlhue::testing {
namespace {

using com::ComRef;
using host::HostCall;

constexpr HRESULT kInjected = E_ACCESSDENIED;

class ToolsTest : public HostedPluginTest {
  protected:
    void SetUp() override {
        HostedPluginTest::SetUp();
        ASSERT_EQ(S_OK, CreateFromModule(CLSID_Tools, tools_));
        host_.ResetCalls();
        resting_objects_ = host_.LiveObjects();
    }
    void TearDown() override {
        tools_.reset();
        HostedPluginTest::TearDown();
    }
    // GetSession through the vtable.
    HRESULT Lookup(LONG handle, ComRef<HostSession>& session) {
        LONG passed = handle;
        const HRESULT result = tools_->GetSession(&passed, session.put());
        EXPECT_EQ(handle, passed) << "the handle is never changed";
        return result;
    }
    // Which of the given sessions the found one is.
    std::optional<SessionId> Which(HostSession* found, std::initializer_list<SessionId> among) {
        if (found == nullptr) {
            return std::nullopt;
        }
        EXPECT_EQ(S_OK, found->DisplayText(Text(u"marker").get(), 1));
        for (SessionId session : among) {
            if (!TakeShown(session).empty()) {
                return session;
            }
        }
        return std::nullopt;
    }
    std::vector<HostCall> ItemCalls() const {
        std::vector<HostCall> items;
        for (const HostCall& call : host_.CallLog()) {
            if (call.operation == HostOperation::kItem) {
                items.push_back(call);
            }
        }
        return items;
    }

    ComRef<_Tools> tools_;
    long resting_objects_ = 0;  // the collections that the two Tools objects hold
};

TEST_F(ToolsTest, GetNonPromptStripsEveryLeadingPrompt) {
    const struct {
        const char16_t* line;
        const char16_t* message;
    } cases[] = {
        {u"> > You hit", u"You hit"},
        {u"* HP:12 > The orc flees.", u"The orc flees."},
        {u"R has arrived.", u"R has arrived."},
        {u"> ", u""},
        {u"", u""},
    };
    for (const auto& test : cases) {
        BSTR line = Text(test.line).release();
        const BSTR passed = line;
        BSTR message = nullptr;
        ASSERT_EQ(S_OK, tools_->GetNonPrompt(&line, &message));
        EXPECT_EQ(std::u16string_view(test.message), com::TextOf(message));
        ASSERT_NE(nullptr, message);
        EXPECT_EQ(passed, line);
        EXPECT_EQ(std::u16string_view(test.line), com::TextOf(line));
        ::SysFreeString(message);
        ::SysFreeString(line);
    }
    BSTR null_line = nullptr;
    BSTR message = nullptr;
    ASSERT_EQ(S_OK, tools_->GetNonPrompt(&null_line, &message));
    EXPECT_EQ(0u, ::SysStringLen(message));
    ::SysFreeString(message);
    EXPECT_EQ(E_POINTER, tools_->GetNonPrompt(nullptr, &message));
    EXPECT_EQ(E_POINTER, tools_->GetNonPrompt(&null_line, nullptr));
    EXPECT_EQ(0u, host_.TotalCallCount());
}

TEST_F(ToolsTest, GetSessionFindsTheFirstSessionWithTheHandle) {
    const SessionId first = host_.OpenSession(7);
    const SessionId twin = host_.OpenSession(7);
    const SessionId last = host_.OpenSession(-2);
    struct Case {
        LONG handle;
        std::optional<SessionId> found;
        std::vector<LONG> items;  // the indexes Item is asked for, in order
    };
    for (const Case& test : {
             Case{7, first, {0, 0}},
             Case{-2, last, {0, 1, 2, 2}},
             Case{0, std::nullopt, {0, 1, 2}},
             Case{8, std::nullopt, {0, 1, 2}},
             Case{-7, std::nullopt, {0, 1, 2}},
         }) {
        SCOPED_TRACE(test.handle);
        host_.ResetCalls();
        ComRef<HostSession> session;
        ASSERT_EQ(S_OK, Lookup(test.handle, session));
        std::vector<LONG> items;
        for (const HostCall& call : ItemCalls()) {
            items.push_back(call.index);
        }
        EXPECT_EQ(test.items, items);
        EXPECT_EQ(1u, host_.CallCount(HostOperation::kCount));
        EXPECT_EQ(test.found, Which(session.get(), {first, twin, last}));
        session.reset();
        EXPECT_EQ(resting_objects_, host_.LiveObjects()) << "no session is kept";
    }
}

TEST_F(ToolsTest, GetSessionWithNoSessionsNeverAsksForOne) {
    host_.OpenSession(3);
    for (LONG reported : {0, -1, -100}) {
        host_.SetReportedCount(reported);
        host_.ResetCalls();
        ComRef<HostSession> session;
        ASSERT_EQ(S_OK, Lookup(3, session));
        EXPECT_FALSE(session);
        EXPECT_EQ(0u, host_.CallCount(HostOperation::kItem));
    }
}

TEST_F(ToolsTest, GetSessionPassesHostFailuresOn) {
    host_.OpenSession(1);
    host_.OpenSession(2);
    // Count said more than there are: the lookup runs into the host's refusal.
    host_.SetReportedCount(3);
    ComRef<HostSession> session;
    EXPECT_EQ(host::kNoSuchSession, Lookup(99, session));
    EXPECT_FALSE(session);
    host_.SetReportedCount(std::nullopt);
    for (HostOperation operation :
         {HostOperation::kCount, HostOperation::kItem, HostOperation::kSessionHandle}) {
        for (unsigned call = 1; call <= 3; ++call) {
            host_.ClearFaults();
            host_.FailNthCall(operation, call, kInjected);
            const HRESULT result = Lookup(2, session);
            const bool reached = call <= (operation == HostOperation::kCount           ? 1u
                                          : operation == HostOperation::kSessionHandle ? 2u
                                                                                       : 3u);
            EXPECT_EQ(reached ? kInjected : S_OK, result) << host::OperationName(operation) << call;
            EXPECT_EQ(!reached, static_cast<bool>(session));
            session.reset();
            EXPECT_EQ(resting_objects_, host_.LiveObjects());
        }
    }
    host_.ClearFaults();
    LONG handle = 1;
    EXPECT_EQ(E_POINTER, tools_->GetSession(nullptr, session.put()));
    EXPECT_EQ(E_POINTER, tools_->GetSession(&handle, nullptr));
}

TEST_F(ToolsTest, ConstructionFailsWithTheHostsStatus) {
    host_.FailNthCall(HostOperation::kCreateSessions, 1, kInjected);
    ComRef<_Tools> tools;
    EXPECT_EQ(kInjected, CreateFromModule(CLSID_Tools, tools));
    host_.FailNthCall(HostOperation::kCreateSessions, 1, kInjected);
    ComRef<IzMUDPlugin> plugin;
    EXPECT_EQ(kInjected, CreateFromModule(CLSID_BrawlhueClass, plugin));
    EXPECT_FALSE(tools || plugin);
}

// A script host's way in: names, then Invoke with variants.
class ToolsDispatchTest : public ToolsTest {
  protected:
    DISPID IdOf(const wchar_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(S_OK, tools_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        return id;
    }
    HRESULT Call(const wchar_t* name, VARIANT& argument, VARIANT& result) {
        DISPPARAMS parameters{&argument, nullptr, 1, 0};
        ::VariantInit(&result);
        return tools_->Invoke(IdOf(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                              &parameters, &result, nullptr, nullptr);
    }
};

TEST_F(ToolsDispatchTest, GetNonPromptTakesTextByValueOrReference) {
    EXPECT_EQ(1, IdOf(L"GetNonPrompt"));
    EXPECT_EQ(1, IdOf(L"getnonprompt"));
    com::UniqueBstr line = Text(u"> ] You hit");
    for (VARTYPE type : {VARTYPE{VT_BSTR}, VARTYPE{VT_BSTR | VT_BYREF}}) {
        VARIANT argument;
        ::VariantInit(&argument);
        V_VT(&argument) = type;
        BSTR by_reference = line.get();
        if (type == VT_BSTR) {
            V_BSTR(&argument) = line.get();
        } else {
            V_BSTRREF(&argument) = &by_reference;
        }
        VARIANT result;
        ASSERT_EQ(S_OK, Call(L"GetNonPrompt", argument, result));
        ASSERT_EQ(VT_BSTR, V_VT(&result));
        EXPECT_EQ(u"You hit", com::TextOf(V_BSTR(&result)));
        EXPECT_EQ(line.get(), by_reference);
        ::VariantClear(&result);
    }
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"PromptLength")};
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, tools_->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id));
    DISPPARAMS none{};
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
              tools_->Invoke(1, IID__Tools, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

TEST_F(ToolsDispatchTest, GetSessionAnswersTheSessionObject) {
    // The session type comes from the host's library, which the host registers.
    const RegistryGuard guard(HKEY_LOCAL_MACHINE, HostLibraryKeys());
    ASSERT_EQ(S_OK, host::RegisterHostTypeLibrary());
    const SessionId session = host_.OpenSession(12);

    EXPECT_EQ(2, IdOf(L"GetSession"));
    for (LONG handle : {12, 13}) {
        VARIANT argument;
        ::VariantInit(&argument);
        V_VT(&argument) = VT_I4;
        V_I4(&argument) = handle;
        VARIANT result;
        ASSERT_EQ(S_OK, Call(L"GetSession", argument, result));
        EXPECT_EQ(handle, V_I4(&argument));
        ASSERT_EQ(VT_DISPATCH, V_VT(&result));
        if (handle == 12) {
            ComRef<HostSession> found;
            ASSERT_EQ(S_OK, V_DISPATCH(&result)->QueryInterface(
                                IID_HostSession, reinterpret_cast<void**>(found.put())));
            EXPECT_EQ(session, Which(found.get(), {session}));
        } else {
            EXPECT_EQ(nullptr, V_DISPATCH(&result));
        }
        ::VariantClear(&result);
    }
}

}  // namespace
}  // namespace brawlhue::testing
