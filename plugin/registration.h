// The registry entries that make the module's classes and type library known, written for the
// whole machine or for one user, and removed again exactly.
#pragma once

#include <windows.h>

namespace brawlhue::registration {

// The root under which the entries go: HKLM\Software\Classes or HKCU\Software\Classes.
enum class Scope { kMachine, kUser };

// Writes every entry; on a failure removes what it wrote and returns the registry's status.
HRESULT Register(Scope scope) noexcept;
// Removes every value and key that Register writes, and nothing else; absent ones are fine.
HRESULT Unregister(Scope scope) noexcept;

}  // namespace brawlhue::registration
