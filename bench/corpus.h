// A reproducible stream of received lines in the mix a session really shows: mostly room text,
// chatter and bare prompts, a fifth combat, a tenth speech, a share of them behind prompts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brawlhue::bench {

struct CorpusOptions {
    std::size_t lines = 20000;
    std::uint32_t seed = 20261207;
};

std::vector<std::u16string> MakeCorpus(const CorpusOptions& options = {});

}  // namespace brawlhue::bench
