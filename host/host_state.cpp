#include "host/host_state.h"

#include "host/host_type_library.h"

namespace brawlhue::host::detail {
namespace {

std::size_t IndexOf(HostOperation operation) {
    return static_cast<std::size_t>(operation);
}

// One step of a countdown; true when this is the call it was waiting for.
bool CountDown(std::optional<CountdownFault>& fault, HRESULT& code) {
    if (!fault) {
        return false;
    }
    if (--fault->remaining != 0) {
        return false;
    }
    code = fault->code;
    fault.reset();
    return true;
}

}  // namespace

HRESULT HostState::EnterCall(HostOperation operation, std::optional<SessionId> session, LONG index,
                             std::u16string_view variable) {
    ++call_counts[IndexOf(operation)];
    if (keep_call_log) {
        call_log.emplace_back(operation, session, index, variable);
    }
    // Every countdown moves on at every call, whichever fault ends up deciding it.
    HRESULT own_code = S_OK;
    HRESULT any_code = S_OK;
    const bool own_fails = CountDown(nth_call_faults[IndexOf(operation)], own_code);
    const bool any_fails = CountDown(nth_call_of_any_fault, any_code);
    if (own_fails) {
        return own_code;
    }
    if (any_fails) {
        return any_code;
    }
    return every_call_faults[IndexOf(operation)].value_or(S_OK);
}

SessionRecord& HostState::Session(SessionId session) {
    return sessions.at(static_cast<std::size_t>(session));
}

const SessionRecord& HostState::Session(SessionId session) const {
    return sessions.at(static_cast<std::size_t>(session));
}

ITypeLib* HostState::TypeLibrary() {
    if (!type_library_looked_for) {
        type_library_looked_for = true;
        type_library = LoadHostTypeLibrary();
    }
    return type_library.get();
}

}  // namespace brawlhue::host::detail
