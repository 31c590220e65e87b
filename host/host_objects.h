// Creation of the stand-in's COM objects. Each is handed out with one reference, which the
// caller owns; a failure (exhausted memory) leaves the out-parameter null.
#pragma once

#include <memory>

#include "host/host_state.h"
#include "zmud.h"

namespace brawlhue::host::detail {

HRESULT NewSessionCollection(const std::shared_ptr<HostState>& state, HostSessions** sessions);

HRESULT NewSessionObject(const std::shared_ptr<HostState>& state, SessionId session,
                         HostSession** object);

// The object reads the variable anew at each Value, so it sees later SetVariable calls.
HRESULT NewVariableObject(const std::shared_ptr<HostState>& state, SessionId session,
                          VariableKey key, HostVariable** object);

}  // namespace brawlhue::host::detail
