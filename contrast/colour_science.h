// What a colour looks like to an eye: sRGB to CIELAB, the Machado et al. (2009) simulation of
// colour-vision deficiency at full severity, and the CIEDE2000 colour difference.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace brawlhue::contrast {

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;

    friend constexpr bool operator==(Rgb, Rgb) = default;
};

struct Lab {
    double lightness;
    double a;
    double b;
};

enum class Vision : std::uint8_t { kNormal, kProtan, kDeutan, kTritan };

struct VisionName {
    Vision vision;
    std::string_view name;
};

inline constexpr std::array<VisionName, 4> kVisions{{
    {Vision::kNormal, "normal"},
    {Vision::kProtan, "protan"},
    {Vision::kDeutan, "deutan"},
    {Vision::kTritan, "tritan"},
}};

// The colour as the vision sees it: the deficiency's matrix applied in linear sRGB, the result
// clipped to the displayable range.
Rgb Simulate(Rgb colour, Vision vision) noexcept;

// CIELAB under D65 of a colour as the vision sees it.
Lab ToLab(Rgb colour, Vision vision = Vision::kNormal) noexcept;

// The WCAG 2 contrast ratio of two colours, 1 to 21: how readable one is on the other.
double ContrastRatio(Rgb first, Rgb second) noexcept;

// The CIEDE2000 difference, with kL = kC = kH = 1.
double Ciede2000(const Lab& first, const Lab& second) noexcept;

}  // namespace brawlhue::contrast
