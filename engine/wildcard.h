// Whole-line comparison of game text against the fixed texts of the category tables.
#pragma once

#include <string_view>

namespace brawlhue {

// A wildcard pattern: "*" any run, "?" one character, "#" one digit, "[...]" one character of a
// list. A distinct type so that a line can never be passed where a pattern is expected.
class Pattern {
  public:
    constexpr explicit Pattern(std::u16string_view text) noexcept : text_(text) {}
    constexpr std::u16string_view text() const noexcept { return text_; }

  private:
    std::u16string_view text_;
};

// A text compared character for character; wildcard characters in it are ordinary.
class ExactText {
  public:
    constexpr explicit ExactText(std::u16string_view text) noexcept : text_(text) {}
    constexpr std::u16string_view text() const noexcept { return text_; }

  private:
    std::u16string_view text_;
};

// True when the whole line, first to last character, fits the whole pattern. Characters of the
// line are always ordinary. Works in place, allocates nothing; time is bounded by the product of
// the two lengths.
bool MatchesPattern(std::u16string_view line, Pattern pattern) noexcept;

// True when the line and the text have the same length and the same code unit everywhere.
constexpr bool EqualsExactly(std::u16string_view line, ExactText text) noexcept {
    return line == text.text();
}

}  // namespace brawlhue
