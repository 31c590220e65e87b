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
            << ", sequence = " << Quoted(opening.view()) << " },\n";
    }
    out << "  },\n"
        << "  reset = " << Quoted(kResetSequence) << ",\n";
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

void WriteCommand(std::ostream& out) {
    out << "  command = {\n"
        << "    -- Looked for in this order, letter case ignored, anywhere in the text.\n"
        << "    words = { ";
    for (std::u16string_view word : kSubCommandWords) {
        out << Quoted(word) << ", ";
    }
    out << "},\n"
        << "    answers = {\n";
    WriteAnswer(out, "help", SubCommand::kHelp, true);
    WriteAnswer(out, "enabled", SubCommand::kStatus, true);
    WriteAnswer(out, "disabled", SubCommand::kStatus, false);
    WriteAnswer(out, "on", SubCommand::kOn, true);
    WriteAnswer(out, "off", SubCommand::kOff, true);
    WriteAnswer(out, "unknown", SubCommand::kNone, true);
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
