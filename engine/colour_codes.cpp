#include "engine/colour_codes.h"

#include <algorithm>

namespace brawlhue {
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
