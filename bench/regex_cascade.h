// The cascade as MUD clients evaluate triggers: one anchored, JIT-compiled PCRE2 regex per
// table entry, tried in order, with one match block allocated up front.
#pragma once

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <string_view>
#include <vector>

namespace brawlhue::bench {

class RegexCascade {
  public:
    RegexCascade();
    ~RegexCascade();
    RegexCascade(const RegexCascade&) = delete;
    RegexCascade& operator=(const RegexCascade&) = delete;

    // Same answer as reference::PlainCascade: -2 speech, -1 nothing, else the cascade row.
    int Classify(std::u16string_view message) const;

  private:
    struct CompiledTest {
        bool gated;
        std::vector<pcre2_code*> entries;
    };
    bool Holds(const CompiledTest& test, std::u16string_view line) const;

    CompiledTest attack_verb_;
    CompiledTest speech_;
    std::vector<CompiledTest> cascade_;
    pcre2_match_data* match_ = nullptr;
};

}  // namespace brawlhue::bench
