// brawlhue_lua_tables OUTPUT: writes the Lua engine's tables module from the engine's own
// constant arrays, so that the Lua clients (Mudlet, MUSHclient) colour from the very tables the
// plug-in, the proxy and the command use. Run by the build; its output is never edited.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "command/plugin_command_text.h"
#include "engine/category_tables.h"
#include "engine/colorizer.h"
#include "engine/colour_codes.h"
#include "engine/palettes.h"
#include "engine/spoken_tags.h"
#include "filter/prompt_forms.h"

namespace {

using namespace brawlhue;

// Every table text is ASCII (the tables check that at compile time); anything else is written as
// an escape all the same, so that the module is plain ASCII whatever it holds.
std::string Quoted(std::u16string_view text) {
    std::string quoted = "\"";
    for (char16_t unit : text) {
        if (unit >= 0x80) {
            throw std::runtime_error("a table text is not ASCII");
        }
        if (unit == u'"' || unit == u'\\') {
            quoted += '\\';
            quoted += static_cast<char>(unit);
        } else if (unit < 0x20 || unit == 0x7F) {
            quoted += "\\" + std::to_string(static_cast<unsigned>(unit));
        } else {
            quoted += static_cast<char>(unit);
        }
    }
    return quoted + "\"";
}

std::string Quoted(std::string_view text) {
    return Quoted(std::u16string(text.begin(), text.end()));
}

std::string Quoted(char16_t unit) {
    return Quoted(std::u16string_view(&unit, 1));
}

void WriteTests(std::ostream& out) {
    out << "  -- Every test in the engine's order: the gate, speech, then the cascade's thirteen.\n"
        << "  tests = {\n";
    for (const CategoryTest* test : kAllTests) {
        out << "    { name = " << Quoted(test->name)
            << ", gated = " << (test->gated ? "true" : "false") << ", entries = {\n";
        for (const Entry& entry : test->entries) {
            out << "      { " << (entry.kind == kExact ? "exact = " : "pattern = ")
                << Quoted(entry.text) << " },\n";
        }
        out << "    } },\n";
    }
    out << "  },\n"
        << "  gate = " << Quoted(HasAttackVerb.name) << ",\n"
        << "  speech = " << Quoted(IsSpeech.name) << ",\n";
}

void WriteCascade(std::ostream& out) {
    out << "  -- Tried in this order; the first test that holds gives the sequence.\n"
        << "  cascade = {\n";
    for (const CascadeRow& row : kCascade) {
        const ColourSequence opening =
            BuildColourSequence(row.foreground, row.background, row.attribute);
        out << "    { test = " << Quoted(row.test->name)
            << ", foreground = " << Quoted(row.foreground)
            << ", background = " << Quoted(row.background)
            << ", attribute = " << Quoted(row.attribute)
            << ", sequence = " << Quoted(opening.view())
            << ", outcome = " << IndexOf(row.outcome) + 1 << " },\n";
    }
    out << "  },\n"
        << "  reset = " << Quoted(kResetSequence) << ",\n";
}

// The Lua engine builds an opening as the palette's sequence, then with tags the tag and its
// separator; a C++ opening made otherwise must stop the build rather than differ in Lua.
std::u16string LuaOpening(Outcome outcome, Appearance appearance) {
    std::u16string opening(PaletteSequence(appearance.palette, outcome).view());
    if (appearance.tags) {
        opening += kSpokenTags[IndexOf(outcome)];
        opening += kSpokenTagSeparator;
    }
    return opening;
}

void WriteAppearance(std::ostream& out) {
    out << "  -- Outcomes are numbered in this order: own success, own failure, lands on you,\n"
        << "  -- misses you, special event. The first palette is the default.\n"
        << "  palettes = {\n";
    for (std::size_t index = 0; index < kPalettes.size(); ++index) {
        out << "    { name = " << Quoted(kPalettes[index].name) << ", sequences = { ";
        for (std::size_t outcome = 0; outcome < kOutcomeCount; ++outcome) {
            const auto palette = static_cast<PaletteIndex>(index);
            const auto which = static_cast<Outcome>(outcome);
            for (const bool tags : {false, true}) {
                if (OpeningFor(which, {palette, tags}).view() !=
                    LuaOpening(which, {palette, tags})) {
                    throw std::runtime_error("an opening is not the sequence and the tag");
                }
            }
            out << Quoted(PaletteSequence(palette, which).view()) << ", ";
        }
        out << "} },\n";
    }
    out << "  },\n  spoken_tags = { ";
    for (std::u16string_view tag : kSpokenTags) {
        out << Quoted(tag) << ", ";
    }
    out << "},\n  spoken_tag_separator = " << Quoted(kSpokenTagSeparator) << ",\n";
}

void WritePromptForms(std::ostream& out) {
    out << "  prompt = {\n    openings = { ";
    for (std::u16string_view opening : kPromptOpenings) {
        out << Quoted(opening) << ", ";
    }
    out << "},\n    numbered_opening = " << Quoted(kNumberedOpening)
        << ",\n    number_end = " << Quoted(kNumberEnd) << ",\n    pager = " << Quoted(kPagerText)
        << ",\n    terminator = " << Quoted(kPromptTerminator) << ",\n    bare = { ";
    for (std::u16string_view bare : kBarePrompts) {
        out << Quoted(bare) << ", ";
    }
    out << "},\n  },\n";
}

void WriteAnswer(std::ostream& out, std::string_view name, SubCommand found, bool flag_on) {
    out << "      " << name << " = { ";
    for (const CommandLine& line : CommandAnswer(found, flag_on)) {
        out << "{ text = " << Quoted(line.text) << ", colour = " << line.colour << " }, ";
    }
    out << "},\n";
}

void WriteLines(std::ostream& out, std::u16string_view text) {
    // The three lines of every palette and tags answer: the text framed by empty lines.
    out << "{ ";
    for (std::u16string_view line : {std::u16string_view(), text, std::u16string_view()}) {
        out << "{ text = " << Quoted(line) << ", colour = " << kCommandLineColour << " }, ";
    }
    out << "}";
}

// Each answer as the C++ command gives it, for every state that changes its text.
void WriteAppearanceAnswers(std::ostream& out) {
    const auto answer = [](std::u16string_view command, Appearance current) {
        return AnswerAppearanceCommand(ParseCommand(command), current).text;
    };
    out << "      -- By palette index: the list with that palette in use, and that palette set.\n"
        << "      palette_list = { ";
    for (std::size_t index = 0; index < kPalettes.size(); ++index) {
        WriteLines(out, answer(kPaletteWord, {static_cast<PaletteIndex>(index), false}));
        out << ", ";
    }
    out << "},\n      palette_set = { ";
    for (const Palette& palette : kPalettes) {
        WriteLines(out,
                   answer(std::u16string(kPaletteWord) + u" " + std::u16string(palette.name), {}));
        out << ", ";
    }
    out << "},\n      unknown_palette = ";
    const ParsedCommand unknown{SubCommand::kPalette, u"no palette"};
    if (FindPalette(unknown.argument) != kNoPalette) {
        throw std::runtime_error("the unknown palette's stand-in is a palette");
    }
    WriteLines(out, AnswerAppearanceCommand(unknown, {}).text);
    const std::u16string tags(kTagsWord);
    out << ",\n      tags_on = ";
    WriteLines(out, answer(tags + u" on", {}));
    out << ",\n      tags_off = ";
    WriteLines(out, answer(tags + u" off", {}));
    out << ",\n      tags_are_on = ";
    WriteLines(out, answer(tags, {kClassicPalette, true}));
    out << ",\n      tags_are_off = ";
    WriteLines(out, answer(tags, {kClassicPalette, false}));
    out << ",\n";
}

// The word the players type, which a command text may begin with. The command keeps it to
// itself; what it parses shows it is this one.
std::u16string_view CheckedCommandWord() {
    constexpr std::u16string_view kWord = u"#brawlhue";
    if (ParseCommand(std::u16string(kWord) + u" tags").sub_command != SubCommand::kTags) {
        throw std::runtime_error("the command word is not the command's");
    }
    return kWord;
}

void WriteCommand(std::ostream& out) {
    out << "  command = {\n"
        << "    -- Looked for in this order, letter case ignored, anywhere in the text.\n"
        << "    words = { ";
    for (std::u16string_view word : kSubCommandWords) {
        out << Quoted(word) << ", ";
    }
    out << "},\n"
        << "    -- Counted only as the first word after the command's.\n"
        << "    command_word = " << Quoted(CheckedCommandWord()) << ",\n"
        << "    palette_word = " << Quoted(kPaletteWord) << ",\n"
        << "    tags_word = " << Quoted(kTagsWord) << ",\n"
        << "    answers = {\n";
    WriteAnswer(out, "help", SubCommand::kHelp, true);
    WriteAnswer(out, "enabled", SubCommand::kStatus, true);
    WriteAnswer(out, "disabled", SubCommand::kStatus, false);
    WriteAnswer(out, "on", SubCommand::kOn, true);
    WriteAnswer(out, "off", SubCommand::kOff, true);
    WriteAnswer(out, "unknown", SubCommand::kNone, true);
    WriteAppearanceAnswers(out);
    out << "    },\n  },\n";
}

std::string Module() {
    std::ostringstream out;
    out << "-- Written by brawlhue_lua_tables (lua/generate_lua_tables.cpp) from the engine's "
           "tables:\n"
        << "-- engine/category_tables.h, engine/colorizer.h, engine/colour_codes.h,\n"
        << "-- filter/prompt_forms.h and command/plugin_command_text.cpp. Never edit it by hand.\n"
        << "return {\n"
        << "  version = " << Quoted(std::string_view(BRAWLHUE_VERSION)) << ",\n"
        << "  banner = "
        << Quoted(std::string(BRAWLHUE_PRODUCT_NAME) + ", v " + BRAWLHUE_VERSION + ", " +
                  BRAWLHUE_COPYRIGHT)
        << ",\n";
    WriteTests(out);
    WriteCascade(out);
    WriteAppearance(out);
    WritePromptForms(out);
    WriteCommand(out);
    out << "}\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: brawlhue_lua_tables OUTPUT\n";
        return 2;
    }
    try {
        const std::string module = Module();
        std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
        file << module;
        file.close();
        if (!file) {
            std::cerr << "brawlhue_lua_tables: cannot write " << argv[1] << "\n";
            return 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "brawlhue_lua_tables: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
