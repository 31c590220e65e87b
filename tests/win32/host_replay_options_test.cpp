// brawlhost's command line: one transcript, options anywhere, "--" ends them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/palettes.h"
#include "host/replay_options.h"

namespace {

using brawlhue::host::ParseReplayOptions;

TEST(ReplayOptions, AcceptsOptionsAroundOneTranscript) {
    struct Case {
        std::vector<std::wstring_view> arguments;
        bool off;
        bool lines_only;
        std::optional<std::wstring> variables_file;
        std::wstring transcript;
    };
    const Case cases[] = {
        {{L"log"}, false, false, std::nullopt, L"log"},
        {{L"--lines-only", L"log", L"--off"}, true, true, std::nullopt, L"log"},
        {{L"--vars", L"v.txt", L"-"}, false, false, L"v.txt", L"-"},
        {{L"--vars=v.txt", L"log"}, false, false, L"v.txt", L"log"},
        {{L"--", L"--off"}, false, false, std::nullopt, L"--off"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto options = ParseReplayOptions(c.arguments, error);
        ASSERT_TRUE(options) << error;
        EXPECT_EQ(c.off, options->colouring_off);
        EXPECT_EQ(c.lines_only, options->lines_only);
        EXPECT_EQ(c.variables_file, options->variables_file);
        EXPECT_EQ(c.transcript, options->transcript);
    }
}

TEST(ReplayOptions, RefusesWhatItCannotRun) {
    struct Case {
        std::vector<std::wstring_view> arguments;
        std::string_view error;
    };
    const Case cases[] = {
        {{}, "no transcript given"},
        {{L"a", L"b"}, "more than one transcript given"},
        {{L"log", L"--vars"}, "--vars needs a file name"},
        {{L"--vars=", L"log"}, "--vars needs a file name"},
        {{L"--benchmark", L"log"}, "unknown option --benchmark"},
        {{L"--palette", L"rainbow", L"log"},
         "unknown palette 'rainbow'; the palettes are classic, colourblind"},
        {{L"log", L"--palette"}, "--palette needs a name; the palettes are classic, colourblind"},
        {{L"--palette", L"--", L"log"},
         "unknown palette '--'; the palettes are classic, colourblind"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseReplayOptions(c.arguments, error));
        EXPECT_EQ(c.error, error);
    }
}

// The palette is named as the native brawlhue takes it: the next argument or after "=", in any
// letter case.
TEST(ReplayOptions, TakesAPaletteAndTags) {
    const brawlhue::PaletteIndex colourblind = brawlhue::FindPalette(u"colourblind");
    const struct {
        std::vector<std::wstring_view> arguments;
        std::optional<brawlhue::PaletteIndex> palette;
        bool tags;
    } cases[] = {
        {{L"log"}, std::nullopt, false},
        {{L"--palette", L"colourblind", L"log"}, colourblind, false},
        {{L"--palette", L"CLASSIC", L"log"}, brawlhue::kClassicPalette, false},
        {{L"log", L"--tags", L"--palette=ColourBlind"}, colourblind, true},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = ParseReplayOptions(c.arguments, error);
        ASSERT_TRUE(options) << error;
        EXPECT_EQ(c.palette, options->palette);
        EXPECT_EQ(c.tags, options->tags);
        EXPECT_EQ(L"log", options->transcript);
    }
}

}  // namespace
