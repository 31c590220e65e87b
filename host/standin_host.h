// A stand-in for the zMUD host's automation objects (HostSessions, HostSession, HostVariable),
// backed by plain state that a test or the replay host sets up and inspects. The real host
// cannot be run here; these objects answer at the same interface slots and let a caller make
// any of their operations fail.
//
// Everything runs on one apartment-threaded thread: the objects, the state and the caller share
// it, and nothing is locked.
#pragma once

#include <windows.h>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/com_guard.h"
#include "zmud.h"

namespace brawlhue::host {

// The host operations that the stand-in counts and can make fail.
enum class HostOperation : std::uint8_t {
    kCreateSessions,  // CreateInstance of the HostSessionsClass factory
    kCount,           // HostSessions::get_Count
    kItem,            // HostSessions::Item
    kDisplayText,     // HostSession::DisplayText
    kSessionHandle,   // HostSession::get_SessionHandle
    kSetVariable,     // HostSession::SetVariable
    kGetVariable,     // HostSession::GetVariable
    kValue,           // HostVariable::get_Value
};
inline constexpr std::size_t kHostOperationCount = 8;

// The operation's name as the host's interface spells it ("Count", "DisplayText", ...).
std::string_view OperationName(HostOperation operation) noexcept;

// A session of the stand-in, stable for the host's life whether the session is open or not.
enum class SessionId : std::size_t {};

// What Item answers for an index outside the open sessions (negative, or beyond them when
// Count was made to report more).
inline constexpr HRESULT kNoSuchSession = DISP_E_BADINDEX;
// What Value answers when its variable was removed (RemoveVariable) after it was handed out.
inline constexpr HRESULT kVariableRemoved = DISP_E_MEMBERNOTFOUND;

// One DisplayText call.
struct DisplayedLine {
    std::u16string text;
    LONG colour = 0;
    friend bool operator==(const DisplayedLine&, const DisplayedLine&) = default;
};

struct VariableKey {
    std::u16string name;
    std::u16string class_name;
    friend auto operator<=>(const VariableKey&, const VariableKey&) = default;
};

struct StoredVariable {
    std::u16string value;
    std::u16string default_value;
    friend bool operator==(const StoredVariable&, const StoredVariable&) = default;
};

// A session's variables. Names and classes are compared exactly, letter case included.
using VariableTable = std::map<VariableKey, StoredVariable>;

// One call that reached a host object, in the order of arrival.
struct HostCall {
    // The fields after the operation may be left out.
    HostCall(HostOperation called, std::optional<SessionId> on = std::nullopt, LONG at = 0,
             std::u16string_view name = {})
        : operation(called), session(on), index(at), variable(name) {}

    HostOperation operation;
    std::optional<SessionId> session;  // the session called, for HostSession and HostVariable
    LONG index = 0;                    // the index asked for, for Item
    std::u16string variable;           // the variable's name, for SetVariable, GetVariable, Value
    friend bool operator==(const HostCall&, const HostCall&) = default;
};

namespace detail {
struct HostState;
}

class StandinHost {
  public:
    StandinHost();
    ~StandinHost();
    StandinHost(const StandinHost&) = delete;
    StandinHost& operator=(const StandinHost&) = delete;

    // --- Sessions. The collection holds the open sessions in the order they were (re)opened.
    // A new open session at the end of the collection. Two sessions may share a handle.
    SessionId OpenSession(LONG handle);
    // Takes the session out of the collection; its lines and variables stay, and session
    // objects already handed out for it keep working.
    void CloseSession(SessionId session);
    // Puts a closed session back at the end of the collection, as a reconnect does: variables
    // set in an earlier connection are found again.
    void ReopenSession(SessionId session);
    std::size_t OpenSessionCount() const;

    // --- What the plug-in showed, one entry per DisplayText call, in order.
    const std::vector<DisplayedLine>& Displayed(SessionId session) const;
    void ClearDisplayed(SessionId session);

    // --- Host variables, as SetVariable and GetVariable see them.
    std::optional<StoredVariable> Variable(SessionId session, std::u16string_view name,
                                           std::u16string_view class_name) const;
    void SetVariable(SessionId session, std::u16string_view name, std::u16string_view class_name,
                     std::u16string_view value, std::u16string_view default_value);
    void RemoveVariable(SessionId session, std::u16string_view name,
                        std::u16string_view class_name);
    const VariableTable& Variables(SessionId session) const;

    // --- What Count reports: a fixed number (0, negative, or more than are open), or the
    // number of open sessions when nothing is given (the default).
    void SetReportedCount(std::optional<LONG> count);

    // --- Faults. A failing call is counted and logged, writes none of its out-parameters
    // beyond clearing them, changes nothing and returns the code.
    // The n-th next call (1: the very next) of the operation fails; the ones before and after
    // it succeed. Replaces an earlier n-th-call fault of the same operation.
    void FailNthCall(HostOperation operation, unsigned n, HRESULT code);
    // The n-th next call of whichever host operation fails. Replaces an earlier one.
    void FailNthCallOfAny(unsigned n, HRESULT code);
    // Every call of the operation fails from now on, until ClearFaults.
    void FailEveryCall(HostOperation operation, HRESULT code);
    void ClearFaults();

    // --- Counting. Failed calls count too; calls through IDispatch::Invoke count once.
    unsigned long CallCount(HostOperation operation) const;
    unsigned long TotalCallCount() const;
    // Kept unless switched off (for loops of millions of calls).
    const std::vector<HostCall>& CallLog() const;
    void KeepCallLog(bool keep);
    // Zeroes the counters and empties the log; faults stay.
    void ResetCalls();

    // --- Host objects alive now: collections, sessions and variables that were handed out and
    // not yet released to a count of zero (the class factory is not counted).
    long LiveObjects() const;

    // A new collection object, as the registered class factory makes one, for a caller that
    // talks to the host objects directly. Not counted as a call.
    HRESULT CreateSessions(HostSessions** sessions);

  private:
    friend class HostSessionsRegistration;
    // Shared with the COM objects, which may outlive this host.
    std::shared_ptr<detail::HostState> state_;
};

// Registers the host's type library ("Zmud", {79E75CC0-15FA-11D4-82CC-00E0987C27F1}) from the
// TYPELIB resource of this module, which every program or DLL linking the stand-in carries, as the
// real host registers the library it carries. The plug-in's own library imports it.
HRESULT RegisterHostTypeLibrary();

// Makes CoCreateInstance of HostSessionsClass {0D271ED8-CA95-499F-9954-44076156E1A7} in this
// process create collections of this host, for as long as it exists. Needs COM initialised on
// the calling thread; one registration at a time. Throws com::HResultError when COM refuses.
class HostSessionsRegistration {
  public:
    explicit HostSessionsRegistration(StandinHost& host);
    ~HostSessionsRegistration();
    HostSessionsRegistration(const HostSessionsRegistration&) = delete;
    HostSessionsRegistration& operator=(const HostSessionsRegistration&) = delete;

  private:
    DWORD cookie_ = 0;
};

}  // namespace brawlhue::host
