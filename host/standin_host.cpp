#include "host/standin_host.h"

#include <stdexcept>

#include "host/host_objects.h"
#include "host/host_state.h"

namespace brawlhue::host {
namespace {

std::size_t IndexOf(HostOperation operation) {
    return static_cast<std::size_t>(operation);
}

}  // namespace

std::string_view OperationName(HostOperation operation) noexcept {
    switch (operation) {
        case HostOperation::kCreateSessions:
            return "CreateInstance";
        case HostOperation::kCount:
            return "Count";
        case HostOperation::kItem:
            return "Item";
        case HostOperation::kDisplayText:
            return "DisplayText";
        case HostOperation::kSessionHandle:
            return "SessionHandle";
        case HostOperation::kSetVariable:
            return "SetVariable";
        case HostOperation::kGetVariable:
            return "GetVariable";
        case HostOperation::kValue:
            return "Value";
    }
    return "?";
}

StandinHost::StandinHost() : state_(std::make_shared<detail::HostState>()) {}

StandinHost::~StandinHost() = default;

SessionId StandinHost::OpenSession(LONG handle) {
    const auto session = static_cast<SessionId>(state_->sessions.size());
    detail::SessionRecord& record = state_->sessions.emplace_back();
    record.handle = handle;
    state_->collection.push_back(session);
    return session;
}

void StandinHost::CloseSession(SessionId session) {
    detail::SessionRecord& record = state_->Session(session);
    if (!record.open) {
        return;
    }
    record.open = false;
    std::erase(state_->collection, session);
}

void StandinHost::ReopenSession(SessionId session) {
    detail::SessionRecord& record = state_->Session(session);
    if (record.open) {
        return;
    }
    record.open = true;
    state_->collection.push_back(session);
}

std::size_t StandinHost::OpenSessionCount() const {
    return state_->collection.size();
}

const std::vector<DisplayedLine>& StandinHost::Displayed(SessionId session) const {
    return state_->Session(session).displayed;
}

void StandinHost::ClearDisplayed(SessionId session) {
    state_->Session(session).displayed.clear();
}

std::optional<StoredVariable> StandinHost::Variable(SessionId session, std::u16string_view name,
                                                    std::u16string_view class_name) const {
    const VariableTable& variables = state_->Session(session).variables;
    const auto found =
        variables.find(VariableKey{std::u16string(name), std::u16string(class_name)});
    if (found == variables.end()) {
        return std::nullopt;
    }
    return found->second;
}

void StandinHost::SetVariable(SessionId session, std::u16string_view name,
                              std::u16string_view class_name, std::u16string_view value,
                              std::u16string_view default_value) {
    state_->Session(session).variables.insert_or_assign(
        VariableKey{std::u16string(name), std::u16string(class_name)},
        StoredVariable{std::u16string(value), std::u16string(default_value)});
}

void StandinHost::RemoveVariable(SessionId session, std::u16string_view name,
                                 std::u16string_view class_name) {
    state_->Session(session).variables.erase(
        VariableKey{std::u16string(name), std::u16string(class_name)});
}

const VariableTable& StandinHost::Variables(SessionId session) const {
    return state_->Session(session).variables;
}

void StandinHost::SetReportedCount(std::optional<LONG> count) {
    state_->reported_count = count;
}

void StandinHost::FailNthCall(HostOperation operation, unsigned n, HRESULT code) {
    if (n == 0) {
        throw std::invalid_argument("FailNthCall: n counts from 1");
    }
    state_->nth_call_faults[IndexOf(operation)] = detail::CountdownFault{n, code};
}

void StandinHost::FailNthCallOfAny(unsigned n, HRESULT code) {
    if (n == 0) {
        throw std::invalid_argument("FailNthCallOfAny: n counts from 1");
    }
    state_->nth_call_of_any_fault = detail::CountdownFault{n, code};
}

void StandinHost::FailEveryCall(HostOperation operation, HRESULT code) {
    state_->every_call_faults[IndexOf(operation)] = code;
}

void StandinHost::ClearFaults() {
    state_->nth_call_faults = {};
    state_->nth_call_of_any_fault.reset();
    state_->every_call_faults = {};
}

unsigned long StandinHost::CallCount(HostOperation operation) const {
    return state_->call_counts[IndexOf(operation)];
}

unsigned long StandinHost::TotalCallCount() const {
    unsigned long total = 0;
    for (const unsigned long count : state_->call_counts) {
        total += count;
    }
    return total;
}

const std::vector<HostCall>& StandinHost::CallLog() const {
    return state_->call_log;
}

void StandinHost::KeepCallLog(bool keep) {
    state_->keep_call_log = keep;
}

void StandinHost::ResetCalls() {
    state_->call_counts = {};
    state_->call_log.clear();
}

long StandinHost::LiveObjects() const {
    return state_->live_objects;
}

HRESULT StandinHost::CreateSessions(HostSessions** sessions) {
    if (sessions == nullptr) {
        return E_POINTER;
    }
    return detail::NewSessionCollection(state_, sessions);
}

}  // namespace brawlhue::host
