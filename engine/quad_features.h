// A line read once into the set of "key quads" it holds: the four-unit sequences that table
// entries require, each mapped to one of 128 feature bits through a lookup table. The scan steps
// two units at a time (every key is five units long, so both of its quads stand for it and one of
// them lies where the scan reads), and each step is two table loads ORed into registers, so the
// line is read at about the speed of a plain checksum. An entry whose key's feature is missing
// cannot hold for the line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/unit_search.h"

namespace brawlhue {

inline constexpr std::size_t kScanStride = 2;
// The units of a key: any run of this many units holds a quad at a place the scan reads.
inline constexpr std::size_t kKeyUnits = 4 + kScanStride - 1;

inline constexpr unsigned kQuadBucketBits = 13;
inline constexpr std::size_t kQuadBuckets = std::size_t{1} << kQuadBucketBits;
inline constexpr std::size_t kFeatureCount = 128;

constexpr std::uint32_t QuadBucket(std::uint64_t quad) noexcept {
    return static_cast<std::uint32_t>((quad * 0x9E3779B97F4A7C15u) >> (64 - kQuadBucketBits));
}

class FeatureSet {
  public:
    static constexpr std::size_t kWords = kFeatureCount / 64;

    constexpr explicit FeatureSet(const std::array<std::uint64_t, kWords>& words = {}) noexcept
        : words_(words) {}
    constexpr std::uint64_t word(std::size_t w) const noexcept { return words_[w]; }

  private:
    std::array<std::uint64_t, kWords> words_;
};

// Which feature, if any, each bucket of quads stands for. Quads of different keys that share a
// bucket share its feature: the set can only say too much, never too little.
class QuadTable {
  public:
    static constexpr std::uint8_t kNone = 0xFF;

    constexpr QuadTable() {
        for (std::uint8_t& feature : feature_of_bucket_) {
            feature = kNone;
        }
        for (std::size_t f = 0; f < kFeatureCount; ++f) {
            bits_[f][f / 64] = std::uint64_t{1} << (f % 64);
        }
        // bits_[kNone] stays all zero.
    }

    constexpr std::uint8_t FeatureOf(std::uint64_t quad) const noexcept {
        return feature_of_bucket_[QuadBucket(quad)];
    }
    constexpr void Assign(std::uint64_t quad, std::uint8_t feature) noexcept {
        feature_of_bucket_[QuadBucket(quad)] = feature;
    }

    // The features of the quads at every kScanStride-th place of the line.
    FeatureSet Scan(std::u16string_view line) const noexcept {
        static_assert(FeatureSet::kWords == 2);
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        const char16_t* const units = line.data();
        for (std::size_t at = 0; at + 4 <= line.size(); at += kScanStride) {
            const auto& bits = bits_[feature_of_bucket_[QuadBucket(LoadQuad(units + at))]];
            low |= bits[0];
            high |= bits[1];
        }
        return FeatureSet({low, high});
    }

  private:
    std::array<std::uint8_t, kQuadBuckets> feature_of_bucket_{};
    std::array<std::array<std::uint64_t, FeatureSet::kWords>, 256> bits_{};
};

}  // namespace brawlhue
