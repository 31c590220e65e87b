#include "bench/hyperscan_cascade.h"

#include <stdexcept>
#include <string>

#include "reference/plain_cascade.h"

namespace brawlhue::bench {

HyperscanCascade::HyperscanCascade() : entries_(NumberAllEntries()) {
    std::vector<std::string> regexes;
    std::vector<const char*> expressions;
    std::vector<unsigned int> flags;
    std::vector<unsigned int> ids;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        regexes.push_back("^" + Utf8Regex(*entries_[i].entry) + "\\z");
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        expressions.push_back(regexes[i].c_str());
        flags.push_back(HS_FLAG_DOTALL | HS_FLAG_SINGLEMATCH | HS_FLAG_UTF8);
        ids.push_back(static_cast<unsigned int>(i));
    }
    hs_compile_error_t* error = nullptr;
    if (hs_compile_multi(expressions.data(), flags.data(), ids.data(),
                         static_cast<unsigned int>(expressions.size()), HS_MODE_BLOCK, nullptr,
                         &database_, &error) != HS_SUCCESS) {
        const std::string message = error != nullptr ? error->message : "unknown error";
        hs_free_compile_error(error);
        throw std::runtime_error("Hyperscan cannot compile the tables: " + message);
    }
    if (hs_alloc_scratch(database_, &scratch_) != HS_SUCCESS) {
        hs_free_database(database_);
        throw std::runtime_error("Hyperscan cannot allocate its scratch space");
    }
}

HyperscanCascade::~HyperscanCascade() {
    hs_free_scratch(scratch_);
    hs_free_database(database_);
}

int HyperscanCascade::OnMatch(unsigned int id, unsigned long long, unsigned long long, unsigned int,
                              void* context) {
    auto* self = static_cast<const HyperscanCascade*>(context);
    self->holding_.Add(self->entries_[id].test);
    return 0;  // go on: every entry that holds is wanted
}

int HyperscanCascade::Classify(std::u16string_view message, std::string_view utf8) const {
    if (NeedsUnitWildcards(message)) {
        return reference::PlainCascade(message);
    }
    holding_.Clear();
    hs_scan(database_, utf8.data(), static_cast<unsigned int>(utf8.size()), 0, scratch_, OnMatch,
            const_cast<HyperscanCascade*>(this));
    return holding_.Verdict();
}

}  // namespace brawlhue::bench
