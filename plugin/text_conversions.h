// Conversions between automation text and numbers or booleans, the same on every machine
// whatever the user's locale.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>

namespace brawlhue {

// "True" or "False" in any letter case, or a number (true when not zero). Anything else, the
// empty text included, throws com::HResultError with DISP_E_TYPEMISMATCH.
VARIANT_BOOL BooleanFromText(BSTR text);

// Plain decimal: no leading zeros or blank, a minus sign only for a negative number.
std::u16string DecimalText(long number);

}  // namespace brawlhue
