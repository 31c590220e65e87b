// Cost per received line of the engine and of its peers, measured in one run on one corpus, and
// printed as one table of ns per line and ratios.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bench/corpus.h"
#include "bench/regex_cascade.h"
#include "filter/line_filter.h"
#include "filter/prompt.h"
#include "reference/plain_cascade.h"
#include "transcript/line_reader.h"
#include "transcript/utf8_codec.h"

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

// The lines of a UTF-8 transcript, decoded as the replay tools decode them.
Lines ReadTranscript(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::perror(path);
        std::exit(1);
    }
    Lines lines;
    brawlhue::LineReader reader(file);
    brawlhue::Line line;
    while (reader.Next(line)) {
        lines.emplace_back();
        brawlhue::DecodeUtf8(line.body, lines.back());
    }
    std::fclose(file);
    return lines;
}

// What Parse does natively, built text included: ns per line over a transcript, averaged over
// at least a second, printed the way brawlhost --bench prints it.
int BenchTranscript(const char* path) {
    const Lines lines = ReadTranscript(path);
    if (lines.empty()) {
        std::fprintf(stderr, "%s: no line\n", path);
        return 1;
    }
    auto pass = [&lines] {
        for (const std::u16string& line : lines) {
            if (const auto rebuilt = brawlhue::FilterLine(line, -1)) {
                benchmark::DoNotOptimize(rebuilt->ToString());
            }
        }
    };
    pass();  // warm-up
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::size_t passes = 0;
    do {
        pass();
        ++passes;
    } while (Clock::now() - start < std::chrono::seconds(1));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("ns per line: %.1f\n", seconds * 1e9 / static_cast<double>(passes * lines.size()));
    return 0;
}

int WriteCorpus(const char* path) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror(path);
        return 1;
    }
    std::string bytes;
    for (const std::u16string& line : brawlhue::bench::MakeCorpus()) {
        bytes.clear();
        brawlhue::EncodeUtf8(line, bytes);
        bytes += '\n';
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    }
    return std::fclose(file) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Our own modes first; everything else is Google Benchmark's.
    if (argc == 2 && std::string_view(argv[1]).starts_with("--transcript=")) {
        return BenchTranscript(argv[1] + std::strlen("--transcript="));
    }
    if (argc == 2 && std::string_view(argv[1]).starts_with("--write-corpus=")) {
        return WriteCorpus(argv[1] + std::strlen("--write-corpus="));
    }
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
    // The 1 KB lines are the 1024 consecutive slices of the 1 MB line, so both are read from
    // memory alike and the ratio shows the cost per unit, not the cache.
    const Lines megabyte{LongLine(1024 * 1024)};
    Lines kilobyte;
    for (std::size_t at = 0; at < megabyte[0].size(); at += 1024) {
        kilobyte.push_back(megabyte[0].substr(at, 1024));
    }
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
    std::printf(
        "\nlinear cost: 1 MB line %.0f ns, 1 KB line %.0f ns, ratio %.0f "
        "(1024 would be exactly linear)\n",
        ns("engine/1MB"), ns("engine/1KB"), ns("engine/1MB") / ns("engine/1KB"));
    benchmark::Shutdown();
    return 0;
}
