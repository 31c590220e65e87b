// The stand-in host's promises to the tests that use it: faults land on exactly the call they
// name, every call is counted, Count can lie, and every object it hands out is accounted for.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>

#include <functional>
#include <string>
#include <vector>

#include "host/standin_host.h"
#include "plugin/com_ref.h"
#include "plugin/unique_bstr.h"
#include "zmud.h"

namespace {

using brawlhue::com::ComRef;
using brawlhue::com::UniqueBstr;
using brawlhue::host::DisplayedLine;
using brawlhue::host::HostCall;
using brawlhue::host::HostOperation;
using brawlhue::host::HostSessionsRegistration;
using brawlhue::host::SessionId;
using brawlhue::host::StandinHost;
using brawlhue::host::StoredVariable;

constexpr HRESULT kInjected = E_ACCESSDENIED;
constexpr LONG kFirstHandle = 41;
constexpr LONG kSecondHandle = 42;

ULONG ReferencesOf(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

UniqueBstr Text(std::u16string_view units) {
    return UniqueBstr::Copy(units);
}

class StandinHostTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        first_ = host_.OpenSession(kFirstHandle);
        second_ = host_.OpenSession(kSecondHandle);
        host_.SetVariable(first_, u"Stored", u"Plugin", u"yes", u"no");
        registration_.emplace(host_);
        ASSERT_EQ(S_OK,
                  ::CoCreateInstance(CLSID_HostSessionsClass, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_HostSessions, reinterpret_cast<void**>(sessions_.put())));
        ASSERT_EQ(S_OK, sessions_->Item(0, session_.put()));
        ASSERT_EQ(S_OK, session_->GetVariable(Text(u"Stored").get(), Text(u"Plugin").get(),
                                              variable_.put()));
        ASSERT_TRUE(variable_);
        host_.ResetCalls();
    }
    void TearDown() override {
        variable_.reset();
        session_.reset();
        sessions_.reset();
        registration_.reset();
        EXPECT_EQ(0, host_.LiveObjects());
        ::CoUninitialize();
    }

    // One call of the operation on the objects set up above; its result.
    HRESULT Call(HostOperation operation) {
        switch (operation) {
            case HostOperation::kCreateSessions: {
                ComRef<HostSessions> made;
                return ::CoCreateInstance(CLSID_HostSessionsClass, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_HostSessions, reinterpret_cast<void**>(made.put()));
            }
            case HostOperation::kCount: {
                LONG count = -7;
                const HRESULT result = sessions_->get_Count(&count);
                EXPECT_EQ(SUCCEEDED(result) ? 2 : 0, count);
                return result;
            }
            case HostOperation::kItem: {
                ComRef<HostSession> item;
                const HRESULT result = sessions_->Item(1, item.put());
                EXPECT_EQ(SUCCEEDED(result), static_cast<bool>(item));
                return result;
            }
            case HostOperation::kDisplayText:
                return session_->DisplayText(Text(u"shown").get(), 131);
            case HostOperation::kSessionHandle: {
                LONG handle = -7;
                const HRESULT result = session_->get_SessionHandle(&handle);
                EXPECT_EQ(SUCCEEDED(result) ? kFirstHandle : 0, handle);
                return result;
            }
            case HostOperation::kSetVariable: {
                ComRef<HostVariable> set;
                const HRESULT result =
                    session_->SetVariable(Text(u"Stored").get(), Text(u"new").get(),
                                          Text(u"new").get(), Text(u"Plugin").get(), set.put());
                EXPECT_EQ(SUCCEEDED(result), static_cast<bool>(set));
                return result;
            }
            case HostOperation::kGetVariable: {
                ComRef<HostVariable> got;
                const HRESULT result =
                    session_->GetVariable(Text(u"Stored").get(), Text(u"Plugin").get(), got.put());
                EXPECT_EQ(SUCCEEDED(result), static_cast<bool>(got));
                return result;
            }
            case HostOperation::kValue: {
                UniqueBstr value;
                const HRESULT result = variable_->get_Value(value.put());
                EXPECT_EQ(SUCCEEDED(result), value.get() != nullptr);
                return result;
            }
        }
        return E_UNEXPECTED;
    }

    StandinHost host_;
    SessionId first_{};
    SessionId second_{};
    std::optional<HostSessionsRegistration> registration_;
    ComRef<HostSessions> sessions_;
    ComRef<HostSession> session_;
    ComRef<HostVariable> variable_;
};

constexpr HostOperation kEveryOperation[] = {
    HostOperation::kCreateSessions, HostOperation::kCount,         HostOperation::kItem,
    HostOperation::kDisplayText,    HostOperation::kSessionHandle, HostOperation::kSetVariable,
    HostOperation::kGetVariable,    HostOperation::kValue,
};

TEST_F(StandinHostTest, NthCallFaultFailsThatCallAloneAndIsCounted) {
    for (const HostOperation operation : kEveryOperation) {
        SCOPED_TRACE(std::string(brawlhue::host::OperationName(operation)));
        host_.ResetCalls();
        host_.FailNthCall(operation, 2, kInjected);
        EXPECT_EQ(S_OK, Call(operation));
        EXPECT_EQ(kInjected, Call(operation));
        EXPECT_EQ(S_OK, Call(operation));
        EXPECT_EQ(3u, host_.CallCount(operation));
        EXPECT_EQ(3u, host_.TotalCallCount());
    }
}

TEST_F(StandinHostTest, EveryCallFaultLastsUntilCleared) {
    for (const HostOperation operation : kEveryOperation) {
        SCOPED_TRACE(std::string(brawlhue::host::OperationName(operation)));
        host_.FailEveryCall(operation, kInjected);
        EXPECT_EQ(kInjected, Call(operation));
        EXPECT_EQ(kInjected, Call(operation));
        host_.ClearFaults();
        EXPECT_EQ(S_OK, Call(operation));
    }
}

TEST_F(StandinHostTest, NthCallOfAnyCountsAcrossOperations) {
    host_.FailNthCallOfAny(3, kInjected);
    EXPECT_EQ(S_OK, Call(HostOperation::kCount));
    EXPECT_EQ(S_OK, Call(HostOperation::kItem));
    EXPECT_EQ(kInjected, Call(HostOperation::kSessionHandle));
    EXPECT_EQ(S_OK, Call(HostOperation::kSessionHandle));
}

TEST_F(StandinHostTest, FailingCallsChangeNothing) {
    host_.FailEveryCall(HostOperation::kDisplayText, kInjected);
    host_.FailEveryCall(HostOperation::kSetVariable, kInjected);
    Call(HostOperation::kDisplayText);
    Call(HostOperation::kSetVariable);
    EXPECT_TRUE(host_.Displayed(first_).empty());
    EXPECT_EQ((StoredVariable{u"yes", u"no"}), host_.Variable(first_, u"Stored", u"Plugin"));
}

TEST_F(StandinHostTest, ReportedCountBoundsWhatItemFinds) {
    struct Case {
        std::optional<LONG> reported;
        LONG expected_count;
    };
    const Case cases[] = {{std::nullopt, 2}, {0, 0}, {-3, -3}, {5, 5}};
    for (const Case& c : cases) {
        host_.SetReportedCount(c.reported);
        LONG count = 0;
        EXPECT_EQ(S_OK, sessions_->get_Count(&count));
        EXPECT_EQ(c.expected_count, count);
        // Item reaches the real sessions only, whatever Count says.
        for (const LONG index : {-1, 0, 1, 2, 4}) {
            ComRef<HostSession> item;
            const HRESULT expected = index == 0 || index == 1 ? S_OK : DISP_E_BADINDEX;
            EXPECT_EQ(expected, sessions_->Item(index, item.put())) << "index " << index;
        }
    }
}

TEST_F(StandinHostTest, CallLogNamesSessionAndIndexInOrder) {
    ComRef<HostSession> second;
    ASSERT_EQ(S_OK, sessions_->Item(1, second.put()));
    LONG handle = 0;
    ASSERT_EQ(S_OK, second->get_SessionHandle(&handle));
    EXPECT_EQ(kSecondHandle, handle);
    ASSERT_EQ(S_OK, session_->DisplayText(Text(u"a").get(), 387));
    const std::vector<HostCall> expected = {
        {HostOperation::kItem, std::nullopt, 1},
        {HostOperation::kSessionHandle, second_, 0},
        {HostOperation::kDisplayText, first_, 0},
    };
    EXPECT_EQ(expected, host_.CallLog());
    EXPECT_EQ((std::vector<DisplayedLine>{{u"a", 387}}), host_.Displayed(first_));
    EXPECT_TRUE(host_.Displayed(second_).empty());
}

TEST_F(StandinHostTest, DispatchCallLandsInTheSameSlotAndCountsOnce) {
    ComRef<IDispatch> dispatch;
    ASSERT_EQ(S_OK,
              sessions_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.put())));
    UINT type_infos = 0;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfoCount(&type_infos));
    ASSERT_EQ(1u, type_infos) << "this program carries the host's type library";
    std::wstring name = L"Count";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(10, id);
    DISPPARAMS none{};
    VARIANT result;
    ::VariantInit(&result);
    ASSERT_EQ(S_OK, dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                     &result, nullptr, nullptr));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(2, result.lVal);
    EXPECT_EQ(1u, host_.CallCount(HostOperation::kCount));
}

TEST_F(StandinHostTest, EveryHandedOutObjectIsCountedUntilReleased) {
    EXPECT_EQ(3, host_.LiveObjects());
    ComRef<HostSession> again;
    ASSERT_EQ(S_OK, sessions_->Item(0, again.put()));
    EXPECT_EQ(1u, ReferencesOf(again.get()));
    EXPECT_EQ(4, host_.LiveObjects());
    ComRef<IDispatch> same;
    ASSERT_EQ(S_OK, again->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(same.put())));
    EXPECT_EQ(static_cast<IUnknown*>(again.get()), static_cast<IUnknown*>(same.get()));
    EXPECT_EQ(2u, ReferencesOf(again.get()));
    same.reset();
    again.reset();
    EXPECT_EQ(3, host_.LiveObjects());
}

TEST_F(StandinHostTest, VariablesOutliveAReconnect) {
    ComRef<HostVariable> set;
    ASSERT_EQ(S_OK, session_->SetVariable(Text(u"MeleeEnabled").get(), Text(u"False").get(),
                                          Text(u"False").get(), Text(u"BrawlhuePlugin").get(),
                                          set.put()));
    host_.CloseSession(first_);
    LONG count = 0;
    ASSERT_EQ(S_OK, sessions_->get_Count(&count));
    EXPECT_EQ(1, count);
    host_.ReopenSession(first_);
    ComRef<HostSession> reopened;
    ASSERT_EQ(S_OK, sessions_->Item(1, reopened.put()));
    ComRef<HostVariable> found;
    ASSERT_EQ(S_OK, reopened->GetVariable(Text(u"MeleeEnabled").get(),
                                          Text(u"BrawlhuePlugin").get(), found.put()));
    ASSERT_TRUE(found);
    UniqueBstr value;
    ASSERT_EQ(S_OK, found->get_Value(value.put()));
    EXPECT_EQ(u"False", value.view());
}

TEST_F(StandinHostTest, GetVariableMatchesNameAndClassExactly) {
    struct Case {
        std::u16string_view name;
        std::u16string_view class_name;
        bool found;
    };
    const Case cases[] = {
        {u"Stored", u"Plugin", true},
        {u"stored", u"Plugin", false},
        {u"Stored", u"plugin", false},
        {u"Plugin", u"Stored", false},
    };
    for (const Case& c : cases) {
        ComRef<HostVariable> got;
        EXPECT_EQ(S_OK,
                  session_->GetVariable(Text(c.name).get(), Text(c.class_name).get(), got.put()));
        EXPECT_EQ(c.found, static_cast<bool>(got));
    }
}

TEST_F(StandinHostTest, VariableObjectReadsTheLatestValue) {
    host_.SetVariable(first_, u"Stored", u"Plugin", u"later", u"later");
    UniqueBstr value;
    ASSERT_EQ(S_OK, variable_->get_Value(value.put()));
    EXPECT_EQ(u"later", value.view());
    host_.RemoveVariable(first_, u"Stored", u"Plugin");
    EXPECT_EQ(brawlhue::host::kVariableRemoved, variable_->get_Value(value.put()));
}

TEST_F(StandinHostTest, RevokedRegistrationCreatesNoMore) {
    registration_.reset();
    ComRef<HostSessions> made;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              ::CoCreateInstance(CLSID_HostSessionsClass, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_HostSessions, reinterpret_cast<void**>(made.put())));
}

TEST_F(StandinHostTest, ObjectsKeepWorkingAfterTheHostIsGone) {
    auto short_lived = std::make_unique<StandinHost>();
    const SessionId only = short_lived->OpenSession(kFirstHandle);
    ComRef<HostSessions> collection;
    ASSERT_EQ(S_OK, short_lived->CreateSessions(collection.put()));
    ComRef<HostSession> session;
    ASSERT_EQ(S_OK, collection->Item(0, session.put()));
    short_lived->CloseSession(only);
    short_lived.reset();
    EXPECT_EQ(S_OK, session->DisplayText(Text(u"late").get(), 131));
}

}  // namespace
