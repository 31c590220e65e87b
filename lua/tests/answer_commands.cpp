// brawlhue_lua_test_answers FILE: how the C++ command parses and answers each command text of
// FILE (UTF-8, one a line) under every appearance, a line each, in the form commands.lua writes
// the Lua engine's: "palette tags|plain | word | argument | palette tags|plain palette_set
// tags_set | colour:text|...".
#include <fstream>
#include <iostream>
#include <span>
#include <string>

#include "command/plugin_command_text.h"
#include "transcript/utf8_codec.h"

namespace {

using namespace brawlhue;

std::string Utf8(std::u16string_view units) {
    std::string bytes;
    EncodeUtf8(units, bytes);
    return bytes;
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: brawlhue_lua_test_answers FILE\n";
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
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
