// The cascade through RE2::Set: every table entry an anchored regex of one set, one match per
// message giving the entries that hold, then the cascade picks the first. Matches UTF-8; see
// NeedsUnitWildcards for the messages it hands to the plain cascade instead.
#pragma once

#include <re2/set.h>

#include <string_view>
#include <vector>

#include "bench/entry_set_cascade.h"

namespace brawlhue::bench {

class Re2SetCascade {
  public:
    Re2SetCascade();

    // Same answer as reference::PlainCascade. utf8 is the message in UTF-8.
    int Classify(std::u16string_view message, std::string_view utf8) const;

  private:
    std::vector<NumberedEntry> entries_;
    re2::RE2::Set set_;
    mutable std::vector<int> matched_;  // kept from message to message: no allocation per scan
};

}  // namespace brawlhue::bench
