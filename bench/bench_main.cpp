// Cost per received line of the engine and of its peers, measured in one run on one corpus, and
// printed as one table of ns per line and ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "bench/regex_cascade.h"
#include "filter/line_filter.h"
#include "filter/prompt.h"
#include "reference/plain_cascade.h"

namespace {

using Lines = std::vector<std::u16string>;
using Classifier = std::function<int(std::u16string_view)>;

struct Buckets {
    Lines mix, uncoloured, coloured, speech;
};

Buckets SortCorpus(const Lines& corpus) {
    Buckets buckets{corpus, {}, {}, {}};
    for (const std::u16string& line : corpus) {
        const int verdict = brawlhue::reference::PlainCascade(brawlhue::GetNonPrompt(line));
        Lines& bucket = verdict == brawlhue::reference::kSpeech       ? buckets.speech
                        : verdict == brawlhue::reference::kNoCategory ? buckets.uncoloured
                                                                      : buckets.coloured;
        bucket.push_back(line);
    }
    return buckets;
}

// The floor: every code unit of the line read once.
int OnePass(std::u16string_view line) {
    unsigned sum = 0;
    for (char16_t unit : line) {
        sum = sum * 31 + unit;
    }
    return static_cast<int>(sum & 1);
}

void RunOver(benchmark::State& state, const Lines& lines, const Classifier& classify) {
    for (auto _ : state) {
        for (const std::u16string& line : lines) {
            benchmark::DoNotOptimize(classify(line));
        }
    }
    state.counters["lines"] = static_cast<double>(lines.size());
}

// Collects ns per line for each benchmark, for the table printed at the end.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ns_per_line;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double lines = run.counters.at("lines");
            ns_per_line[run.benchmark_name()] =
                run.real_accumulated_time * 1e9 / static_cast<double>(run.iterations) / lines;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// A line that makes every "*" of the unanchored patterns search all of it.
std::u16string LongLine(std::size_t units) {
    std::u16string line;
    while (line.size() < units) {
        line += u"You say hit your the Source ";
    }
    line.resize(units);
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const Lines corpus = brawlhue::bench::MakeCorpus();
    const Buckets buckets = SortCorpus(corpus);
    const brawlhue::bench::RegexCascade regex;

    const std::pair<const char*, Classifier> classifiers[] = {
        {"engine",
         [](std::u16string_view line) {
             return brawlhue::FilterLine(line, -1).has_value() ? 1 : 0;
         }},
        {"plain",
         [](std::u16string_view line) {
             return brawlhue::reference::PlainCascade(brawlhue::GetNonPrompt(line));
         }},
        {"regex",
         [&regex](std::u16string_view line) {
             return regex.Classify(brawlhue::GetNonPrompt(line));
         }},
        {"onepass", [](std::u16string_view line) { return OnePass(line); }},
    };
    const std::pair<const char*, const Lines*> sets[] = {
        {"mix", &buckets.mix},
        {"uncoloured", &buckets.uncoloured},
        {"coloured", &buckets.coloured},
        {"speech", &buckets.speech},
    };
    for (const auto& [who, classify] : classifiers) {
        for (const auto& [set, lines] : sets) {
            const std::string name = std::string(who) + "/" + set;
            benchmark::RegisterBenchmark(
                name.c_str(), [lines = lines, classify = classify](benchmark::State& state) {
                    RunOver(state, *lines, classify);
                });
        }
    }
    const Lines kilobyte{LongLine(1024)};
    const Lines megabyte{LongLine(1024 * 1024)};
    const Classifier engine = [](std::u16string_view line) {
        return brawlhue::FilterLine(line, -1).has_value() ? 1 : 0;
    };
    benchmark::RegisterBenchmark(
        "engine/1KB", [&](benchmark::State& state) { RunOver(state, kilobyte, engine); });
    benchmark::RegisterBenchmark(
        "engine/1MB", [&](benchmark::State& state) { RunOver(state, megabyte, engine); });

    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto ns = [&](const std::string& name) { return reporter.ns_per_line[name]; };
    std::printf("\nns per line (corpus of %zu lines: %zu uncoloured, %zu coloured, %zu speech)\n",
                corpus.size(), buckets.uncoloured.size(), buckets.coloured.size(),
                buckets.speech.size());
    std::printf("%-12s %10s %10s %10s %10s %14s %14s %14s\n", "lines", "engine", "plain", "regex",
                "one pass", "plain/engine", "regex/engine", "engine/1pass");
    for (const auto& [set, lines] : sets) {
        const double e = ns(std::string("engine/") + set);
        const double p = ns(std::string("plain/") + set);
        const double r = ns(std::string("regex/") + set);
        const double o = ns(std::string("onepass/") + set);
        std::printf("%-12s %10.1f %10.1f %10.1f %10.1f %13.1fx %13.1fx %13.1fx\n", set, e, p, r, o,
                    p / e, r / e, e / o);
    }
    std::printf("\nlinear cost: 1 MB line %.0f ns, 1 KB line %.0f ns, ratio %.0f (1024 = linear)\n",
                ns("engine/1MB"), ns("engine/1KB"), ns("engine/1MB") / ns("engine/1KB"));
    benchmark::Shutdown();
    return 0;
}
