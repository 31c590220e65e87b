#include "engine/compiled_entry.h"

namespace brawlhue {
namespace {

// Equal over the whole of both, "?" in the pattern standing for any unit.
bool RunMatches(std::u16string_view line, std::u16string_view run) noexcept {
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (run[i] != u'?' && run[i] != line[i]) {
            return false;
        }
    }
    return true;
}

// The first place at or after from where the run fits, or npos. A place is only compared in
// full when its first and last units fit: runs often begin with a blank, which game text is full
// of, and seldom end with one.
std::size_t FindRun(std::u16string_view line, std::u16string_view run, std::size_t from) noexcept {
    if (run.size() > line.size()) {
        return std::u16string_view::npos;
    }
    const std::size_t last = run.size() - 1;
    const char16_t first_unit = run.front();
    const char16_t last_unit = run.back();
    for (std::size_t at = from; at + last < line.size(); ++at) {
        if ((first_unit == u'?' || line[at] == first_unit) &&
            (last_unit == u'?' || line[at + last] == last_unit) &&
            RunMatches(line.substr(at, run.size()), run)) {
            return at;
        }
    }
    return std::u16string_view::npos;
}

}  // namespace

bool MatchesCompiled(std::u16string_view line, const CompiledEntry& entry) noexcept {
    if (entry.exact) {
        return line == entry.text;
    }
    if (line.size() < entry.min_length) {
        return false;
    }
    if (!entry.has_star) {
        return line.size() == entry.text.size() && RunMatches(line, entry.text);
    }
    const std::u16string_view prefix = entry.text.substr(0, entry.prefix_length);
    const std::u16string_view suffix = entry.text.substr(entry.text.size() - entry.suffix_length);
    if (!RunMatches(line, prefix) ||
        !RunMatches(line.substr(line.size() - suffix.size()), suffix)) {
        return false;
    }
    // Between the anchors, each run between two stars at its first place after the one before:
    // taking the first place never spoils a later run, so no other division needs trying.
    const std::u16string_view middle =
        line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
    std::u16string_view runs = entry.text.substr(
        entry.prefix_length, entry.text.size() - entry.prefix_length - entry.suffix_length);
    std::size_t at = 0;
    while (!runs.empty()) {
        runs.remove_prefix(1);  // the star in front of this run
        const std::size_t star = runs.find(u'*');
        const std::u16string_view run = runs.substr(0, star);
        if (!run.empty()) {
            const std::size_t found = FindRun(middle, run, at);
            if (found == std::u16string_view::npos) {
                return false;
            }
            at = found + run.size();
        }
        runs.remove_prefix(run.size());
    }
    return true;
}

}  // namespace brawlhue
