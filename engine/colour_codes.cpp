#include "engine/colour_codes.h"

#include <algorithm>

namespace brawlhue {
namespace {

struct ColourName {
    std::u16string_view name;
    std::u16string_view foreground;
    std::u16string_view background;
};

constexpr ColourName kColours[] = {
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
constexpr AttributeName kAttributes[] = {
    {u"bold", u";1"},
    {u"dim", u";2"},
    {u"underline", u";4"},
    {u"blink", u";5"},
};

constexpr std::u16string_view kResetCode = u"\x1b[0";
constexpr std::u16string_view kCodeEnd = u"m";

// The table names are plain ASCII, so only A to Z need lowering; any other unit stays as it is
// and can therefore never equal a table name.
constexpr char16_t LowerAscii(char16_t c) noexcept {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

constexpr bool EqualsLowered(std::u16string_view name, std::u16string_view lower) noexcept {
    return name.size() == lower.size() &&
           std::equal(name.begin(), name.end(), lower.begin(),
                      [](char16_t a, char16_t b) { return LowerAscii(a) == b; });
}

template <typename Row, std::size_t N>
constexpr const Row* FindName(const Row (&rows)[N], std::u16string_view name) noexcept {
    for (const Row& row : rows) {
        if (EqualsLowered(name, row.name)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

ColourSequence BuildColourSequence(std::u16string_view foreground, std::u16string_view background,
                                   std::u16string_view attribute) noexcept {
    ColourSequence sequence;
    const ColourName* fore = FindName(kColours, foreground);
    if (fore == nullptr) {
        sequence.Append(kResetCode);
    } else {
        sequence.Append(fore->foreground);
        if (const ColourName* back = FindName(kColours, background)) {
            sequence.Append(back->background);
        }
        if (const AttributeName* attr = FindName(kAttributes, attribute)) {
            sequence.Append(attr->code);
        }
    }
    sequence.Append(kCodeEnd);
    return sequence;
}

char16_t* ColouredText::CopyTo(char16_t* out) const noexcept {
    const std::u16string_view open = opening.view();
    out = std::copy(open.begin(), open.end(), out);
    out = std::copy(text.begin(), text.end(), out);
    return std::copy(kResetSequence.begin(), kResetSequence.end(), out);
}

std::u16string ColouredText::ToString() const {
    std::u16string result(size(), u'\0');
    CopyTo(result.data());
    return result;
}

}  // namespace brawlhue
