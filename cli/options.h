// The command line of brawlhue: brawlhue [--off] [--explain] [--palette NAME] [--tags] [FILE...]
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/colorizer.h"

namespace brawlhue::cli {

inline constexpr std::string_view kStandardInputName = "-";

struct Options {
    bool colouring_off = false;           // --off: every line passes unchanged
    bool explain = false;                 // --explain: the deciding test's name instead of the line
    Appearance appearance;                // --palette NAME, --tags
    bool help = false;                    // --help
    bool version = false;                 // --version
    std::vector<std::string_view> files;  // in order; empty means standard input alone
};

extern const std::string_view kUsage;

// Options may stand before, between or after the files; "--" makes everything after it a file,
// and "-" alone is standard input. --palette takes the next argument, or the text after
// "--palette=". Nothing when an argument is an unknown option, or a palette is missing or
// unknown; error then says which.
std::optional<Options> ParseOptions(std::span<const char* const> arguments, std::string& error);

}  // namespace brawlhue::cli
