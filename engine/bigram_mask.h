// The set of adjacent code-unit pairs of a line, folded into 512 bits in one pass. A table entry
// can only hold for a line that contains every pair of its literal text, so a missing bit rules
// the entry out without looking at the line again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brawlhue {

inline constexpr std::size_t kBigramBits = 512;

constexpr std::uint16_t BigramBit(char16_t first, char16_t second) noexcept {
    const std::uint32_t pair = (static_cast<std::uint32_t>(first) << 16) | second;
    return static_cast<std::uint16_t>((pair * 0x9E3779B1u) >> 23);
}
static_assert(kBigramBits == 1u << (32 - 23));

class BigramMask {
  public:
    static BigramMask Of(std::u16string_view line) noexcept {
        BigramMask mask;
        for (std::size_t i = 1; i < line.size(); ++i) {
            mask.Set(BigramBit(line[i - 1], line[i]));
        }
        return mask;
    }

    bool Has(std::uint16_t bit) const noexcept { return (words_[bit >> 6] >> (bit & 63)) & 1u; }

  private:
    void Set(std::uint16_t bit) noexcept { words_[bit >> 6] |= std::uint64_t{1} << (bit & 63); }

    std::array<std::uint64_t, kBigramBits / 64> words_{};
};

}  // namespace brawlhue
