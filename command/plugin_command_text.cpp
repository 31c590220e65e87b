#include "command/plugin_command_text.h"

#include <array>
#include <charconv>
#include <tuple>
#include <utility>

namespace brawlhue {
namespace {

constexpr std::array kHelpLines{
    CommandLine{u""},
    CommandLine{u"Brawlhue Plugin Help", kCommandTitleColour},
    CommandLine{u""},
    CommandLine{u"Use:"},
    CommandLine{u"  '#brawlhue on' to toggle plugin on"},
    CommandLine{u"  '#brawlhue off' to toggle plugin off"},
    CommandLine{u"  '#brawlhue status' to display status"},
    CommandLine{u""},
};
// Every answer but the help ends with a closing empty line.
constexpr std::array kEnabledStatusLines{CommandLine{u""}, CommandLine{u"Brawlhue: Enabled."},
                                         CommandLine{u""}};
constexpr std::array kDisabledStatusLines{CommandLine{u""}, CommandLine{u"Brawlhue: Disabled."},
                                          CommandLine{u""}};
constexpr std::array kSwitchedOnLines{CommandLine{u""}, CommandLine{u"Brawlhue has been enabled."},
                                      CommandLine{u""}};
constexpr std::array kSwitchedOffLines{
    CommandLine{u""}, CommandLine{u"Brawlhue has been disabled."}, CommandLine{u""}};
constexpr std::array kUnknownWordLines{
    CommandLine{u""},
    CommandLine{u"Brawlhue: Unknown command."},
    CommandLine{u"Use '#brawlhue help' for more information."},
    CommandLine{u""},
};

// The words are plain ASCII, so folding ASCII letters is all letter case needs.
constexpr char16_t Lowered(char16_t unit) noexcept {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view word) noexcept {
    if (text.size() != word.size()) {
        return false;
    }
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (Lowered(text[at]) != word[at]) {
            return false;
        }
    }
    return true;
}

constexpr bool IsBlank(char16_t unit) noexcept {
    return unit == u' ' || unit == u'\t';
}

std::u16string_view Trimmed(std::u16string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The first word of the text and what follows it.
std::pair<std::u16string_view, std::u16string_view> SplitFirstWord(std::u16string_view text) {
    text = Trimmed(text);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) {
        ++end;
    }
    return {text.substr(0, end), Trimmed(text.substr(end))};
}

constexpr std::u16string_view kCommandWord = u"#brawlhue";

std::u16string PaletteNames(PaletteIndex in_use) {
    std::u16string names;
    for (std::size_t index = 0; index < kPalettes.size(); ++index) {
        names += index == 0 ? u"" : u", ";
        names += kPalettes[index].name;
        if (index == in_use) {
            names += u" (in use)";
        }
    }
    return names;
}

bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view word) noexcept {
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
        std::size_t matched = 0;
        while (matched < word.size() && Lowered(text[at + matched]) == word[matched]) {
            ++matched;
        }
        if (matched == word.size()) {
            return true;
        }
    }
    return false;
}

}  // namespace

SubCommand FindSubCommand(std::u16string_view command_text) noexcept {
    for (std::size_t word = 0; word < kSubCommandWords.size(); ++word) {
        if (ContainsIgnoringCase(command_text, kSubCommandWords[word])) {
            return static_cast<SubCommand>(word);
        }
    }
    return SubCommand::kNone;
}

ParsedCommand ParseCommand(std::u16string_view command_text) noexcept {
    auto [word, rest] = SplitFirstWord(command_text);
    if (EqualsIgnoringCase(word, kCommandWord)) {
        std::tie(word, rest) = SplitFirstWord(rest);
    }
    if (EqualsIgnoringCase(word, kPaletteWord)) {
        return {SubCommand::kPalette, rest};
    }
    if (EqualsIgnoringCase(word, kTagsWord)) {
        return {SubCommand::kTags, rest};
    }
    return {FindSubCommand(command_text), {}};
}

AppearanceAnswer AnswerAppearanceCommand(const ParsedCommand& command, Appearance current) {
    AppearanceAnswer answer{current, false, false, u"Brawlhue: "};
    if (command.sub_command == SubCommand::kPalette) {
        if (command.argument.empty()) {
            answer.text += u"Palettes: " + PaletteNames(current.palette) + u".";
            return answer;
        }
        const PaletteIndex found = FindPalette(command.argument);
        if (found == kNoPalette) {
            answer.text += u"Unknown palette. Palettes: " + PaletteNames(kNoPalette) + u".";
            return answer;
        }
        answer.appearance.palette = found;
        answer.palette_set = true;
        answer.text += u"Palette ";
        answer.text += kPalettes[found].name;
        answer.text += u" in use.";
        return answer;
    }
    const bool on = EqualsIgnoringCase(command.argument, u"on");
    if (on || EqualsIgnoringCase(command.argument, u"off")) {
        answer.appearance.tags = on;
        answer.tags_set = true;
        answer.text += on ? u"Spoken tags on." : u"Spoken tags off.";
        return answer;
    }
    answer.text += current.tags ? u"Spoken tags are on" : u"Spoken tags are off";
    answer.text += u"; use '#brawlhue tags on' or '#brawlhue tags off'.";
    return answer;
}

std::span<const CommandLine> CommandAnswer(SubCommand found, bool flag_on) noexcept {
    switch (found) {
        case SubCommand::kHelp:
            return kHelpLines;
        case SubCommand::kStatus:
            return flag_on ? std::span<const CommandLine>(kEnabledStatusLines)
                           : std::span<const CommandLine>(kDisabledStatusLines);
        case SubCommand::kOn:
            return kSwitchedOnLines;
        case SubCommand::kOff:
            return kSwitchedOffLines;
        case SubCommand::kNone:
        case SubCommand::kPalette:
        case SubCommand::kTags:
            break;
    }
    return kUnknownWordLines;
}

std::u16string UnknownCommandIdText(std::int32_t command_id) {
    // Plain decimal: a minus sign only when negative, no blank, no leading zeros.
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, command_id).ptr;
    std::u16string text = u"Brawlhue: Unknown plugin command ID ";
    text.append(digits, end);
    text += u", aborting";
    return text;
}

}  // namespace brawlhue
