// brawlhue_lua_test_lines FOLDER [COUNT]: writes the transcripts on which the Lua engine must
// answer exactly as the C++ engine does:
//   bench-mix.log   the benchmark's realistic mix of received lines;
//   generated.log   COUNT lines (default 120000) built on the table texts: each wildcard filled
//                   with random text (UTF-8 of every width, invalid bytes, escape sequences,
//                   wildcard characters), prompts in front, and many a line one edit off its
//                   text.
// brawlhue_lua_test_lines --answers FILE: how the C++ command parses and answers each command
// text of FILE (UTF-8, one a line) under every appearance, a line each, in the form commands.lua
// writes the Lua engine's: "palette tags|plain | word | argument | palette tags|plain
// palette_set tags_set | colour:text|...".
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <span>
#include <string>
#include <string_view>

#include "bench/corpus.h"
#include "command/plugin_command_text.h"
#include "engine/category_tables.h"
#include "filter/prompt_forms.h"
#include "transcript/utf8_codec.h"

namespace {

using namespace brawlhue;

std::string Utf8(std::u16string_view units) {
    std::string bytes;
    EncodeUtf8(units, bytes);
    return bytes;
}

// Pieces a wildcard may stand for: the ones the tables themselves pivot on, and text of every
// UTF-8 width, invalid and lone bytes among them.
constexpr std::string_view kPieces[] = {
    "",
    " ",
    "the orc",
    "a burly Trolloc",
    "his",
    "its",
    "*",
    "?",
    "???",
    "#",
    "[a-z]",
    "'",
    " '",
    " hit",
    " slash",
    " your ",
    "You",
    "'s head",
    ".",
    "!",
    "\x1b[31m",
    "\x1b[0m",
    "\xc3\xa9",
    "\xe2\x80\x94",
    "\xf0\x9f\x97\xa1",
    "\xed\xa0\xbd",
    "\xff",
    "\xc3",
    "\x80\x80",
    "\xe0\x80\xaf",
    "\xf4\x90\x80\x80",
    "\t",
    "\r",
    "> ",
    " > ",
    "Bob says '",
    "12",
    "\xe6\x97\xa5\xe6\x9c\xac",
};

// Prompts as the game sends them, and texts that only look like one.
constexpr std::string_view kPromptLike[] = {
    "> ",
    "] ",
    "I51 > ",
    "I1E+15 > ",
    "I0.5 > ",
    "I007 > ",
    "I-3 > ",
    "I+3 > ",
    "I1e5 > ",
    "I12345678901234567 > ",
    "I1.5E-06 > ",
    "I > ",
    "I5",
    "o > ",
    "R: > ",
    "S ",
    "* Press <Return> to continue, q to quit *>",
    "o Press <Return> to continue",
    "* HP:Healthy MV:Fresh > ",
    " HP:\xc3\xa9 > ",
    " SP:x> ",
    "*HP > ",
};

class LineMaker {
  public:
    explicit LineMaker(std::uint32_t seed) : random_(seed) {}

    std::string Next() {
        std::string line;
        for (std::size_t prompts = Below(4) == 0 ? Below(3) + 1 : 0; prompts > 0; --prompts) {
            line += Pick(kPromptLike);
        }
        line += Fill(RandomEntry());
        if (Below(8) == 0) {
            line += Fill(RandomEntry());  // two texts run together
        }
        for (std::size_t edits = Below(3) == 0 ? Below(2) + 1 : 0; edits > 0; --edits) {
            Edit(line);
        }
        return line;
    }

  private:
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

    std::u16string_view RandomEntry() {
        const CategoryTest& test = *kAllTests[Below(kAllTests.size())];
        return test.entries[Below(test.entries.size())].text;
    }

    std::string Fill(std::u16string_view text) {
        std::string line;
        for (char16_t c : text) {
            if (c == u'*') {
                for (std::size_t pieces = Below(3); pieces > 0; --pieces) {
                    line += Pick(kPieces);
                }
            } else if (c == u'?') {
                // One unit: a letter, a non-ASCII character, or half of a four-byte one.
                const std::size_t kind = Below(6);
                line += kind == 0 ? "\xc3\xa9" : kind == 1 ? "\xf0\x9f\x97\xa1" : "x";
            } else if (c == u'#') {
                line += static_cast<char>('0' + Below(10));
            } else {
                line += static_cast<char>(c);
            }
        }
        return line;
    }

    // One unit off: a byte dropped, doubled or changed, or a blank added at either end.
    void Edit(std::string& line) {
        const std::size_t at = line.empty() ? 0 : Below(line.size());
        switch (Below(5)) {
            case 0:
                if (!line.empty()) {
                    line.erase(at, 1);
                }
                break;
            case 1:
                if (!line.empty()) {
                    line.insert(at, 1, line[at]);
                }
                break;
            case 2:
                if (!line.empty()) {
                    line[at] = static_cast<char>(' ' + Below(95));
                }
                break;
            case 3:
                line += ' ';
                break;
            default:
                line.insert(0, 1, ' ');
                break;
        }
    }

    std::mt19937 random_;
};

bool Write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return static_cast<bool>(file);
}

std::string State(Appearance appearance) {
    return Utf8(kPalettes[appearance.palette].name) + (appearance.tags ? " tags" : " plain");
}

std::string Word(SubCommand found) {
    switch (found) {
        case SubCommand::kPalette:
            return Utf8(kPaletteWord);
        case SubCommand::kTags:
            return Utf8(kTagsWord);
        case SubCommand::kNone:
            return "-";
        default:
            return Utf8(kSubCommandWords[static_cast<std::size_t>(found)]);
    }
}

std::string Lines(std::span<const CommandLine> lines) {
    std::string shown;
    for (const CommandLine& line : lines) {
        shown += (shown.empty() ? "" : "|") + std::to_string(line.colour) + ":" + Utf8(line.text);
    }
    return shown;
}

int WriteAnswers(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes;
    while (std::getline(file, bytes)) {
        std::u16string text;
        DecodeUtf8(bytes, text);
        for (PaletteIndex palette = 0; palette < kPalettes.size(); ++palette) {
            for (const bool tags : {false, true}) {
                const Appearance current{palette, tags};
                const ParsedCommand parsed = ParseCommand(text);
                std::cout << State(current) << " | " << Word(parsed.sub_command) << " | "
                          << Utf8(parsed.argument) << " | ";
                if (parsed.sub_command == SubCommand::kPalette ||
                    parsed.sub_command == SubCommand::kTags) {
                    const AppearanceAnswer answer = AnswerAppearanceCommand(parsed, current);
                    const CommandLine framed[] = {{u""}, {answer.text}, {u""}};
                    std::cout << State(answer.appearance) << " " << std::boolalpha
                              << answer.palette_set << " " << answer.tags_set << " | "
                              << Lines(framed) << "\n";
                } else {
                    std::cout << State(current) << " false false | "
                              << Lines(CommandAnswer(parsed.sub_command, tags)) << "\n";
                }
            }
        }
    }
    return file.bad() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--answers") {
        return WriteAnswers(argv[2]);
    }
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: brawlhue_lua_test_lines FOLDER [COUNT] | --answers FILE\n";
        return 2;
    }
    const std::string folder = argv[1];
    const std::size_t count = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 120000;

    std::string mix;
    for (const std::u16string& line : bench::MakeCorpus()) {
        mix += Utf8(line) + "\n";
    }
    std::string generated;
    LineMaker maker(20261209);
    for (std::size_t i = 0; i < count; ++i) {
        std::string line = maker.Next();
        // A line never holds its own end; a CR before it would make the ending CR LF.
        for (char& c : line) {
            if (c == '\n') {
                c = ' ';
            }
        }
        generated += line + (i % 7 == 0 ? "\r\n" : "\n");
    }
    if (!Write(folder + "/bench-mix.log", mix) || !Write(folder + "/generated.log", generated)) {
        std::cerr << "brawlhue_lua_test_lines: cannot write into " << folder << "\n";
        return 1;
    }
    return 0;
}
