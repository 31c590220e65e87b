#include "bench/entry_set_cascade.h"

#include "engine/colorizer.h"
#include "reference/plain_cascade.h"

namespace brawlhue::bench {
namespace {

constexpr std::size_t kGateTest = 0;
constexpr std::size_t kSpeechTest = 1;
constexpr std::size_t kFirstRowTest = 2;

}  // namespace

std::vector<NumberedEntry> NumberAllEntries() {
    std::vector<NumberedEntry> entries;
    for (std::size_t test = 0; test < kAllTests.size(); ++test) {
        for (const Entry& entry : kAllTests[test]->entries) {
            entries.push_back({test, &entry});
        }
    }
    return entries;
}

std::string Utf8Regex(const Entry& entry) {
    std::string regex;
    for (char16_t c : entry.text) {
        if (entry.kind == kPattern && c == u'*') {
            regex += ".*";
        } else if (entry.kind == kPattern && c == u'?') {
            regex += '.';
        } else {
            // The tables are printable ASCII, so each unit is one byte.
            const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                               (c >= u'0' && c <= u'9') || c == u' ';
            if (!plain) {
                regex += '\\';
            }
            regex += static_cast<char>(c);
        }
    }
    return regex;
}

int HoldingTests::Verdict() const noexcept {
    if (bits_ & (1u << kSpeechTest)) {
        return reference::kSpeech;
    }
    const bool gate = (bits_ & (1u << kGateTest)) != 0;
    for (std::size_t row = 0; row < kCascade.size(); ++row) {
        const std::size_t test = kFirstRowTest + row;
        if ((bits_ & (1u << test)) && (gate || !kAllTests[test]->gated)) {
            return static_cast<int>(row);
        }
    }
    return reference::kNoCategory;
}

bool NeedsUnitWildcards(std::u16string_view message) noexcept {
    for (char16_t unit : message) {
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

}  // namespace brawlhue::bench
