// The cascade as the fastest multi-pattern regex engine runs it: every table entry an anchored
// pattern in one Hyperscan block-mode database, one scan per message collecting the tests that
// hold, then the cascade picks the first. Scans UTF-8; see NeedsUnitWildcards for the messages
// it hands to the plain cascade instead.
#pragma once

#include <hs/hs.h>

#include <cstddef>
#include <string_view>
#include <vector>

#include "bench/entry_set_cascade.h"

namespace brawlhue::bench {

class HyperscanCascade {
  public:
    HyperscanCascade();
    ~HyperscanCascade();
    HyperscanCascade(const HyperscanCascade&) = delete;
    HyperscanCascade& operator=(const HyperscanCascade&) = delete;

    // Same answer as reference::PlainCascade. utf8 is the message in UTF-8.
    int Classify(std::u16string_view message, std::string_view utf8) const;

  private:
    static int OnMatch(unsigned int id, unsigned long long from, unsigned long long to,
                       unsigned int flags, void* context);

    std::vector<NumberedEntry> entries_;
    hs_database_t* database_ = nullptr;
    hs_scratch_t* scratch_ = nullptr;
    mutable HoldingTests holding_;
};

}  // namespace brawlhue::bench
