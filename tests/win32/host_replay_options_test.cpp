// brawlhost's command line: one transcript, options anywhere, "--" ends them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseReplayOptions(c.arguments, error));
        EXPECT_EQ(c.error, error);
    }
}

}  // namespace
