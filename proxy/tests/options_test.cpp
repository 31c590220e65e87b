// The proxy's parsers of what the player types: addresses, stored flags and the command line.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "proxy/options.h"
#include "proxy/state_store.h"

namespace brawlhue::proxy {
namespace {

TEST(ParseHostPort, TakesNamesAddressesAndBracketedV6) {
    struct Case {
        const char* text;
        std::optional<std::pair<std::string, std::string>> parsed;
    };
    const std::vector<Case> cases = {
        {"game.example.org:2224", {{"game.example.org", "2224"}}},
        {"127.0.0.1:0", {{"127.0.0.1", "0"}}},
        {"[::1]:4000", {{"::1", "4000"}}},
        {"::1:4000", std::nullopt},  // a v6 address needs its brackets
        {"game:65536", std::nullopt},
        {"game:", std::nullopt},
        {":23", std::nullopt},
        {"game:23x", std::nullopt},
        {"game", std::nullopt},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        const auto parsed = ParseHostPort(test.text);
        ASSERT_EQ(parsed.has_value(), test.parsed.has_value());
        if (parsed) {
            EXPECT_EQ(parsed->host, test.parsed->first);
            EXPECT_EQ(parsed->port, test.parsed->second);
            EXPECT_EQ(ParseHostPort(parsed->ToString())->ToString(), parsed->ToString());
        }
    }
}

TEST(ParseFlag, ReadsTheValueAsThePluginReadsItsVariable) {
    const std::vector<std::pair<const char*, std::optional<bool>>> cases = {
        {"True", true}, {"FALSE", false}, {"tRuE", true}, {"1", true}, {"0", false}, {"-7", true},
        {"+0", false},  {"", {}},         {"yes", {}},    {"1 ", {}},  {"0x1", {}},
    };
    for (const auto& [text, flag] : cases) {
        EXPECT_EQ(ParseFlag(text), flag) << '"' << text << '"';
    }
}

TEST(ParseOptions, AcceptsWhatTheHelpNamesAndRefusesTheRest) {
    struct Case {
        std::vector<const char*> arguments;
        const char* error;  // empty when the line is accepted
    };
    const std::vector<Case> cases = {
        {{"--connect", "g:1"}, ""},
        {{"--connect=g:1", "--listen=[::1]:5", "--hold-ms", "0", "--off", "--no-compress"}, ""},
        {{"-h"}, ""},
        {{"-V"}, ""},
        {{}, "--connect HOST:PORT is required"},
        {{"--connect"}, "option '--connect' needs a value"},
        {{"--connect", "g:1", "--off=1"}, "option '--off' takes no value"},
        {{"--connect", "g:1", "--hold-ms", "60001"},
         "--hold-ms takes a number of milliseconds from 0 to 60000"},
        {{"--connect", "g:1", "--bogus"}, "unknown option '--bogus'"},
        {{"--connect", "g:1", "--palette", "ColourBlind", "--tags"}, ""},
        {{"--connect", "g:1", "--palette=sepia"},
         "unknown palette 'sepia'; the palettes are classic, colourblind"},
        {{"--connect", "g:1", "--palette"}, "option '--palette' needs a value"},
        {{"--connect", "g:1", "--tags=on"}, "option '--tags' takes no value"},
        {{"--connect", "g:1", "--ca", "x.pem"},
         kHasTls ? "--ca needs --tls" : "this build has no TLS: --tls and --ca are not available"},
    };
    for (const Case& test : cases) {
        std::string error;
        const auto options = ParseOptions(test.arguments, error);
        SCOPED_TRACE(test.arguments.empty() ? "(none)" : test.arguments.front());
        EXPECT_EQ(options.has_value(), *test.error == '\0') << error;
        if (*test.error != '\0') {
            EXPECT_EQ(error, test.error);
        }
    }
}

TEST(ParseOptions, PaletteAndTagsAreTheStartingAppearance) {
    const std::vector<std::pair<std::vector<const char*>, Appearance>> cases = {
        {{"--connect", "g:1"}, {}},
        {{"--connect", "g:1", "--tags"}, {kClassicPalette, true}},
        {{"--palette=COLOURBLIND", "--connect", "g:1"}, {FindPalette(u"colourblind"), false}},
    };
    for (const auto& [arguments, appearance] : cases) {
        std::string error;
        const auto options = ParseOptions(arguments, error);
        ASSERT_TRUE(options) << error;
        EXPECT_EQ(options->appearance, appearance) << arguments.back();
    }
}

}  // namespace
}  // namespace brawlhue::proxy
