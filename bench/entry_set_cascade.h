// What the multi-pattern peers share: every table entry numbered once, its text as a regex over
// UTF-8, and the cascade applied to the set of entries that one scan found to hold.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/category_tables.h"

namespace brawlhue::bench {

// One entry of one test; the tests are numbered as in kAllTests (the gate, speech, the rows).
struct NumberedEntry {
    std::size_t test;
    const Entry* entry;
};

// Every entry of every test, in kAllTests order.
std::vector<NumberedEntry> NumberAllEntries();

// The entry as a regex over UTF-8 text, anchored by the caller: "*" any run, "?" any one code
// point, every other character escaped where it is not a letter, a digit or a blank.
std::string Utf8Regex(const Entry& entry);

// Which tests hold for a message, from the entries a scan reported.
class HoldingTests {
  public:
    void Clear() noexcept { bits_ = 0; }
    void Add(std::size_t test) noexcept { bits_ |= 1u << test; }
    // The cascade's verdict, numbered as reference::PlainCascade numbers it: speech first, then
    // the rows in order, a gated row only when the gate holds.
    int Verdict() const noexcept;

  private:
    unsigned bits_ = 0;
    static_assert(kAllTests.size() <= 32);
};

// A "?" is one UTF-16 unit, which a UTF-8 engine reads as one code point: the two differ on a
// message that holds a surrogate, and such a message goes to the plain cascade instead.
bool NeedsUnitWildcards(std::u16string_view message) noexcept;

}  // namespace brawlhue::bench
