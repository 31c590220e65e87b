// Cost per received line of the engine and of its peers, measured in one run on one corpus, and
// printed as one table of ns per line and ratios; then the brawlhue command's own path beside the
// engine alone. Every peer's verdicts are checked equal to the engine's over the whole corpus
// before anything is timed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/corpus.h"
#include "bench/entry_set_cascade.h"
#include "bench/regex_cascade.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/transcript_filter.h"
#include "engine/colorizer.h"
#include "filter/line_filter.h"
#include "filter/prompt.h"
#include "reference/plain_cascade.h"
#include "transcript/line_reader.h"
#include "transcript/utf8_codec.h"
#ifdef BRAWLHUE_HAVE_HYPERSCAN
#include "bench/hyperscan_cascade.h"
#endif
#ifdef BRAWLHUE_HAVE_RE2
#include "bench/re2_set_cascade.h"
#endif

namespace {

using Lines = std::vector<std::u16string>;

// A set of received lines, held one after another in one block as a client's receive buffer
// holds them, so that no peer's time depends on where an allocator put each line; with the UTF-8
// form of each line's message ready for the timing of the UTF-8 peers that leaves their
// conversion out.
class LineSet {
  public:
    void Add(std::u16string_view line) {
        spans_.push_back({units_.size(), line.size()});
        units_ += line;
        const std::size_t before = utf8_.size();
        brawlhue::EncodeUtf8(brawlhue::GetNonPrompt(line), utf8_);
        utf8_spans_.push_back({before, utf8_.size() - before});
    }

    std::size_t size() const noexcept { return spans_.size(); }
    std::u16string_view line(std::size_t i) const noexcept {
        return {units_.data() + spans_[i].first, spans_[i].second};
    }
    std::string_view utf8_message(std::size_t i) const noexcept {
        return {utf8_.data() + utf8_spans_[i].first, utf8_spans_[i].second};
    }

  private:
    std::u16string units_;
    std::vector<std::pair<std::size_t, std::size_t>> spans_;  // offset and length
    std::string utf8_;
    std::vector<std::pair<std::size_t, std::size_t>> utf8_spans_;
};

// Classifies line i of a set; what it returns only has to defeat the optimiser.
using Classifier = std::function<int(const LineSet&, std::size_t)>;
// The cascade's verdict for line i, numbered as reference::PlainCascade numbers it.
using Verdict = std::function<int(const LineSet&, std::size_t)>;

struct Buckets {
    LineSet mix, uncoloured, coloured, speech;
};

Buckets SortCorpus(const Lines& corpus) {
    Buckets buckets;
    for (const std::u16string& line : corpus) {
        buckets.mix.Add(line);
        const int verdict = brawlhue::reference::PlainCascade(brawlhue::GetNonPrompt(line));
        LineSet& bucket = verdict == brawlhue::reference::kSpeech       ? buckets.speech
                          : verdict == brawlhue::reference::kNoCategory ? buckets.uncoloured
                                                                        : buckets.coloured;
        bucket.Add(line);
    }
    return buckets;
}

int EngineVerdict(std::u16string_view line) {
    const brawlhue::Classification found = brawlhue::ClassifyMessage(brawlhue::GetNonPrompt(line));
    switch (found.kind) {
        case brawlhue::MessageKind::kSpeech:
            return brawlhue::reference::kSpeech;
        case brawlhue::MessageKind::kCategory:
            return static_cast<int>(found.row - brawlhue::kCascade.data());
        case brawlhue::MessageKind::kPlain:
            break;
    }
    return brawlhue::reference::kNoCategory;
}

// A peer must decide every line of the corpus as the engine does before its time means anything.
void RequireSameVerdicts(const char* who, const LineSet& set, const Verdict& verdict) {
    for (std::size_t i = 0; i < set.size(); ++i) {
        const int expected = EngineVerdict(set.line(i));
        const int got = verdict(set, i);
        if (got != expected) {
            std::string shown;
            brawlhue::EncodeUtf8(set.line(i), shown);
            std::fprintf(stderr, "%s decides line %zu differently (%d, engine %d): %s\n", who, i,
                         got, expected, shown.c_str());
            std::exit(1);
        }
    }
}

// The floor: every code unit of the line read once.
int OnePass(std::u16string_view line) {
    unsigned sum = 0;
    for (char16_t unit : line) {
        sum = sum * 31 + unit;
    }
    return static_cast<int>(sum & 1);
}

// One pass of a classifier over a set of lines.
void PassOver(const LineSet& set, const Classifier& classify) {
    for (std::size_t i = 0; i < set.size(); ++i) {
        benchmark::DoNotOptimize(classify(set, i));
    }
}

constexpr int kRounds = 7;
constexpr double kMinSecondsPerTurn = 0.05;

// Something timed for the table: one pass over `lines` lines.
struct Measurement {
    std::string name;
    std::function<void()> pass;
    std::size_t lines;
};

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// ns per line of each measurement: the least over `rounds` rounds, each round timing every
// measurement in turn for at least min_seconds of this thread's CPU time. Taking turns puts the
// engine and its peers under the same conditions on a shared machine, and other work there only
// ever adds time, so the least is the best estimate of each one's own cost.
std::map<std::string, double> MeasureInterleaved(const std::vector<Measurement>& measurements,
                                                 int rounds, double min_seconds) {
    std::map<std::string, double> ns_per_line;
    for (int round = 0; round < rounds; ++round) {
        for (const Measurement& measurement : measurements) {
            measurement.pass();  // warm the caches and the branch predictors
            std::size_t passes = 0;
            const double start = ThreadCpuSeconds();
            double elapsed = 0;
            do {
                measurement.pass();
                ++passes;
                elapsed = ThreadCpuSeconds() - start;
            } while (elapsed < min_seconds);
            const double ns = elapsed * 1e9 / static_cast<double>(passes * measurement.lines);
            const auto [at, added] = ns_per_line.emplace(measurement.name, ns);
            if (!added && ns < at->second) {
                at->second = ns;
            }
        }
        std::fprintf(stderr, "round %d of %d measured\n", round + 1, rounds);
    }
    return ns_per_line;
}

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

// The corpus as a transcript file, each line repeated `copies` times in a row of the whole.
bool WriteCorpusFile(const char* path, const Lines& corpus, int copies) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror(path);
        return false;
    }
    std::string bytes;
    for (int copy = 0; copy < copies; ++copy) {
        for (const std::u16string& line : corpus) {
            bytes.clear();
            brawlhue::EncodeUtf8(line, bytes);
            bytes += '\n';
            std::fwrite(bytes.data(), 1, bytes.size(), file);
        }
    }
    return std::fclose(file) == 0;
}

int WriteCorpus(const char* path) {
    return WriteCorpusFile(path, brawlhue::bench::MakeCorpus(), 1) ? 0 : 1;
}

// The command's own path in process: the corpus file read, decoded, filtered, encoded and
// written by the same TranscriptFilter and Output that brawlhue's main uses, to /dev/null.
class CommandPath {
  public:
    explicit CommandPath(const char* corpus_path)
        : input_(std::fopen(corpus_path, "rb")), discard_(std::fopen("/dev/null", "wb")) {
        if (input_ == nullptr || discard_ == nullptr) {
            std::perror("the corpus file or /dev/null");
            std::exit(1);
        }
        output_ = std::make_unique<brawlhue::cli::Output>(discard_);
        filter_ = std::make_unique<brawlhue::cli::TranscriptFilter>(options_, *output_);
    }
    ~CommandPath() {
        filter_.reset();
        output_.reset();
        std::fclose(input_);
        std::fclose(discard_);
    }
    CommandPath(const CommandPath&) = delete;
    CommandPath& operator=(const CommandPath&) = delete;

    void Pass() {
        std::rewind(input_);
        benchmark::DoNotOptimize(filter_->Run(input_));
    }

  private:
    std::FILE* input_;
    std::FILE* discard_;
    const brawlhue::cli::Options options_;
    std::unique_ptr<brawlhue::cli::Output> output_;
    std::unique_ptr<brawlhue::cli::TranscriptFilter> filter_;
};

// CPU time (user and system) of the brawlhue program itself, start-up included, over a file,
// output to /dev/null; negative when it did not run to a clean end.
double TimeProcess(const char* path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* const argv[] = {const_cast<char*>(BRAWLHUE_COMMAND), const_cast<char*>(path), nullptr};
    pid_t pid = 0;
    int status = -1;
    rusage usage{};
    if (posix_spawn(&pid, BRAWLHUE_COMMAND, &actions, nullptr, argv, environ) == 0) {
        wait4(pid, &status, 0, &usage);
    }
    posix_spawn_file_actions_destroy(&actions);
    auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
    };
    return status == 0 ? seconds(usage.ru_utime) + seconds(usage.ru_stime) : -1.0;
}

// The best of a few runs: other work on the machine only ever adds time (caches, migrations).
double BestProcessTime(const char* path) {
    double best = -1.0;
    for (int run = 0; run < 5; ++run) {
        const double seconds = TimeProcess(path);
        if (seconds >= 0 && (best < 0 || seconds < best)) {
            best = seconds;
        }
    }
    return best;
}

struct Peer {
    const char* name;
    Classifier classify;
    Verdict verdict;  // empty for the one-pass floor, which decides nothing
};

// A peer that matches UTF-8: timed converting each message itself (its verdicts checked), and
// on the mix with the UTF-8 ready. utf8 is the conversion's buffer, shared by the peers.
template <typename Cascade>
void AddUtf8Peer(const char* name, const Cascade& cascade, std::string& utf8,
                 std::vector<Peer>& peers, std::vector<Peer>& ready_peers) {
    peers.push_back({name, [&cascade, &utf8](const LineSet& set, std::size_t i) {
                         const std::u16string_view message = brawlhue::GetNonPrompt(set.line(i));
                         utf8.clear();
                         brawlhue::EncodeUtf8(message, utf8);
                         return cascade.Classify(message, utf8);
                     }});
    peers.back().verdict = peers.back().classify;
    ready_peers.push_back({name, [&cascade](const LineSet& set, std::size_t i) {
                               return cascade.Classify(brawlhue::GetNonPrompt(set.line(i)),
                                                       set.utf8_message(i));
                           }});
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
    // Google Benchmark's options (make bench passes --benchmark_min_time) are accepted and have
    // no effect: the table is measured in rounds below.
    benchmark::Initialize(&argc, argv);
    const Lines corpus = brawlhue::bench::MakeCorpus();
    const Buckets buckets = SortCorpus(corpus);

    using brawlhue::GetNonPrompt;
    const brawlhue::bench::RegexCascade regex;
    std::vector<Peer> peers{
        {"engine",
         [](const LineSet& set, std::size_t i) {
             return brawlhue::FilterLine(set.line(i), -1).has_value() ? 1 : 0;
         },
         {}},
        {"plain",
         [](const LineSet& set, std::size_t i) {
             return brawlhue::reference::PlainCascade(GetNonPrompt(set.line(i)));
         },
         {}},
        {"regex",
         [&regex](const LineSet& set, std::size_t i) {
             return regex.Classify(GetNonPrompt(set.line(i)));
         },
         {}},
    };
    peers[1].verdict = peers[1].classify;
    peers[2].verdict = peers[2].classify;
    // The UTF-8 peers are given the same UTF-16 lines as the others, so converting the message
    // is part of their work, as it would be in a client that holds UTF-16 text. Each is also
    // timed on the mix with the UTF-8 ready (the "ready" rows below the table).
    std::string utf8;  // reused: the conversion allocates nothing once it has grown
    std::vector<Peer> ready_peers;
#ifdef BRAWLHUE_HAVE_HYPERSCAN
    const brawlhue::bench::HyperscanCascade hyperscan;
    AddUtf8Peer("hyperscan", hyperscan, utf8, peers, ready_peers);
#endif
#ifdef BRAWLHUE_HAVE_RE2
    const brawlhue::bench::Re2SetCascade re2_set;
    AddUtf8Peer("re2set", re2_set, utf8, peers, ready_peers);
#endif
    peers.push_back(
        {"onepass", [](const LineSet& set, std::size_t i) { return OnePass(set.line(i)); }, {}});

    for (const Peer& peer : peers) {
        if (peer.verdict) {
            RequireSameVerdicts(peer.name, buckets.mix, peer.verdict);
        }
    }
    std::size_t unit_wildcard_lines = 0;
    for (const std::u16string& line : corpus) {
        unit_wildcard_lines += brawlhue::bench::NeedsUnitWildcards(GetNonPrompt(line)) ? 1 : 0;
    }

    const std::pair<const char*, const LineSet*> sets[] = {
        {"mix", &buckets.mix},
        {"uncoloured", &buckets.uncoloured},
        {"coloured", &buckets.coloured},
        {"speech", &buckets.speech},
    };
    std::vector<Measurement> measurements;
    for (const Peer& peer : peers) {
        for (const auto& [set, lines] : sets) {
            measurements.push_back(
                {std::string(peer.name) + "/" + set,
                 [lines = lines, classify = peer.classify] { PassOver(*lines, classify); },
                 lines->size()});
        }
    }

    for (const Peer& peer : ready_peers) {
        RequireSameVerdicts(peer.name, buckets.mix, peer.classify);
        measurements.push_back(
            {std::string(peer.name) + "-ready/mix",
             [&set = buckets.mix, classify = peer.classify] { PassOver(set, classify); },
             buckets.mix.size()});
    }

    // The command's path over the corpus as a file, beside the engine on the same lines.
    const std::string corpus_path = "/tmp/brawlhue-bench-corpus-" + std::to_string(getpid());
    const std::string process_path = corpus_path + "-x10";
    if (!WriteCorpusFile(corpus_path.c_str(), corpus, 1) ||
        !WriteCorpusFile(process_path.c_str(), corpus, 10)) {
        return 1;
    }
    CommandPath command_path(corpus_path.c_str());
    measurements.push_back(
        {"command/mix", [&command_path] { command_path.Pass(); }, corpus.size()});

    // The 1 KB lines are the 1024 consecutive slices of the 1 MB line, so both are read from
    // memory alike and the ratio shows the cost per unit, not the cache.
    LineSet megabyte;
    megabyte.Add(LongLine(1024 * 1024));
    LineSet kilobyte;
    for (std::size_t at = 0; at < megabyte.line(0).size(); at += 1024) {
        kilobyte.Add(megabyte.line(0).substr(at, 1024));
    }
    const Classifier& engine = peers[0].classify;
    measurements.push_back({"engine/1KB", [&] { PassOver(kilobyte, engine); }, kilobyte.size()});
    measurements.push_back({"engine/1MB", [&] { PassOver(megabyte, engine); }, megabyte.size()});

    const std::map<std::string, double> ns_per_line =
        MeasureInterleaved(measurements, kRounds, kMinSecondsPerTurn);

    // The program as a process: start-up, the file ten times over, and the same with no line.
    const double process_seconds = BestProcessTime(process_path.c_str());
    const double startup_seconds = BestProcessTime("/dev/null");
    std::remove(corpus_path.c_str());
    std::remove(process_path.c_str());

    auto ns = [&](const std::string& name) { return ns_per_line.at(name); };
    std::printf(
        "\nns per line (corpus of %zu lines: %zu uncoloured, %zu coloured, %zu speech; "
        "%zu messages hold a surrogate and go to the plain cascade in the UTF-8 peers)\n",
        corpus.size(), buckets.uncoloured.size(), buckets.coloured.size(), buckets.speech.size(),
        unit_wildcard_lines);
    std::printf("%-11s", "lines");
    for (const Peer& peer : peers) {
        std::printf(" %10s", peer.name);
    }
    for (std::size_t p = 1; p + 1 < peers.size(); ++p) {
        std::printf(" %14s", (std::string(peers[p].name) + "/engine").c_str());
    }
    std::printf(" %14s\n", "engine/1pass");
    for (const auto& [set, lines] : sets) {
        std::printf("%-11s", set);
        for (const Peer& peer : peers) {
            std::printf(" %10.1f", ns(std::string(peer.name) + "/" + set));
        }
        const double e = ns(std::string("engine/") + set);
        for (std::size_t p = 1; p + 1 < peers.size(); ++p) {
            std::printf(" %13.1fx", ns(std::string(peers[p].name) + "/" + set) / e);
        }
        std::printf(" %13.2fx\n", e / ns(std::string("onepass/") + set));
    }

    for (const Peer& peer : ready_peers) {
        const double ready = ns(std::string(peer.name) + "-ready/mix");
        std::printf(
            "%s on the mix with each message's UTF-8 ready: %.1f ns per line, %.1fx the "
            "engine\n",
            peer.name, ready, ready / ns("engine/mix"));
    }

    const double command = ns("command/mix");
    const double engine_mix = ns("engine/mix");
    std::printf(
        "\nwhole command, in process (the corpus file read, filtered and written to /dev/null by "
        "brawlhue's own TranscriptFilter and Output): %.1f ns per line; engine alone %.1f; "
        "beyond the engine %.1f = %.2fx the engine\n",
        command, engine_mix, command - engine_mix, (command - engine_mix) / engine_mix);
    const double lines_x10 = static_cast<double>(10 * corpus.size());
    std::printf(
        "brawlhue as a process on the corpus ten times over (%.0f lines): %.1f ms, %.1f ns per "
        "line with start-up; start-up alone %.2f ms\n",
        lines_x10, process_seconds * 1e3, process_seconds * 1e9 / lines_x10, startup_seconds * 1e3);
    std::printf(
        "\nlinear cost: 1 MB line %.0f ns, 1 KB line %.0f ns, ratio %.0f "
        "(1024 would be exactly linear)\n",
        ns("engine/1MB"), ns("engine/1KB"), ns("engine/1MB") / ns("engine/1KB"));
    return 0;
}
