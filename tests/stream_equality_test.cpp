// The stream filter against the brawlhue command: the sample session and the benchmark corpus,
// sent as a telnet stream in random pieces, with every kind of line ending, GA behind some
// prompts and compression in some runs, come out line for line as brawlhue writes them, in the
// default appearance and in the colourblind palette with spoken tags. The one difference
// allowed: a prompt sent at its GA is not sent again, so the reset sequence comes behind it.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "filter/prompt.h"
#include "stream/stream_filter.h"
#include "tests/compressed_stream.h"
#include "transcript/utf8_codec.h"

namespace brawlhue::stream {
namespace {

using ::brawlhue::mccp::Compressed;

const std::string kGa = "\xFF\xF9";
const std::string kReset = "\x1b[0m";

std::vector<std::string> GameLines() {
    std::ifstream session(BRAWLHUE_SESSION_LOG, std::ios::binary);
    const std::string log{std::istreambuf_iterator<char>(session),
                          std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    for (std::size_t from = 0, end; (end = log.find('\n', from)) != std::string::npos;
         from = end + 1) {
        lines.push_back(log.substr(from, end - from));
    }
    EXPECT_GT(lines.size(), 50u);
    for (const std::u16string& line : bench::MakeCorpus()) {
        lines.emplace_back();
        EncodeUtf8(line, lines.back());
    }
    return lines;
}

// What the brawlhue command writes for each line, run as the program with options on a
// transcript.
std::vector<std::string> BrawlhueLines(const std::vector<std::string>& lines,
                                       const std::string& options) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("brawlhue-stream-equality-" + std::to_string(getpid()) + ".log");
    {
        std::ofstream transcript(path, std::ios::binary);
        for (const std::string& line : lines) {
            transcript << line << '\n';
        }
    }
    const std::string command =
        std::string(BRAWLHUE_COMMAND) + " " + options + " '" + path.string() + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string written;
    char buffer[65536];
    for (std::size_t got;
         pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        written.append(buffer, got);
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0);
    std::filesystem::remove(path);
    std::vector<std::string> out;
    for (std::size_t from = 0, end; (end = written.find('\n', from)) != std::string::npos;
         from = end + 1) {
        out.push_back(written.substr(from, end - from));
    }
    return out;
}

std::size_t PromptBytes(std::string_view line) {
    std::u16string units;
    DecodeUtf8(line, units);
    const std::u16string_view message = GetNonPrompt(units);
    std::string prompt;
    EncodeUtf8(std::u16string_view(units).substr(0, units.size() - message.size()), prompt);
    return prompt.size();
}

TEST(StreamEquality, LinesComeOutAsBrawlhueWritesThem) {
    const std::vector<std::string> lines = GameLines();
    const std::vector<std::string> classic = BrawlhueLines(lines, "");
    const std::vector<std::string> tagged = BrawlhueLines(lines, "--palette colourblind --tags");
    ASSERT_EQ(lines.size(), classic.size());
    ASSERT_EQ(lines.size(), tagged.size());
    std::vector<std::size_t> prompts;
    for (const std::string& line : lines) {
        prompts.push_back(PromptBytes(line));
    }

    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const bool compressed = seed % 2 == 0;
        const bool colourblind_tagged = seed > 4;
        const std::vector<std::string>& brawlhue = colourblind_tagged ? tagged : classic;
        // Each line with its ending, a GA behind some prompts; and what the client must get.
        std::vector<std::string> sent(lines.size());
        std::vector<std::string> expected(lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            static constexpr const char* kEndings[] = {"\r\n", "\n", "\n\r"};
            const std::string ending = kEndings[random() % 3];
            const std::size_t prompt = prompts[i];
            const bool coloured = brawlhue[i] != lines[i];
            if (prompt > 0 && random() % 2 == 0) {
                sent[i] = lines[i].substr(0, prompt) + kGa + lines[i].substr(prompt) + ending;
                expected[i] = lines[i].substr(0, prompt) + kGa +
                              (coloured ? kReset + brawlhue[i].substr(kReset.size() + prompt)
                                        : lines[i].substr(prompt)) +
                              ending;
            } else {
                sent[i] = lines[i] + ending;
                expected[i] = brawlhue[i] + ending;
            }
        }
        // The middle third compressed, plain text before and after it.
        std::string stream;
        const std::size_t first = lines.size() / 3;
        const std::size_t last = 2 * lines.size() / 3;
        std::string middle;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (compressed && i == first) {
                stream += "\xFF\xFB\x56\xFF\xFA\x56\xFF\xF0";
            }
            (compressed && i >= first && i < last ? middle : stream) += sent[i];
            if (compressed && i + 1 == last) {
                stream += Compressed(middle);
            }
        }

        StreamSettings settings;
        if (colourblind_tagged) {
            settings.appearance = {FindPalette(u"colourblind"), true};
        }
        StreamFilter filter(settings);
        std::string out;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t size = std::min<std::size_t>(1 + random() % 300, stream.size() - at);
            std::size_t taken = 0;
            do {
                taken += filter.FromServer(
                    std::span(reinterpret_cast<const std::uint8_t*>(stream.data() + at + taken),
                              size - taken),
                    {});
                out += filter.ToClient();
                filter.ToClient().clear();
            } while (taken < size || filter.HasPendingOutput());
            at += size;
        }
        filter.FinishServer();
        out += filter.ToClient();
        ASSERT_FALSE(filter.failed());
        EXPECT_EQ(compressed ? "\xFF\xFD\x56" : "", filter.ToServer());

        std::size_t at = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(expected[i], out.substr(at, expected[i].size())) << "line " << i;
            at += expected[i].size();
        }
        EXPECT_EQ(at, out.size());
    }
}

}  // namespace
}  // namespace brawlhue::stream
