#include "fuzz/reference_matcher.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace brawlhue::fuzz {
namespace {

// What one step of the pattern does with the line.
struct Step {
    enum class Kind { kAnyRun, kOneUnit, kNothing };
    Kind kind = Kind::kOneUnit;
    // For kOneUnit: the unit is taken when it lies in one of the ranges, or, when inverted, in
    // none of them.
    bool inverted = false;
    std::vector<std::pair<char16_t, char16_t>> ranges;

    bool Takes(char16_t unit) const {
        bool member = false;
        for (const auto& [low, high] : ranges) {
            member = member || (low <= unit && unit <= high);
        }
        return member != inverted;
    }
};

Step OneOf(char16_t low, char16_t high) {
    Step step;
    step.ranges.emplace_back(low, high);
    return step;
}

// The list body between "[" and "]", neither included.
Step ReadList(std::u16string_view body) {
    if (body.empty()) {
        return Step{Step::Kind::kNothing, false, {}};
    }
    Step step;
    if (body.front() == u'!') {
        step.inverted = true;
        body.remove_prefix(1);
    }
    while (!body.empty()) {
        if (body.size() >= 3 && body[1] == u'-') {
            step.ranges.emplace_back(body[0], body[2]);  // empty when high to low
            body.remove_prefix(3);
        } else {
            step.ranges.emplace_back(body[0], body[0]);
            body.remove_prefix(1);
        }
    }
    return step;
}

std::vector<Step> ReadPattern(std::u16string_view pattern) {
    std::vector<Step> steps;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char16_t c = pattern[i];
        if (c == u'*') {
            steps.push_back(Step{Step::Kind::kAnyRun, false, {}});
        } else if (c == u'?') {
            steps.push_back(OneOf(0, 0xFFFF));
        } else if (c == u'#') {
            steps.push_back(OneOf(u'0', u'9'));
        } else if (c == u'[' && pattern.find(u']', i + 1) != std::u16string_view::npos) {
            const std::size_t close = pattern.find(u']', i + 1);
            steps.push_back(ReadList(pattern.substr(i + 1, close - i - 1)));
            i = close;
        } else {
            steps.push_back(OneOf(c, c));
        }
        ++i;
    }
    return steps;
}

}  // namespace

bool ReferenceMatch(std::u16string_view line, std::u16string_view pattern) {
    // reachable[j]: the steps so far can account for exactly the first j units of the line.
    std::vector<char> reachable(line.size() + 1, 0);
    reachable[0] = 1;
    for (const Step& step : ReadPattern(pattern)) {
        switch (step.kind) {
            case Step::Kind::kAnyRun:
                for (std::size_t j = 1; j <= line.size(); ++j) {
                    reachable[j] = reachable[j] || reachable[j - 1];
                }
                break;
            case Step::Kind::kOneUnit:
                for (std::size_t j = line.size(); j >= 1; --j) {
                    reachable[j] = reachable[j - 1] && step.Takes(line[j - 1]);
                }
                reachable[0] = 0;
                break;
            case Step::Kind::kNothing:
                break;
        }
    }
    return reachable[line.size()] != 0;
}

}  // namespace brawlhue::fuzz
