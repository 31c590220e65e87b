// The brawlhue command run as a child process, on temporary files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/colorizer.h"

namespace {

using namespace std::string_literals;

const std::filesystem::path kCommand = BRAWLHUE_COMMAND;
const std::filesystem::path kSessionLog = BRAWLHUE_SESSION_LOG;

const std::string kReset = "\x1b[0m";

std::string Coloured(std::string_view prompt, std::string_view parameters,
                     std::string_view message) {
    return kReset + std::string(prompt) + "\x1b[" + std::string(parameters) + "m" +
           std::string(message) + kReset;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Temporary paths hold no quote, so single quotes are enough for the shell.
std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

struct Result {
    std::string out;
    std::string err;
    int status;
};

class CommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name =
            (std::filesystem::temp_directory_path() / "brawlhue-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path WriteFile(std::string_view name, std::string_view bytes) {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // Runs a shell command line with its output and errors captured.
    Result Shell(const std::string& command) {
        const std::filesystem::path out = dir_ / "stdout";
        const std::filesystem::path err = dir_ / "stderr";
        const std::string line = "(" + command + ") >" + Quote(out) + " 2>" + Quote(err);
        const int raw = std::system(line.c_str());
        return {ReadFile(out), ReadFile(err), WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
    }

    Result Brawlhue(const std::string& arguments, std::string_view input = {}) {
        return Shell(Quote(kCommand) + " " + arguments + " <" + Quote(WriteFile("stdin", input)));
    }

    std::filesystem::path dir_;
};

TEST_F(CommandTest, ColoursAPipedLine) {
    const Result result =
        Shell(R"(printf '%s\n' "> You hit the troll's head" | )" + Quote(kCommand));
    EXPECT_EQ(result.out, "\x1b[0m> \x1b[36;40;1mYou hit the troll's head\x1b[0m\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
}

struct FilterCase {
    const char* name;
    std::string input;
    std::string output;
};

void PrintTo(const FilterCase& c, std::ostream* out) {
    *out << c.name;
}

const FilterCase kFilterCases[] = {
    {"empty_input", "", ""},
    {"empty_lines", "\n\r\n", "\n\r\n"},
    {"crlf_kept", "You failed.\r\nThe room is dark.\r\n",
     Coloured("", "37;40;1", "You failed.") + "\r\nThe room is dark.\r\n"},
    {"lone_cr_is_part_of_the_line", "You failed.\r", "You failed.\r"},
    {"no_final_newline", "You failed.", Coloured("", "37;40;1", "You failed.")},
    {"prompts_before_message", "* HP:Healthy > > You hit the troll's head\n",
     Coloured("* HP:Healthy > > ", "36;40;1", "You hit the troll's head") + "\n"},
    {"pager", "* Press <Return> to continue, q to quit *>You failed.\n",
     Coloured("* Press <Return> to continue, q to quit *>", "37;40;1", "You failed.") + "\n"},
    {"special_event", "A column of stone stands here covered in odd carvings.\n",
     Coloured("", "36;42;1", "A column of stone stands here covered in odd carvings.") + "\n"},
    {"invalid_utf8_kept", "* HP:\xFF > You hit the troll\xED\xA0\x80's head\xC3\n",
     Coloured("* HP:\xFF > ", "36;40;1", "You hit the troll\xED\xA0\x80's head\xC3") + "\n"},
    {"nul_and_escape_kept", "You hit the troll's head\0\x1b[1m\n"s,
     Coloured("", "36;40;1", "You hit the troll's head\0\x1b[1m"s) + "\n"},
    {"non_bmp_counts_two_units", "The thug wipes \xF0\x9F\x98\x80x boots in your face!\n",
     Coloured("", "31;40;1", "The thug wipes \xF0\x9F\x98\x80x boots in your face!") + "\n"},
    {"non_bmp_plus_two_is_four_units", "The thug wipes \xF0\x9F\x98\x80xy boots in your face!\n",
     "The thug wipes \xF0\x9F\x98\x80xy boots in your face!\n"},
    {"speech_stays_plain", "Lan says 'You hit the troll's head'\n",
     "Lan says 'You hit the troll's head'\n"},
    {"prompt_only", "* HP:Healthy > \n", "* HP:Healthy > \n"},
    {"multibyte_in_prompt", "* HP:\xC3\xA9\xE2\x82\xAC > You failed.\r\n",
     Coloured("* HP:\xC3\xA9\xE2\x82\xAC > ", "37;40;1", "You failed.") + "\r\n"},
    {"longer_than_the_output_buffer", "> You hit the troll's head" + std::string(70000, 'x'),
     Coloured("> ", "36;40;1", "You hit the troll's head" + std::string(70000, 'x'))},
};

class FilterCaseTest : public CommandTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterCaseTest, WritesTheFilteredLines) {
    const Result coloured = Brawlhue("", GetParam().input);
    EXPECT_EQ(coloured.out, GetParam().output);
    EXPECT_EQ(coloured.err, "");
    EXPECT_EQ(coloured.status, 0);
    EXPECT_EQ(Brawlhue("--off", GetParam().input).out, GetParam().input);
}

INSTANTIATE_TEST_SUITE_P(Lines, FilterCaseTest, ::testing::ValuesIn(kFilterCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Lines of bytes that no category can hold (the only letter is "a") come back byte for byte,
// coloured or not; so does a 10 MB line.
TEST_F(CommandTest, PlainBytesComeBackUnchanged) {
    std::mt19937 random(99);
    constexpr char kAlphabet[] = {'\n', '\r',   '\0',   'a',    ' ',    '>',
                                  '*',  '\x80', '\xFF', '\xC3', '\xED', '\xF0'};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kAlphabet) - 1);
    std::string bytes(200000, '\0');
    for (char& byte : bytes) {
        byte = kAlphabet[pick(random)];
    }
    bytes += "no final newline";
    const std::string random_file = Quote(WriteFile("random", bytes));
    EXPECT_TRUE(Brawlhue("--off " + random_file).out == bytes);
    EXPECT_TRUE(Brawlhue(random_file).out == bytes);

    std::string long_line(10 * 1024 * 1024, 'x');
    long_line[12345] = '\xFF';
    long_line[5000000] = '\0';
    const std::string first = "You hit the troll's head";
    const std::string rest = "\r\n" + long_line + "\r\nlast";
    const std::string long_file = Quote(WriteFile("long", first + rest));
    const Result off = Brawlhue("--off " + long_file);
    EXPECT_TRUE(off.out == first + rest) << "output size " << off.out.size();
    EXPECT_EQ(off.status, 0);
    const Result on = Brawlhue(long_file);
    EXPECT_TRUE(on.out == Coloured("", "36;40;1", first) + rest) << "output size " << on.out.size();
    EXPECT_EQ(on.status, 0);
}

TEST_F(CommandTest, ExplainNamesTheDecidingTest) {
    const std::string input =
        "You hit the troll's head\n* HP:Healthy > You failed.\r\nLan says 'You failed.'\n"
        "The room is dark.\n\nA column of stone stands here covered in odd carvings.";
    EXPECT_EQ(Brawlhue("--explain", input).out,
              "IsOwnHit\nIsOwnWeaveFailure\nspeech\n-\n-\nIsSpecialEvent\n");
    EXPECT_EQ(Brawlhue("--explain --off", input).out, "-\n-\n-\n-\n-\n-\n");
}

TEST_F(CommandTest, FileErrorsAreReportedAndTheOtherFilesStillRead) {
    const std::filesystem::path good = WriteFile("good", "You failed.\n");
    const std::filesystem::path plain = WriteFile("plain", "plain\n");
    const Result result = Brawlhue(
        Quote(good) + " " + Quote(dir_ / "missing") + " - " + Quote(dir_) + " " + Quote(plain),
        "from stdin\n");
    EXPECT_EQ(result.out, Coloured("", "37;40;1", "You failed.") + "\nfrom stdin\nplain\n");
    EXPECT_EQ(result.err, "brawlhue: " + (dir_ / "missing").string() +
                              ": No such file or directory\nbrawlhue: " + dir_.string() +
                              ": Is a directory\n");
    EXPECT_EQ(result.status, 1);

    // Each kind of failure alone is enough for status 1.
    EXPECT_EQ(Brawlhue(Quote(dir_ / "missing") + " " + Quote(good)).status, 1);
    EXPECT_EQ(Brawlhue(Quote(good) + " " + Quote(dir_)).status, 1);
}

TEST_F(CommandTest, OptionsAndUsage) {
    WriteFile("--off", "You failed.\n");
    const Result after_dashes = Shell("cd " + Quote(dir_) + " && " + Quote(kCommand) + " -- --off");
    EXPECT_EQ(after_dashes.out, Coloured("", "37;40;1", "You failed.") + "\n");

    const std::string usage_start =
        "usage: brawlhue [--off] [--explain] [--palette NAME] [--tags] [FILE...]\n";
    for (const char* unknown : {"--bogus", "-x", "--OFF"}) {
        const Result result = Brawlhue(unknown, "You failed.\n");
        EXPECT_EQ(result.status, 2) << unknown;
        EXPECT_EQ(result.out, "") << unknown;
        EXPECT_TRUE(
            result.err.starts_with("brawlhue: unknown option '"s + unknown + "'\n" + usage_start))
            << result.err;
    }
    const std::string palettes = "; the palettes are classic, colourblind\n";
    for (const auto& [arguments, message] : {
             std::pair{"--palette rainbow", "unknown palette 'rainbow'"s + palettes},
             std::pair{"--palette= --tags", "unknown palette ''"s + palettes},
             std::pair{"--tags --palette", "--palette needs a name"s + palettes},
         }) {
        const Result result = Brawlhue(arguments, "You failed.\n");
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_TRUE(result.err.starts_with("brawlhue: "s + message + usage_start)) << result.err;
    }
    const Result help = Brawlhue("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(usage_start)) << help.out;
    EXPECT_EQ(help.err, "");
    const Result version = Brawlhue("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "brawlhue " BRAWLHUE_VERSION "\n");
}

TEST_F(CommandTest, WriteErrorsEndTheRunWithStatusOne) {
    const Result to_full =
        Shell(Quote(kCommand) + " " + Quote(WriteFile("in", "You failed.\n")) + " >/dev/full");
    EXPECT_EQ(to_full.status, 1);
    EXPECT_EQ(to_full.err, "brawlhue: write error: No space left on device\n");

    // More output than a pipe holds, into a reader that leaves after one byte.
    const std::string big = Quote(WriteFile("big", std::string(1 << 20, 'a') + "\n"));
    const Result closed = Shell("{ " + Quote(kCommand) + " " + big + " " + big + "; echo $? >" +
                                Quote(dir_ / "status") + "; } | head -c 1 >/dev/null");
    EXPECT_EQ(ReadFile(dir_ / "status"), "1\n");
    EXPECT_EQ(closed.err, "brawlhue: write error: Broken pipe\n");
}

// Every palette and tags choice, on the sample session: a line the default leaves alone stays
// byte for byte; a coloured line only changes its opening, to the palette's sequence for the
// same outcome and, with --tags, the outcome's word and ": " behind it.
TEST_F(CommandTest, PaletteAndTagsChangeOnlyTheOpeningOfColouredLines) {
    struct Look {
        std::string classic;
        std::string colourblind;
        std::string tag;
    };
    const Look looks[] = {
        {"\x1b[36;40;1m", "\x1b[36;44;1m", "Hit: "},   {"\x1b[37;40;1m", "\x1b[30;47m", "Miss: "},
        {"\x1b[31;40;1m", "\x1b[33;41;1m", "Ouch: "},  {"\x1b[32;40;1m", "\x1b[35;40;1m", "Safe: "},
        {"\x1b[36;42;1m", "\x1b[31;40;1m", "Event: "},
    };
    const auto lines_of = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    };
    const std::vector<std::string> plain = lines_of(ReadFile(kSessionLog));
    const std::vector<std::string> classic = lines_of(Brawlhue(Quote(kSessionLog)).out);
    ASSERT_EQ(classic.size(), plain.size());
    for (const bool colourblind : {false, true}) {
        for (const bool tags : {false, true}) {
            const std::string arguments = std::string(colourblind ? "--palette=COLOURBLIND " : "") +
                                          (tags ? "--tags " : "") + Quote(kSessionLog);
            const Result result = Brawlhue(arguments);
            ASSERT_EQ(result.status, 0) << arguments;
            const std::vector<std::string> chosen = lines_of(result.out);
            ASSERT_EQ(chosen.size(), plain.size()) << arguments;
            for (std::size_t i = 0; i < plain.size(); ++i) {
                std::string expected = classic[i];
                for (const Look& look : looks) {
                    // The opening stands right behind the reset and the prompt.
                    const std::size_t at = expected.find(look.classic);
                    if (classic[i] != plain[i] && at != std::string::npos) {
                        expected.replace(at, look.classic.size(),
                                         (colourblind ? look.colourblind : look.classic) +
                                             (tags ? look.tag : ""));
                        break;
                    }
                }
                EXPECT_EQ(chosen[i], expected) << arguments << ", line " << i + 1;
            }
        }
    }
}

// The sample session is what `make demo` shows: it must keep showing every colour.
TEST_F(CommandTest, SessionLogShowsEveryCategory) {
    const std::string log = ReadFile(kSessionLog);
    const Result explained = Brawlhue("--explain " + Quote(kSessionLog));
    ASSERT_EQ(explained.status, 0);

    std::vector<std::string> lines;
    std::vector<std::string> words;
    std::istringstream log_lines(log);
    std::istringstream word_lines(explained.out);
    for (std::string line; std::getline(log_lines, line);) {
        lines.push_back(line);
    }
    for (std::string word; std::getline(word_lines, word);) {
        words.push_back(word);
    }
    ASSERT_EQ(words.size(), lines.size());
    EXPECT_GE(lines.size(), 40u);
    EXPECT_LE(lines.size(), 70u);
    EXPECT_TRUE(log.ends_with('\n'));
    EXPECT_EQ(log.find('\r'), std::string::npos);

    const std::set<std::string> seen(words.begin(), words.end());
    for (const brawlhue::CascadeRow& row : brawlhue::kCascade) {
        EXPECT_TRUE(seen.contains(std::string(row.test->name))) << row.test->name;
    }
    EXPECT_TRUE(seen.contains("speech"));
    EXPECT_TRUE(seen.contains("-"));

    bool pager_coloured = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("* Press <Return> to continue, q to quit *>") && words[i] != "-" &&
            words[i] != "speech") {
            pager_coloured = true;
        }
    }
    EXPECT_TRUE(pager_coloured) << "no coloured line behind the pager prompt";
}

}  // namespace
