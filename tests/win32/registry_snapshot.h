// Copies of registry trees, to compare what registration changed and to put back what was there.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace brawlhue::testing {

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

// Every key of the trees by its path below the root, with its values by name ("" the default).
using RegistryTree = std::map<std::wstring, std::map<std::wstring, RegistryValue>>;

// The trees at these paths below root; absent ones add nothing.
RegistryTree Snapshot(HKEY root, const std::vector<std::wstring>& paths);

// A REG_SZ value as a snapshot holds it.
RegistryValue TextValue(const std::wstring& text);

// The machine-wide keys that registering the host's type library writes: the library and its
// interfaces, below HKEY_LOCAL_MACHINE.
std::vector<std::wstring> HostLibraryKeys();

// Takes a snapshot now and puts the trees back as they were when it goes.
class RegistryGuard {
  public:
    RegistryGuard(HKEY root, std::vector<std::wstring> paths);
    ~RegistryGuard();
    RegistryGuard(const RegistryGuard&) = delete;
    RegistryGuard& operator=(const RegistryGuard&) = delete;

    const RegistryTree& saved() const { return saved_; }

  private:
    HKEY root_;
    std::vector<std::wstring> paths_;
    RegistryTree saved_;
};

}  // namespace brawlhue::testing
