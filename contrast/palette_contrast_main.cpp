// brawlhue_palette_contrast [--write|--check] [FILE...]: the palettes' contrast tables, measured.
// Alone it prints them; with --write it puts them into each FILE between the lines
// "<!-- palette-contrast -->" and "<!-- /palette-contrast -->"; with --check it exits 1 when a
// FILE's tables differ from what it measures now.
#include <fstream>
#include <iostream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

#include "contrast/palette_contrast.h"

namespace {

constexpr std::string_view kBegin = "<!-- palette-contrast -->\n";
constexpr std::string_view kEnd = "<!-- /palette-contrast -->";

// The file's text with the tables in place; empty when it has no place for them.
std::string WithTables(const std::string& text, const std::string& tables) {
    const std::size_t begin = text.find(kBegin);
    const std::size_t end = text.find(kEnd);
    if (begin == std::string::npos || end == std::string::npos || end < begin) {
        return {};
    }
    const std::size_t from = begin + kBegin.size();
    return text.substr(0, from) + tables + text.substr(end);
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> arguments(argv + 1, static_cast<std::size_t>(argc - 1));
    const std::string tables = brawlhue::contrast::ContrastTables();
    if (arguments.empty()) {
        std::cout << tables;
        return 0;
    }
    const std::string_view mode = arguments[0];
    if ((mode != "--write" && mode != "--check") || arguments.size() < 2) {
        std::cerr << "usage: brawlhue_palette_contrast [--write|--check FILE...]\n";
        return 2;
    }
    int status = 0;
    for (const char* path : arguments.subspan(1)) {
        std::ifstream in(path, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        const std::string updated = WithTables(text, tables);
        if (!in || updated.empty()) {
            std::cerr << path << ": no place for the contrast tables\n";
            return 1;
        }
        if (updated == text) {
            continue;
        }
        if (mode == "--check") {
            std::cerr << path
                      << ": the contrast tables are not what the palettes measure; run "
                         "make contrast-tables\n";
            status = 1;
        } else {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << updated;
        }
    }
    return status;
}
