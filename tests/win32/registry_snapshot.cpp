#include "registry_snapshot.h"

#include <utility>

#include "zmud.h"

namespace brawlhue::testing {
namespace {

void Collect(HKEY root, const std::wstring& path, RegistryTree& tree) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    auto& values = tree[path];
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD name_length = 256;
        DWORD type = 0;
        BYTE data[4096];
        DWORD data_size = sizeof data;
        if (::RegEnumValueW(key, index, name, &name_length, nullptr, &type, data, &data_size) !=
            ERROR_SUCCESS) {
            break;
        }
        values[std::wstring(name, name_length)] = {type, {data, data + data_size}};
    }
    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD name_length = 256;
        if (::RegEnumKeyExW(key, index, name, &name_length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        children.emplace_back(name, name_length);
    }
    ::RegCloseKey(key);
    for (const std::wstring& child : children) {
        Collect(root, path + L"\\" + child, tree);
    }
}

}  // namespace

RegistryTree Snapshot(HKEY root, const std::vector<std::wstring>& paths) {
    RegistryTree tree;
    for (const std::wstring& path : paths) {
        Collect(root, path, tree);
    }
    return tree;
}

std::vector<std::wstring> HostLibraryKeys() {
    std::vector<std::wstring> keys;
    for (const auto& [kind, guid] :
         {std::pair{L"TypeLib", &LIBID_Zmud}, std::pair{L"Interface", &IID_HostVariable},
          std::pair{L"Interface", &IID_HostSession}, std::pair{L"Interface", &IID_HostSessions},
          std::pair{L"Interface", &IID_IzMUDPlugin}}) {
        wchar_t text[39];
        ::StringFromGUID2(*guid, text, 39);
        keys.push_back(std::wstring(L"Software\\Classes\\") + kind + L"\\" + text);
    }
    return keys;
}

RegistryValue TextValue(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, {bytes, bytes + (text.size() + 1) * sizeof(wchar_t)}};
}

RegistryGuard::RegistryGuard(HKEY root, std::vector<std::wstring> paths)
    : root_(root), paths_(std::move(paths)), saved_(Snapshot(root_, paths_)) {}

RegistryGuard::~RegistryGuard() {
    for (const std::wstring& path : paths_) {
        ::RegDeleteTreeW(root_, path.c_str());
        ::RegDeleteKeyW(root_, path.c_str());
    }
    // Parents come before their children in the map's order.
    for (const auto& [path, values] : saved_) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr) != ERROR_SUCCESS) {
            continue;
        }
        for (const auto& [name, value] : values) {
            ::RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(),
                             static_cast<DWORD>(value.data.size()));
        }
        ::RegCloseKey(key);
    }
}

}  // namespace brawlhue::testing
