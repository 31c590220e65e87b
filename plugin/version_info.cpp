#include "plugin/version_info.h"

#include <cstdio>
#include <string>
#include <utility>

#include "plugin/com_guard.h"
#include "plugin/module.h"

namespace brawlhue {
namespace {

constexpr HRESULT kFieldMissing = HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);

[[noreturn]] void ThrowLastError() {
    const DWORD error = ::GetLastError();
    throw com::HResultError(error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL);
}

// The value at a path of the block, or throws when there is none.
std::pair<const void*, UINT> Query(const std::vector<BYTE>& block, const std::wstring& path) {
    void* value = nullptr;
    UINT length = 0;
    // VerQueryValueW only reads the block, although its signature does not say so.
    if (!::VerQueryValueW(const_cast<BYTE*>(block.data()), path.c_str(), &value, &length) ||
        value == nullptr) {
        throw com::HResultError(kFieldMissing);
    }
    return {value, length};
}

}  // namespace

VersionInfo VersionInfo::OfModule() {
    const std::wstring path = module::Path();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        ThrowLastError();
    }
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        ThrowLastError();
    }
    return VersionInfo(std::move(block));
}

std::u16string_view VersionInfo::Text(std::wstring_view field) const {
    struct Translation {
        WORD language;
        WORD code_page;
    };
    const auto [translations, translations_size] = Query(block_, L"\\VarFileInfo\\Translation");
    if (translations_size < sizeof(Translation)) {
        throw com::HResultError(kFieldMissing);
    }
    const auto& first = *static_cast<const Translation*>(translations);
    wchar_t table[9];
    std::swprintf(table, std::size(table), L"%04X%04X", first.language, first.code_page);

    std::wstring path = L"\\StringFileInfo\\";
    path += table;
    path += L'\\';
    path += field;
    const auto [value, length] = Query(block_, path);
    // The length counts the terminating NUL (and any padding behind it), when there is one.
    const std::u16string_view text(static_cast<const char16_t*>(value), length);
    return text.substr(0, text.find(u'\0'));
}

const VS_FIXEDFILEINFO& VersionInfo::Fixed() const {
    const auto [value, length] = Query(block_, L"\\");
    if (length < sizeof(VS_FIXEDFILEINFO)) {
        throw com::HResultError(kFieldMissing);
    }
    return *static_cast<const VS_FIXEDFILEINFO*>(value);
}

WORD VersionInfo::Major() const {
    return HIWORD(Fixed().dwFileVersionMS);
}

WORD VersionInfo::Minor() const {
    return LOWORD(Fixed().dwFileVersionMS);
}

WORD VersionInfo::Revision() const {
    return LOWORD(Fixed().dwFileVersionLS);
}

}  // namespace brawlhue
