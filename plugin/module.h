// The module's own state: its instance handle and how many objects and locks keep it loaded.
#pragma once

#include <windows.h>

#include <string>

namespace brawlhue::module {

void SetInstance(HINSTANCE instance) noexcept;
HINSTANCE Instance() noexcept;

// The full path of Brawlhue.dll as loaded. Throws com::HResultError when it cannot be had.
std::wstring Path();

// Every live object of the module (class objects included) and every LockServer(TRUE).
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;
void Lock() noexcept;
void Unlock() noexcept;
bool CanUnload() noexcept;

}  // namespace brawlhue::module
