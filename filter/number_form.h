// The number test of the "I" prompt opening, done without the C library so that the locale can
// never change which lines count as prompts.
#pragma once

#include <string_view>

namespace brawlhue {

// True when text comes back unchanged from being read as a number by the leading-number rule
// (optional sign, digits, optional point and digits, optional exponent; reading stops at the
// first character that cannot continue the number; nothing readable is 0) and written back in
// the general decimal form (at most 15 significant digits, "-" only for a negative value, no
// "+", no leading zeros; exponent form "1E+15", "1.5E-06" below 0.00001 and from 1E+15 on).
bool IsGeneralNumberForm(std::u16string_view text) noexcept;

}  // namespace brawlhue
