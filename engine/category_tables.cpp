#include "engine/category_tables.h"

#include "engine/wildcard.h"

namespace brawlhue {

bool CategoryTest::operator()(std::u16string_view line) const noexcept {
    if (gated && !HasAttackVerb(line)) {
        return false;
    }
    for (const Entry& entry : entries) {
        const bool holds = entry.kind == kExact ? EqualsExactly(line, ExactText(entry.text))
                                                : MatchesPattern(line, Pattern(entry.text));
        if (holds) {
            return true;
        }
    }
    return false;
}

}  // namespace brawlhue
