#include "reference/plain_cascade.h"

#include <cstddef>

#include "engine/category_tables.h"
#include "engine/colorizer.h"

namespace brawlhue::reference {

bool PlainMatch(std::u16string_view line, std::u16string_view pattern) noexcept {
    std::size_t li = 0;
    std::size_t pi = 0;
    std::size_t star = std::u16string_view::npos;
    std::size_t star_line = 0;
    while (li < line.size()) {
        if (pi < pattern.size() && pattern[pi] == u'*') {
            star = pi++;
            star_line = li;
        } else if (pi < pattern.size() && (pattern[pi] == u'?' || pattern[pi] == line[li])) {
            ++pi;
            ++li;
        } else if (star != std::u16string_view::npos) {
            pi = star + 1;
            li = ++star_line;
        } else {
            return false;
        }
    }
    while (pi < pattern.size() && pattern[pi] == u'*') {
        ++pi;
    }
    return pi == pattern.size();
}

namespace {

bool Holds(const CategoryTest& test, std::u16string_view line) noexcept {
    if (test.gated && !Holds(HasAttackVerb, line)) {
        return false;
    }
    for (const Entry& entry : test.entries) {
        const bool holds = entry.kind == kExact ? line == entry.text : PlainMatch(line, entry.text);
        if (holds) {
            return true;
        }
    }
    return false;
}

}  // namespace

int PlainCascade(std::u16string_view message) noexcept {
    if (Holds(IsSpeech, message)) {
        return kSpeech;
    }
    for (std::size_t row = 0; row < kCascade.size(); ++row) {
        if (Holds(*kCascade[row].test, message)) {
            return static_cast<int>(row);
        }
    }
    return kNoCategory;
}

}  // namespace brawlhue::reference
