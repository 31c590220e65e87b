#include "host/replay_options.h"

#include <string>
#include <vector>

namespace brawlhue::host {

const std::string_view kReplayUsage =
    "usage: brawlhost [--off] [--palette NAME] [--tags] [--vars FILE] [--lines-only] TRANSCRIPT\n"
    "       brawlhost --bench TRANSCRIPT\n"
    "Replays TRANSCRIPT (\"-\": standard input) through the registered Brawlhue.dll, as the\n"
    "zMUD host would: each line goes to Parse, a line beginning with \"#brawlhue\" goes to\n"
    "plugCommand instead. Prints each received line as Parse left it and each line the\n"
    "plug-in showed in the session window (DisplayText), in order.\n"
    "  --off           the session's stored on/off flag is \"False\" when it connects\n"
    "  --palette NAME  the session's stored palette is NAME when it connects: classic or\n"
    "                  colourblind\n"
    "  --tags          the session's stored spoken tags are on when it connects\n"
    "  --vars FILE     load the session's host variables from FILE before connecting and save\n"
    "                  them back after disconnecting (a missing FILE holds none); the options\n"
    "                  above override what it holds\n"
    "  --lines-only    print the received lines only\n"
    "  --bench         print the time of one Parse call, averaged over the transcript's lines\n";

namespace {

std::string Narrow(std::wstring_view text) {
    std::string narrow;
    for (const wchar_t unit : text) {
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return narrow;
}

constexpr std::wstring_view kPaletteOption = L"--palette";

// The palette of that name, letter case ignored; nothing, with error set, when there is none.
std::optional<PaletteIndex> PaletteNamed(std::wstring_view name, std::string& error) {
    const PaletteIndex palette = FindPalette(std::u16string(name.begin(), name.end()));
    if (palette == kNoPalette) {
        error = "unknown palette '" + Narrow(name) + "'; the palettes are " + PaletteNameList();
        return std::nullopt;
    }
    return palette;
}

}  // namespace

std::optional<ReplayOptions> ParseReplayOptions(std::span<const std::wstring_view> arguments,
                                                std::string& error) {
    ReplayOptions options;
    std::vector<std::wstring_view> files;
    bool options_ended = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring_view argument = arguments[i];
        if (options_ended || argument == kStandardInputName || !argument.starts_with(L"-")) {
            files.push_back(argument);
        } else if (argument == L"--") {
            options_ended = true;
        } else if (argument == L"--off") {
            options.colouring_off = true;
        } else if (argument == L"--tags") {
            options.tags = true;
        } else if (argument == kPaletteOption || argument.starts_with(L"--palette=")) {
            const bool separate = argument == kPaletteOption;
            if (separate && i + 1 == arguments.size()) {
                error = "--palette needs a name; the palettes are " + PaletteNameList();
                return std::nullopt;
            }
            options.palette = PaletteNamed(
                separate ? arguments[++i] : argument.substr(kPaletteOption.size() + 1), error);
            if (!options.palette) {
                return std::nullopt;
            }
        } else if (argument == L"--help") {
            options.help = true;
        } else if (argument == L"--bench") {
            options.bench = true;
        } else if (argument == L"--lines-only") {
            options.lines_only = true;
        } else if (argument == L"--vars") {
            if (i + 1 == arguments.size()) {
                error = "--vars needs a file name";
                return std::nullopt;
            }
            options.variables_file = std::wstring(arguments[++i]);
        } else if (argument.starts_with(L"--vars=")) {
            options.variables_file = std::wstring(argument.substr(7));
        } else {
            error = "unknown option " + Narrow(argument);
            return std::nullopt;
        }
    }
    if (options.help) {
        return options;
    }
    if (files.size() != 1) {
        error = files.empty() ? "no transcript given" : "more than one transcript given";
        return std::nullopt;
    }
    if (options.variables_file && options.variables_file->empty()) {
        error = "--vars needs a file name";
        return std::nullopt;
    }
    options.transcript = std::wstring(files.front());
    return options;
}

}  // namespace brawlhue::host
