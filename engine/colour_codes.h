// ANSI SGR colour sequences: colour and attribute names turned into codes, and text wrapped in
// them. Everything here works in fixed storage; text is only built when a caller asks for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace brawlhue {

inline constexpr std::u16string_view kResetSequence = u"\x1b[0m";

// A short run of units in fixed storage: a colour sequence, or the opening of a coloured
// message. Built when the program is compiled, so a line costs no allocation for it.
template <std::size_t Capacity>
class FixedUnits {
  public:
    static constexpr std::size_t kCapacity = Capacity;

    constexpr std::u16string_view view() const noexcept { return {units_.data(), size_}; }
    constexpr std::size_t size() const noexcept { return size_; }

    constexpr void Append(std::u16string_view part) noexcept {
        for (char16_t unit : part) {
            units_[size_++] = unit;
        }
    }

  private:
    std::array<char16_t, Capacity> units_{};
    std::size_t size_ = 0;
};

// An opening colour sequence, ESC "[" ... "m". The names give at most ESC "[3x;4x;y" "m", ten
// units; a palette's sequence may hold a few more parameters.
using ColourSequence = FixedUnits<16>;

// What stands in front of a coloured message: its colour sequence, and with spoken tags the
// category's word behind it.
using MessageOpening = FixedUnits<32>;

// Text wrapped in a colour: the opening, the text unchanged, the reset sequence. It refers to
// the text; nothing is copied until CopyTo or ToString.
struct ColouredText {
    MessageOpening opening;
    std::u16string_view text;

    std::size_t size() const noexcept {
        return opening.size() + text.size() + kResetSequence.size();
    }
    // Writes size() units at out and returns the end of what was written.
    char16_t* CopyTo(char16_t* out) const noexcept;
    std::u16string ToString() const;
};

namespace colour_detail {

struct ColourName {
    std::u16string_view name;
    std::u16string_view foreground;
    std::u16string_view background;
};

inline constexpr ColourName kColours[] = {
    {u"black", u"\x1b[30", u";40"}, {u"red", u"\x1b[31", u";41"},
    {u"green", u"\x1b[32", u";42"}, {u"yellow", u"\x1b[33", u";43"},
    {u"blue", u"\x1b[34", u";44"},  {u"magenta", u"\x1b[35", u";45"},
    {u"cyan", u"\x1b[36", u";46"},  {u"white", u"\x1b[37", u";47"},
};

struct AttributeName {
    std::u16string_view name;
    std::u16string_view code;
};

// No name gives SGR 3: the codes go from 2 to 4.
inline constexpr AttributeName kAttributes[] = {
    {u"bold", u";1"},
    {u"dim", u";2"},
    {u"underline", u";4"},
    {u"blink", u";5"},
};

inline constexpr std::u16string_view kResetCode = u"\x1b[0";
inline constexpr std::u16string_view kCodeEnd = u"m";

// The table names are plain ASCII, so only A to Z need lowering; any other unit stays as it is
// and can therefore never equal a table name.
constexpr char16_t LowerAscii(char16_t c) noexcept {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

constexpr bool EqualsLowered(std::u16string_view name, std::u16string_view lower) noexcept {
    if (name.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (LowerAscii(name[i]) != lower[i]) {
            return false;
        }
    }
    return true;
}

// The index of the row with the name, or N for none. (An index rather than a pointer: some
// compilers cannot compare a pointer into a table with null while evaluating a constant.)
template <typename Row, std::size_t N>
constexpr std::size_t FindName(const Row (&rows)[N], std::u16string_view name) noexcept {
    for (std::size_t i = 0; i < N; ++i) {
        if (EqualsLowered(name, rows[i].name)) {
            return i;
        }
    }
    return N;
}

}  // namespace colour_detail

// The opening sequence for a foreground, background and attribute name. Names are compared
// after lower-casing; an unlisted foreground gives the reset code ESC "[0" alone, an unlisted
// background or attribute is left out. Constant, so that fixed names cost nothing per line.
constexpr ColourSequence BuildColourSequence(std::u16string_view foreground,
                                             std::u16string_view background,
                                             std::u16string_view attribute) noexcept {
    using namespace colour_detail;
    ColourSequence sequence;
    const std::size_t fore = FindName(kColours, foreground);
    if (fore == std::size(kColours)) {
        sequence.Append(kResetCode);
    } else {
        sequence.Append(kColours[fore].foreground);
        if (const std::size_t back = FindName(kColours, background); back < std::size(kColours)) {
            sequence.Append(kColours[back].background);
        }
        if (const std::size_t attr = FindName(kAttributes, attribute);
            attr < std::size(kAttributes)) {
            sequence.Append(kAttributes[attr].code);
        }
    }
    sequence.Append(kCodeEnd);
    return sequence;
}

// An opening that is the colour sequence alone.
constexpr MessageOpening OpeningOf(const ColourSequence& sequence) noexcept {
    MessageOpening opening;
    opening.Append(sequence.view());
    return opening;
}

// The text wrapped in the colour that the three names give.
inline ColouredText ApplyColor(std::u16string_view text, std::u16string_view foreground,
                               std::u16string_view background,
                               std::u16string_view attribute) noexcept {
    return {OpeningOf(BuildColourSequence(foreground, background, attribute)), text};
}

}  // namespace brawlhue
