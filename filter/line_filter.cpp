#include "filter/line_filter.h"

#include <algorithm>

#include "engine/colorizer.h"
#include "filter/prompt.h"

namespace brawlhue {

char16_t* RebuiltLine::CopyTo(char16_t* out) const noexcept {
    out = std::copy(kResetSequence.begin(), kResetSequence.end(), out);
    out = std::copy(prompt.begin(), prompt.end(), out);
    return message.CopyTo(out);
}

std::u16string RebuiltLine::ToString() const {
    std::u16string result(size(), u'\0');
    CopyTo(result.data());
    return result;
}

std::optional<RebuiltLine> FilterLine(std::u16string_view line, std::int16_t enabled,
                                      Appearance appearance) noexcept {
    const std::u16string_view message = GetNonPrompt(line);
    const std::optional<ColouredText> coloured = ColorizeLine(message, enabled, appearance);
    if (!coloured) {
        return std::nullopt;
    }
    // The message is a tail of the line, so what stands before it is the prompt part.
    return RebuiltLine{line.substr(0, line.size() - message.size()), *coloured};
}

}  // namespace brawlhue
