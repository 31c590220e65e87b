#include "contrast/colour_science.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brawlhue::contrast {
namespace {

using Matrix = std::array<std::array<double, 3>, 3>;
using Vector = std::array<double, 3>;

// Machado, Oliveira and Fernandes 2009, severity 1.0, for linear sRGB.
constexpr Matrix kIdentity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
constexpr Matrix kProtanopia{{{0.152286, 1.052583, -0.204868},
                              {0.114503, 0.786281, 0.099216},
                              {-0.003882, -0.048116, 1.051998}}};
constexpr Matrix kDeuteranopia{{{0.367322, 0.860646, -0.227968},
                                {0.280085, 0.672501, 0.047413},
                                {-0.011820, 0.042940, 0.968881}}};
constexpr Matrix kTritanopia{{{1.255528, -0.076749, -0.178779},
                              {-0.078411, 0.930809, 0.147602},
                              {0.004733, 0.691367, 0.303900}}};
// Linear sRGB to CIE XYZ, D65 (IEC 61966-2-1).
constexpr Matrix kToXyz{{{0.4124564, 0.3575761, 0.1804375},
                         {0.2126729, 0.7151522, 0.0721750},
                         {0.0193339, 0.1191920, 0.9503041}}};
constexpr Vector kWhiteD65{0.95047, 1.0, 1.08883};

const Matrix& MatrixOf(Vision vision) noexcept {
    switch (vision) {
        case Vision::kProtan:
            return kProtanopia;
        case Vision::kDeutan:
            return kDeuteranopia;
        case Vision::kTritan:
            return kTritanopia;
        case Vision::kNormal:
            break;
    }
    return kIdentity;
}

Vector Times(const Matrix& matrix, const Vector& vector) noexcept {
    Vector result{};
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t column = 0; column < 3; ++column) {
            result[row] += matrix[row][column] * vector[column];
        }
    }
    return result;
}

double ToLinear(std::uint8_t channel) noexcept {
    const double value = channel / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

std::uint8_t FromLinear(double value) noexcept {
    const double encoded =
        value <= 0.0031308 ? value * 12.92 : 1.055 * std::pow(value, 1 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(std::clamp(encoded, 0.0, 1.0) * 255));
}

// The vision's linear sRGB, clipped to what a screen can show.
Vector SimulatedLinear(Rgb colour, Vision vision) noexcept {
    Vector linear = Times(MatrixOf(vision),
                          {ToLinear(colour.red), ToLinear(colour.green), ToLinear(colour.blue)});
    for (double& channel : linear) {
        channel = std::clamp(channel, 0.0, 1.0);
    }
    return linear;
}

double LabCurve(double ratio) noexcept {
    constexpr double kEpsilon = 216.0 / 24389.0;
    constexpr double kKappa = 24389.0 / 27.0;
    return ratio > kEpsilon ? std::cbrt(ratio) : (kKappa * ratio + 16) / 116;
}

double Degrees(double radians) noexcept {
    return radians * 180 / std::numbers::pi;
}
double Radians(double degrees) noexcept {
    return degrees * std::numbers::pi / 180;
}

// The hue angle in degrees, 0 to 360; 0 for a neutral colour.
double HueAngle(double b, double a) noexcept {
    if (a == 0 && b == 0) {
        return 0;
    }
    const double angle = Degrees(std::atan2(b, a));
    return angle < 0 ? angle + 360 : angle;
}

}  // namespace

Rgb Simulate(Rgb colour, Vision vision) noexcept {
    const Vector linear = SimulatedLinear(colour, vision);
    return {FromLinear(linear[0]), FromLinear(linear[1]), FromLinear(linear[2])};
}

double ContrastRatio(Rgb first, Rgb second) noexcept {
    const auto luminance = [](Rgb colour) {
        return Times(kToXyz,
                     {ToLinear(colour.red), ToLinear(colour.green), ToLinear(colour.blue)})[1];
    };
    const double lighter = std::max(luminance(first), luminance(second));
    const double darker = std::min(luminance(first), luminance(second));
    return (lighter + 0.05) / (darker + 0.05);
}

Lab ToLab(Rgb colour, Vision vision) noexcept {
    const Vector xyz = Times(kToXyz, SimulatedLinear(colour, vision));
    const double fx = LabCurve(xyz[0] / kWhiteD65[0]);
    const double fy = LabCurve(xyz[1] / kWhiteD65[1]);
    const double fz = LabCurve(xyz[2] / kWhiteD65[2]);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

// Sharma, Wu and Dalal, "The CIEDE2000 Color-Difference Formula" (2005), equations 1 to 22.
double Ciede2000(const Lab& first, const Lab& second) noexcept {
    const double chroma1 = std::hypot(first.a, first.b);
    const double chroma2 = std::hypot(second.a, second.b);
    const double mean_chroma = (chroma1 + chroma2) / 2;
    const double chroma7 = std::pow(mean_chroma, 7);
    const double g = 0.5 * (1 - std::sqrt(chroma7 / (chroma7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * first.a;
    const double a2 = (1 + g) * second.a;
    const double c1 = std::hypot(a1, first.b);
    const double c2 = std::hypot(a2, second.b);
    const double h1 = HueAngle(first.b, a1);
    const double h2 = HueAngle(second.b, a2);

    const double delta_lightness = second.lightness - first.lightness;
    const double delta_chroma = c2 - c1;
    double delta_hue = 0;
    if (c1 * c2 != 0) {
        delta_hue = h2 - h1;
        if (delta_hue > 180) {
            delta_hue -= 360;
        } else if (delta_hue < -180) {
            delta_hue += 360;
        }
    }
    const double delta_big_hue = 2 * std::sqrt(c1 * c2) * std::sin(Radians(delta_hue / 2));

    const double mean_lightness = (first.lightness + second.lightness) / 2;
    const double mean_c = (c1 + c2) / 2;
    double mean_hue = h1 + h2;
    if (c1 * c2 != 0) {
        if (std::abs(h1 - h2) <= 180) {
            mean_hue = (h1 + h2) / 2;
        } else if (h1 + h2 < 360) {
            mean_hue = (h1 + h2 + 360) / 2;
        } else {
            mean_hue = (h1 + h2 - 360) / 2;
        }
    }
    const double t =
        1 - 0.17 * std::cos(Radians(mean_hue - 30)) + 0.24 * std::cos(Radians(2 * mean_hue)) +
        0.32 * std::cos(Radians(3 * mean_hue + 6)) - 0.20 * std::cos(Radians(4 * mean_hue - 63));
    const double delta_theta = 30 * std::exp(-std::pow((mean_hue - 275) / 25, 2));
    const double mean_c7 = std::pow(mean_c, 7);
    const double rc = 2 * std::sqrt(mean_c7 / (mean_c7 + std::pow(25.0, 7)));
    const double lightness_offset = std::pow(mean_lightness - 50, 2);
    const double sl = 1 + 0.015 * lightness_offset / std::sqrt(20 + lightness_offset);
    const double sc = 1 + 0.045 * mean_c;
    const double sh = 1 + 0.015 * mean_c * t;
    const double rt = -std::sin(Radians(2 * delta_theta)) * rc;

    const double lightness_term = delta_lightness / sl;
    const double chroma_term = delta_chroma / sc;
    const double hue_term = delta_big_hue / sh;
    return std::sqrt(lightness_term * lightness_term + chroma_term * chroma_term +
                     hue_term * hue_term + rt * chroma_term * hue_term);
}

}  // namespace brawlhue::contrast
