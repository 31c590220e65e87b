#include "cli/options.h"

#include "engine/palettes.h"

namespace brawlhue::cli {
namespace {

constexpr std::string_view kPaletteOption = "--palette";

// The palette's index; kNoPalette when none has the name.
PaletteIndex PaletteNamed(std::string_view name) {
    return FindPalette(std::u16string(name.begin(), name.end()));
}

}  // namespace

const std::string_view kUsage =
    "usage: brawlhue [--off] [--explain] [--palette NAME] [--tags] [FILE...]\n"
    "Colours the combat lines of a game transcript with ANSI colour sequences.\n"
    "Reads the FILEs in order; standard input when there is none, or for -.\n"
    "\n"
    "  --off           pass every line through unchanged\n"
    "  --explain       print, for each line, the test that coloured it, 'speech' or '-'\n"
    "  --palette NAME  the colours: classic (the default) or colourblind\n"
    "  --tags          begin each coloured message with a word naming its kind, for\n"
    "                  screen readers: Hit, Miss, Ouch, Safe or Event\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "  --              treat every later argument as a FILE\n";

std::optional<Options> ParseOptions(std::span<const char* const> arguments, std::string& error) {
    Options options;
    bool options_ended = false;
    bool palette_next = false;
    for (const char* argument : arguments) {
        const std::string_view text = argument;
        if (palette_next || text.starts_with("--palette=")) {
            const std::string_view name =
                palette_next ? text : text.substr(kPaletteOption.size() + 1);
            palette_next = false;
            const PaletteIndex palette = PaletteNamed(name);
            if (palette == kNoPalette) {
                error = "unknown palette '";
                error += name;
                error += "'; the palettes are " + PaletteNameList();
                return std::nullopt;
            }
            options.appearance.palette = palette;
        } else if (options_ended || text == kStandardInputName || !text.starts_with('-')) {
            options.files.push_back(text);
        } else if (text == "--") {
            options_ended = true;
        } else if (text == "--off") {
            options.colouring_off = true;
        } else if (text == "--explain") {
            options.explain = true;
        } else if (text == kPaletteOption) {
            palette_next = true;
        } else if (text == "--tags") {
            options.appearance.tags = true;
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
    if (palette_next) {
        error = "--palette needs a name; the palettes are " + PaletteNameList();
        return std::nullopt;
    }
    return options;
}

}  // namespace brawlhue::cli
