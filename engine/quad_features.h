// A line read once into the set of "key quads" it holds: the four-unit sequences that table
// entries require, each mapped to one of 128 feature bits through a lookup table. Every step of
// the scan is two table loads ORed into registers, so the line is read at close to the speed of
// a plain checksum; an entry whose key quad's bit is missing cannot hold for the line.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace brawlhue {

inline constexpr unsigned kQuadBucketBits = 13;
inline constexpr std::size_t kQuadBuckets = std::size_t{1} << kQuadBucketBits;
inline constexpr std::size_t kFeatureCount = 128;

// Four consecutive units as one number, the first in the low bits.
constexpr std::uint64_t QuadValue(char16_t a, char16_t b, char16_t c, char16_t d) noexcept {
    return std::uint64_t{a} | (std::uint64_t{b} << 16) | (std::uint64_t{c} << 32) |
           (std::uint64_t{d} << 48);
}

// QuadValue of the four units at units: one load where the layout in memory already is that
// number.
inline std::uint64_t LoadQuad(const char16_t* units) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t quad;
        std::memcpy(&quad, units, sizeof quad);
        return quad;
    } else {
        return QuadValue(units[0], units[1], units[2], units[3]);
    }
}

constexpr std::uint32_t QuadBucket(std::uint64_t quad) noexcept {
    return static_cast<std::uint32_t>((quad * 0x9E3779B97F4A7C15u) >> (64 - kQuadBucketBits));
}

class FeatureSet {
  public:
    constexpr bool Has(std::size_t feature) const noexcept {
        return (words_[feature / 64] >> (feature % 64)) & 1u;
    }
    constexpr void Add(std::size_t feature) noexcept {
        words_[feature / 64] |= std::uint64_t{1} << (feature % 64);
    }
    constexpr std::uint64_t word(std::size_t w) const noexcept { return words_[w]; }

    static constexpr std::size_t kWords = kFeatureCount / 64;

  private:
    friend class QuadTable;
    std::array<std::uint64_t, kWords> words_{};
};

// Which feature, if any, each bucket of quads stands for. Quads of different keys that share a
// bucket share its feature: the set can only say too much, never too little.
class QuadTable {
  public:
    // Feature of the bucket, or none when the bucket holds no key.
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

    // The features of every quad of the line.
    FeatureSet Scan(std::u16string_view line) const noexcept {
        static_assert(FeatureSet::kWords == 2);
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        const char16_t* units = line.data();
        for (std::size_t i = 0; i + 4 <= line.size(); ++i) {
            const auto& bits = bits_[feature_of_bucket_[QuadBucket(LoadQuad(units + i))]];
            low |= bits[0];
            high |= bits[1];
        }
        FeatureSet set;
        set.words_ = {low, high};
        return set;
    }

  private:
    std::array<std::uint8_t, kQuadBuckets> feature_of_bucket_{};
    std::array<std::array<std::uint64_t, FeatureSet::kWords>, 256> bits_{};
};

}  // namespace brawlhue
