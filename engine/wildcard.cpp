#include "engine/wildcard.h"

#include <cstddef>

namespace brawlhue {
namespace {

constexpr char16_t kAnyRun = u'*';
constexpr char16_t kAnyOne = u'?';
constexpr char16_t kAnyDigit = u'#';
constexpr char16_t kListOpen = u'[';
constexpr char16_t kListClose = u']';
constexpr char16_t kListInvert = u'!';
constexpr char16_t kListRange = u'-';

// One pattern element that is not "*": how many pattern units it spans, and whether it stands
// for no line character at all (the empty list "[]").
struct Element {
    std::size_t width;
    bool empty_run;
};

// A list "[...]" runs to the next "]". A "[" with no "]" after it is an ordinary character.
// last_close, the place of the pattern's last "]" (npos for none), tells that without a scan:
// otherwise each such "[" would scan to the pattern's end at every step of every retry, and a
// run of them would make the match cubic. The scan for a list that closes costs no more than
// the list's own width, which the match then moves past.
Element ReadElement(std::u16string_view pattern, std::size_t at, std::size_t last_close) noexcept {
    if (pattern[at] != kListOpen || last_close == std::u16string_view::npos || last_close <= at) {
        return {1, false};
    }
    const std::size_t close = pattern.find(kListClose, at + 1);
    return {close - at + 1, close == at + 1};
}

// Whether one line character fits the list body between "[" and "]" (not empty).
bool ListAccepts(std::u16string_view body, char16_t c) noexcept {
    bool inverted = false;
    if (body.front() == kListInvert) {
        inverted = true;
        body.remove_prefix(1);
    }
    bool found = false;
    std::size_t i = 0;
    while (i < body.size() && !found) {
        // "x-y" is a range; a "-" with nothing on one side of it is an ordinary character.
        // A range written from a higher to a lower code holds no character.
        if (i + 2 < body.size() && body[i + 1] == kListRange) {
            found = body[i] <= c && c <= body[i + 2];
            i += 3;
        } else {
            found = body[i] == c;
            i += 1;
        }
    }
    return found != inverted;
}

bool ElementAccepts(std::u16string_view pattern, std::size_t at, Element element,
                    char16_t c) noexcept {
    const char16_t p = pattern[at];
    if (element.width > 1) {
        return ListAccepts(pattern.substr(at + 1, element.width - 2), c);
    }
    if (p == kAnyOne) {
        return true;
    }
    if (p == kAnyDigit) {
        return c >= u'0' && c <= u'9';
    }
    return p == c;
}

}  // namespace

bool MatchesPattern(std::u16string_view line, Pattern pattern_text) noexcept {
    const std::u16string_view pattern = pattern_text.text();
    const std::size_t last_close = pattern.rfind(kListClose);
    std::size_t li = 0;
    std::size_t pi = 0;
    // The most recent "*": where the pattern resumes after it, and the line position it has
    // taken up to. Letting it take one more character is the only retry ever needed.
    bool have_star = false;
    std::size_t star_resume = 0;
    std::size_t star_line = 0;

    while (li < line.size()) {
        if (pi < pattern.size() && pattern[pi] == kAnyRun) {
            have_star = true;
            star_resume = ++pi;
            star_line = li;
            continue;
        }
        if (pi < pattern.size()) {
            const Element element = ReadElement(pattern, pi, last_close);
            if (element.empty_run) {
                pi += element.width;
                continue;
            }
            if (ElementAccepts(pattern, pi, element, line[li])) {
                pi += element.width;
                ++li;
                continue;
            }
        }
        if (!have_star) {
            return false;
        }
        li = ++star_line;
        pi = star_resume;
    }
    // The line is used up: what is left of the pattern must be able to stand for nothing.
    while (pi < pattern.size()) {
        if (pattern[pi] == kAnyRun) {
            ++pi;
            continue;
        }
        const Element element = ReadElement(pattern, pi, last_close);
        if (!element.empty_run) {
            return false;
        }
        pi += element.width;
    }
    return true;
}

}  // namespace brawlhue
