// ANSI SGR colour sequences: colour and attribute names turned into codes, and text wrapped in
// them. Everything here works in fixed storage; text is only built when a caller asks for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brawlhue {

inline constexpr std::u16string_view kResetSequence = u"\x1b[0m";

// An opening colour sequence, ESC "[" ... "m". The longest one the tables can give is
// ESC "[3x;4x;y" "m", ten units.
class ColourSequence {
  public:
    static constexpr std::size_t kCapacity = 10;

    constexpr std::u16string_view view() const noexcept { return {units_.data(), size_}; }
    constexpr std::size_t size() const noexcept { return size_; }

    constexpr void Append(std::u16string_view part) noexcept {
        for (char16_t unit : part) {
            units_[size_++] = unit;
        }
    }

  private:
    std::array<char16_t, kCapacity> units_{};
    std::size_t size_ = 0;
};

// Text wrapped in a colour: the opening sequence, the text unchanged, the reset sequence. It
// refers to the text; nothing is copied until CopyTo or ToString.
struct ColouredText {
    ColourSequence opening;
    std::u16string_view text;

    std::size_t size() const noexcept {
        return opening.size() + text.size() + kResetSequence.size();
    }
    // Writes size() units at out and returns the end of what was written.
    char16_t* CopyTo(char16_t* out) const noexcept;
    std::u16string ToString() const;
};

// The opening sequence for a foreground, background and attribute name. Names are compared
// after lower-casing; an unlisted foreground gives the reset code ESC "[0" alone, an unlisted
// background or attribute is left out.
ColourSequence BuildColourSequence(std::u16string_view foreground, std::u16string_view background,
                                   std::u16string_view attribute) noexcept;

// The text wrapped in the colour that the three names give.
inline ColouredText ApplyColor(std::u16string_view text, std::u16string_view foreground,
                               std::u16string_view background,
                               std::u16string_view attribute) noexcept {
    return {BuildColourSequence(foreground, background, attribute), text};
}

}  // namespace brawlhue
