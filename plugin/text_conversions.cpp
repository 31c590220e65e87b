#include "plugin/text_conversions.h"

#include <charconv>

#include "plugin/com_guard.h"
#include "plugin/unique_bstr.h"

namespace brawlhue {
namespace {

// The English names of true and false and the "." decimal point, with no user overrides.
constexpr LCID kFixedLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

}  // namespace

VARIANT_BOOL BooleanFromText(BSTR text) {
    // The platform's conversion stops at a NUL, which would make "True" of "True\0x"; and a
    // NULL text is the empty text, a mismatch on every platform.
    const std::u16string_view units = com::TextOf(text);
    if (units.empty() || units.find(u'\0') != std::u16string_view::npos) {
        throw com::HResultError(DISP_E_TYPEMISMATCH);
    }
    VARIANT_BOOL value = VARIANT_FALSE;
    com::ThrowIfFailed(::VarBoolFromStr(text, kFixedLocale, LOCALE_NOUSEROVERRIDE, &value));
    return value != VARIANT_FALSE ? VARIANT_TRUE : VARIANT_FALSE;
}

std::u16string DecimalText(long number) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return std::u16string(digits, end);
}

}  // namespace brawlhue
