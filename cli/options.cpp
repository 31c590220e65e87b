#include "cli/options.h"

namespace brawlhue::cli {

const std::string_view kUsage =
    "usage: brawlhue [--off] [--explain] [FILE...]\n"
    "Colours the combat lines of a game transcript with ANSI colour sequences.\n"
    "Reads the FILEs in order; standard input when there is none, or for -.\n"
    "\n"
    "  --off      pass every line through unchanged\n"
    "  --explain  print, for each line, the test that coloured it, 'speech' or '-'\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "  --         treat every later argument as a FILE\n";

std::optional<Options> ParseOptions(std::span<const char* const> arguments, std::string& error) {
    Options options;
    bool options_ended = false;
    for (const char* argument : arguments) {
        const std::string_view text = argument;
        if (options_ended || text == kStandardInputName || !text.starts_with('-')) {
            options.files.push_back(text);
        } else if (text == "--") {
            options_ended = true;
        } else if (text == "--off") {
            options.colouring_off = true;
        } else if (text == "--explain") {
            options.explain = true;
        } else if (text == "--help") {
            options.help = true;
        } else if (text == "--version") {
            options.version = true;
        } else {
            error = "unknown option '";
            error += text;
            error += "'";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace brawlhue::cli
