#include "bench/re2_set_cascade.h"

#include <stdexcept>
#include <string>

#include "reference/plain_cascade.h"

namespace brawlhue::bench {
namespace {

re2::RE2::Options SetOptions() {
    re2::RE2::Options options;
    options.set_dot_nl(true);  // "*" and "?" take any character, line ends included
    options.set_max_mem(std::int64_t{256} << 20);
    return options;
}

}  // namespace

Re2SetCascade::Re2SetCascade()
    : entries_(NumberAllEntries()), set_(SetOptions(), re2::RE2::ANCHOR_BOTH) {
    for (const NumberedEntry& entry : entries_) {
        std::string error;
        if (set_.Add(Utf8Regex(*entry.entry), &error) < 0) {
            throw std::runtime_error("RE2 cannot parse an entry: " + error);
        }
    }
    if (!set_.Compile()) {
        throw std::runtime_error("RE2 cannot compile the set");
    }
    matched_.reserve(entries_.size());
}

int Re2SetCascade::Classify(std::u16string_view message, std::string_view utf8) const {
    if (NeedsUnitWildcards(message)) {
        return reference::PlainCascade(message);
    }
    re2::RE2::Set::ErrorInfo error{};
    if (!set_.Match(re2::StringPiece(utf8.data(), utf8.size()), &matched_, &error) &&
        error.kind != re2::RE2::Set::kNoError) {
        throw std::runtime_error("RE2::Set ran out of memory on a message");
    }
    HoldingTests holding;
    for (int id : matched_) {
        holding.Add(entries_[static_cast<std::size_t>(id)].test);
    }
    return holding.Verdict();
}

}  // namespace brawlhue::bench
