// The module's own version resource, read at run time: the product name, description, copyright
// line and version numbers live there and nowhere else.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace brawlhue {

class VersionInfo {
  public:
    // Reads the resource of the loaded module. Throws com::HResultError when it is unreadable.
    static VersionInfo OfModule();

    // A field of the string table that the resource's first translation names, such as
    // L"ProductName". Throws com::HResultError when the field is missing.
    std::u16string_view Text(std::wstring_view field) const;

    // The first, second and fourth numbers of the fixed file version.
    WORD Major() const;
    WORD Minor() const;
    WORD Revision() const;

  private:
    explicit VersionInfo(std::vector<BYTE> block) noexcept : block_(std::move(block)) {}
    const VS_FIXEDFILEINFO& Fixed() const;

    std::vector<BYTE> block_;
};

}  // namespace brawlhue
