// The command line of brawlhost:
// brawlhost [--off] [--palette NAME] [--tags] [--vars FILE] [--lines-only] TRANSCRIPT,
// or brawlhost --bench TRANSCRIPT
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/palettes.h"

namespace brawlhue::host {

inline constexpr std::wstring_view kStandardInputName = L"-";

struct ReplayOptions {
    bool colouring_off = false;  // --off: the session's stored flag is "False" at connect
    // --palette NAME: the session's stored palette at connect; nothing: as stored, if at all
    std::optional<PaletteIndex> palette;
    bool tags = false;        // --tags: the session's stored spoken tags are "True" at connect
    bool lines_only = false;  // --lines-only: the received lines alone, no DisplayText lines
    bool help = false;        // --help: the usage text, nothing else
    bool bench = false;       // --bench: time Parse over the transcript's lines instead
    std::optional<std::wstring> variables_file;  // --vars FILE
    std::wstring transcript;                     // "-" is standard input
};

extern const std::string_view kReplayUsage;

// Nothing when the arguments are wrong; error then says why, in one line.
std::optional<ReplayOptions> ParseReplayOptions(std::span<const std::wstring_view> arguments,
                                                std::string& error);

}  // namespace brawlhue::host
