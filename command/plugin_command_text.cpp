#include "command/plugin_command_text.h"

#include <array>
#include <charconv>

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
