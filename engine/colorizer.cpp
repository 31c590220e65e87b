#include "engine/colorizer.h"

namespace brawlhue {

Classification ClassifyMessage(std::u16string_view message) noexcept {
    if (IsSpeech(message)) {
        return {MessageKind::kSpeech, nullptr};
    }
    for (const CascadeRow& row : kCascade) {
        if ((*row.test)(message)) {
            return {MessageKind::kCategory, &row};
        }
    }
    return {MessageKind::kPlain, nullptr};
}

std::optional<ColouredText> ColorizeLine(std::u16string_view message,
                                         std::int16_t enabled) noexcept {
    if (enabled == 0) {
        return std::nullopt;
    }
    const Classification found = ClassifyMessage(message);
    if (found.kind != MessageKind::kCategory) {
        return std::nullopt;
    }
    const CascadeRow& row = *found.row;
    return ApplyColor(message, row.foreground, row.background, row.attribute);
}

}  // namespace brawlhue
