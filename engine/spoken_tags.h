// Spoken tags: with tags on, a coloured message begins with one word naming its outcome, so
// that a screen reader says first what colour says to the eye. Each word is short and differs
// from the others in its first syllable.
#pragma once

#include <array>
#include <string_view>

#include "engine/outcome.h"

namespace brawlhue {

// In the order of Outcome.
inline constexpr std::array<std::u16string_view, kOutcomeCount> kSpokenTags{
    u"Hit", u"Miss", u"Ouch", u"Safe", u"Event",
};

// Between the tag and the message: a screen reader pauses at it.
inline constexpr std::u16string_view kSpokenTagSeparator = u": ";

namespace tag_checks {

constexpr bool AllShortAndLettersOnly() {
    for (std::u16string_view tag : kSpokenTags) {
        if (tag.empty() || tag.size() > 6) {
            return false;
        }
        for (char16_t unit : tag) {
            if (!((unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z'))) {
                return false;
            }
        }
    }
    return true;
}
static_assert(AllShortAndLettersOnly(), "a spoken tag is one word of at most six letters");

}  // namespace tag_checks

}  // namespace brawlhue
