#include "contrast/terminal_colours.h"

#include <utility>

namespace brawlhue::contrast {

Look LookOf(std::u16string_view sequence, const TerminalColours& terminal) noexcept {
    constexpr int kDefault = -1;
    int foreground = kDefault;
    int background = kDefault;
    bool bold = false;
    bool reverse = false;
    if (sequence.starts_with(u"\x1b[")) {
        sequence.remove_prefix(2);
    }
    if (sequence.ends_with(u'm')) {
        sequence.remove_suffix(1);
    }
    // An empty parameter counts as 0, as in ESC "[m".
    int parameter = 0;
    for (std::size_t at = 0; at <= sequence.size(); ++at) {
        if (at < sequence.size() && sequence[at] >= u'0' && sequence[at] <= u'9') {
            parameter = parameter * 10 + (sequence[at] - u'0');
            continue;
        }
        if (parameter == 0) {
            foreground = background = kDefault;
            bold = reverse = false;
        } else if (parameter == 1) {
            bold = true;
        } else if (parameter == 7) {
            reverse = true;
        } else if (parameter == 22) {
            bold = false;
        } else if (parameter == 27) {
            reverse = false;
        } else if (parameter >= 30 && parameter <= 37) {
            foreground = parameter - 30;
        } else if (parameter == 39) {
            foreground = kDefault;
        } else if (parameter >= 40 && parameter <= 47) {
            background = parameter - 40;
        } else if (parameter == 49) {
            background = kDefault;
        }
        parameter = 0;
    }
    Look look = PlainLook(terminal);
    if (foreground != kDefault) {
        look.foreground = terminal.ansi[static_cast<std::size_t>(foreground + (bold ? 8 : 0))];
    }
    if (background != kDefault) {
        look.background = terminal.ansi[static_cast<std::size_t>(background)];
    }
    if (reverse) {
        std::swap(look.foreground, look.background);
    }
    return look;
}

}  // namespace brawlhue::contrast
