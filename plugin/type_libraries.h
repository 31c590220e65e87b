// Where the type information behind the module's IDispatch members comes from.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace brawlhue::com {

// The module's own library, from its TYPELIB resource: an unregistered copy answers IDispatch
// as well as a registered one.
HRESULT LoadOwnTypeLibrary(ITypeLib** library) noexcept;

// The host's library, as the host registered it. Only the host has it; without it the
// IDispatch members of the host's interface fail with the loader's status.
HRESULT LoadHostTypeLibrary(ITypeLib** library) noexcept;

}  // namespace brawlhue::com
