// The plain state behind the stand-in host's COM objects: sessions, what they were shown, their
// variables, the faults to inject and the counters. Shared by the objects and the StandinHost
// that sets it up, so that an object released after the host still finds it.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <array>
#include <optional>
#include <vector>

#include "host/standin_host.h"
#include "plugin/com_ref.h"

namespace brawlhue::host::detail {

struct SessionRecord {
    LONG handle = 0;
    bool open = true;
    std::vector<DisplayedLine> displayed;
    VariableTable variables;
};

struct CountdownFault {
    unsigned remaining = 0;  // calls to go; the call that brings it to zero fails
    HRESULT code = S_OK;
};

struct HostState {
    std::vector<SessionRecord> sessions;  // indexed by SessionId
    std::vector<SessionId> collection;    // the open sessions, in the order Item sees them
    std::optional<LONG> reported_count;

    std::array<std::optional<CountdownFault>, kHostOperationCount> nth_call_faults;
    std::optional<CountdownFault> nth_call_of_any_fault;
    std::array<std::optional<HRESULT>, kHostOperationCount> every_call_faults;

    std::array<unsigned long, kHostOperationCount> call_counts{};
    std::vector<HostCall> call_log;
    bool keep_call_log = true;

    long live_objects = 0;

    // Looked for once, at the first IDispatch call that needs it.
    com::ComRef<ITypeLib> type_library;
    bool type_library_looked_for = false;

    // Every host operation starts here: the call is counted and logged, and the result says
    // whether an injected fault makes it fail (its code) or not (S_OK).
    HRESULT EnterCall(HostOperation operation, std::optional<SessionId> session, LONG index = 0,
                      std::u16string_view variable = {});

    // Throws std::out_of_range for an id this host never gave out.
    SessionRecord& Session(SessionId session);
    const SessionRecord& Session(SessionId session) const;

    // The host's type library, or null when this program carries none and none is registered.
    ITypeLib* TypeLibrary();
};

}  // namespace brawlhue::host::detail
