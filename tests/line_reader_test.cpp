// Both line readers, the stdio one of the replay tools and the block one of the brawlhue
// command, fed the same cases at every piece size.
#include "transcript/line_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cli/block_line_reader.h"

namespace brawlhue {
namespace {

// A temporary stream holding bytes, positioned at its start.
class ByteStream {
  public:
    explicit ByteStream(std::string_view bytes) : file_(std::tmpfile()) {
        EXPECT_NE(file_, nullptr);
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file_), bytes.size());
        std::rewind(file_);
    }
    ~ByteStream() { std::fclose(file_); }
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    std::FILE* get() const { return file_; }

  private:
    std::FILE* file_;
};

struct ReadLine {
    std::string body;
    LineEnding ending;
    bool operator==(const ReadLine&) const = default;
};

void PrintTo(const ReadLine& line, std::ostream* out) {
    *out << ::testing::PrintToString(line.body) << "+" << LineEndingText(line.ending).size();
}

template <typename Reader>
std::vector<ReadLine> ReadAllWith(Reader& reader) {
    std::vector<ReadLine> lines;
    Line line{};
    while (reader.Next(line)) {
        lines.push_back({std::string(line.body), line.ending});
    }
    EXPECT_EQ(reader.error(), 0);
    EXPECT_FALSE(reader.Next(line)) << "input ended once already";
    return lines;
}

enum class ReaderKind { kStdio, kBlock };
constexpr ReaderKind kReaderKinds[] = {ReaderKind::kStdio, ReaderKind::kBlock};

// chunk_size is the stdio reader's chunk or the block reader's first block.
std::vector<ReadLine> ReadAll(std::string_view bytes, std::size_t chunk_size,
                              ReaderKind kind = ReaderKind::kStdio) {
    ByteStream stream(bytes);
    if (kind == ReaderKind::kBlock) {
        cli::BlockLineReader reader(fileno(stream.get()), chunk_size);
        return ReadAllWith(reader);
    }
    LineReader reader(stream.get(), chunk_size);
    return ReadAllWith(reader);
}

// Small chunks put every piece boundary, a "\r" split from its "\n" included, somewhere in the
// cases; the default chunk takes each line whole.
constexpr std::size_t kChunkSizes[] = {2, 3, 4, 5, 8, LineReader::kDefaultChunkSize};

using enum LineEnding;

struct EndingCase {
    const char* name;
    std::string_view bytes;
    std::vector<ReadLine> lines;
};

void PrintTo(const EndingCase& c, std::ostream* out) {
    *out << c.name;
}

const EndingCase kEndingCases[] = {
    {"empty_input", "", {}},
    {"one_empty_line", "\n", {{"", kLf}}},
    {"empty_lines", "\n\r\n\n", {{"", kLf}, {"", kCrLf}, {"", kLf}}},
    {"lf", "ab\ncd\n", {{"ab", kLf}, {"cd", kLf}}},
    {"crlf", "ab\r\ncd\r\n", {{"ab", kCrLf}, {"cd", kCrLf}}},
    {"no_final_newline", "ab\ncd", {{"ab", kLf}, {"cd", kNone}}},
    {"lone_cr_in_body", "a\rb\nc\r", {{"a\rb", kLf}, {"c\r", kNone}}},
    {"cr_before_crlf", "a\r\r\n", {{"a\r", kCrLf}}},
    {"nul_bytes",
     std::string_view("\0\na\0b\n\0", 7),
     {{std::string("\0", 1), kLf}, {std::string("a\0b", 3), kLf}, {std::string("\0", 1), kNone}}},
    {"nul_before_end", std::string_view("abc\0", 4), {{std::string("abc\0", 4), kNone}}},
    {"invalid_utf8", "\xFF\xC3\n\xED\xA0\x80", {{"\xFF\xC3", kLf}, {"\xED\xA0\x80", kNone}}},
};

class LineEndingTest : public ::testing::TestWithParam<EndingCase> {};

TEST_P(LineEndingTest, SplitsLinesAndKeepsTheirEndings) {
    for (ReaderKind kind : kReaderKinds) {
        for (std::size_t chunk_size : kChunkSizes) {
            EXPECT_EQ(ReadAll(GetParam().bytes, chunk_size, kind), GetParam().lines)
                << "chunk size " << chunk_size << ", block reader " << (kind == ReaderKind::kBlock);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(LineReader, LineEndingTest, ::testing::ValuesIn(kEndingCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Each body followed by its ending gives back the input exactly, at any chunk size.
TEST(LineReader, RandomInputComesBackWhole) {
    std::mt19937 random(7);
    constexpr char kAlphabet[] = {'\n', '\r', '\0', 'a', ' ', '\x80', '\xFF', '\xC3'};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kAlphabet) - 1);
    std::uniform_int_distribution<std::size_t> length(0, 40);
    for (int round = 0; round < 500; ++round) {
        std::string bytes(length(random), '\0');
        for (char& byte : bytes) {
            byte = kAlphabet[pick(random)];
        }
        for (ReaderKind kind : kReaderKinds) {
            for (std::size_t chunk_size : kChunkSizes) {
                std::string rebuilt;
                for (const ReadLine& line : ReadAll(bytes, chunk_size, kind)) {
                    ASSERT_TRUE(line.ending != kNone ||
                                rebuilt.size() + line.body.size() == bytes.size());
                    rebuilt += line.body;
                    rebuilt += LineEndingText(line.ending);
                }
                ASSERT_EQ(rebuilt, bytes) << "chunk size " << chunk_size;
            }
        }
    }
}

TEST(LineReader, ReadsATenMegabyteLine) {
    std::string long_body(10 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < long_body.size(); i += 4099) {
        long_body[i] = static_cast<char>('a' + i % 26);
    }
    for (ReaderKind kind : kReaderKinds) {
        const std::vector<ReadLine> lines =
            ReadAll("first\n" + long_body + "\r\nlast", LineReader::kDefaultChunkSize, kind);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], (ReadLine{"first", kLf}));
        EXPECT_TRUE(lines[1].body == long_body) << "size " << lines[1].body.size();
        EXPECT_EQ(lines[1].ending, kCrLf);
        EXPECT_EQ(lines[2], (ReadLine{"last", kNone}));
    }
}

// A line from a pipe is handed out as soon as it is there, not when a block is full; the rest
// of the input follows when the writer closes. A reader that waited would be ended by the alarm.
TEST(BlockLineReader, HandsOutALineAsSoonAsItArrives) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], "first\nsec", 9), 9);
    std::signal(SIGALRM, SIG_DFL);
    alarm(10);
    cli::BlockLineReader reader(ends[0]);
    Line line{};
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line.body, "first");
    ASSERT_EQ(write(ends[1], "ond\r\n", 5), 5);
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line.body, "second");
    EXPECT_EQ(line.ending, kCrLf);
    ASSERT_EQ(write(ends[1], "last", 4), 4);
    close(ends[1]);
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ((ReadLine{std::string(line.body), line.ending}), (ReadLine{"last", kNone}));
    EXPECT_FALSE(reader.Next(line));
    alarm(0);
    close(ends[0]);
}

TEST(LineReader, ReportsReadErrors) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("brawlhue_write_only_" + std::to_string(std::random_device()()));
    std::FILE* write_only = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(write_only, nullptr);
    LineReader reader(write_only);
    Line line{};
    EXPECT_FALSE(reader.Next(line));
    EXPECT_NE(reader.error(), 0);
    EXPECT_FALSE(reader.Next(line));
    cli::BlockLineReader block_reader(fileno(write_only));
    EXPECT_FALSE(block_reader.Next(line));
    EXPECT_EQ(block_reader.error(), EBADF);
    EXPECT_FALSE(block_reader.Next(line));
    std::fclose(write_only);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace brawlhue
