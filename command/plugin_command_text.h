// The #brawlhue command without the client around it: which sub-command a command text asks
// for, and the lines that answer it. The COM plug-in shows these lines in the session window
// and the stream filter writes them into the client's stream, so both answer alike.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/colorizer.h"

namespace brawlhue {

// The identifier under which the client hands #brawlhue to the plug-in.
inline constexpr std::int32_t kPluginCommandId = 20351;
// Display colour numbers: every line of the command, and the help's title alone.
inline constexpr std::int32_t kCommandLineColour = 131;
inline constexpr std::int32_t kCommandTitleColour = 387;

struct CommandLine {
    std::u16string_view text;
    std::int32_t colour = kCommandLineColour;
};

// The first five in the order they are looked for; palette and tags are the first word.
enum class SubCommand : std::uint8_t { kHelp, kStatus, kOn, kOff, kNone, kPalette, kTags };

// The words of the sub-commands, in the order of SubCommand.
inline constexpr std::array<std::u16string_view, 4> kSubCommandWords{u"help", u"status", u"on",
                                                                     u"off"};

// The first of "help", "status", "on", "off" that occurs anywhere in the text, letter case
// ignored; kNone when none does.
SubCommand FindSubCommand(std::u16string_view command_text) noexcept;

// Sub-commands that count only as the first word after #brawlhue.
inline constexpr std::u16string_view kPaletteWord = u"palette";
inline constexpr std::u16string_view kTagsWord = u"tags";

struct ParsedCommand {
    SubCommand sub_command;
    // For palette and tags, what follows the word, without blanks at either end.
    std::u16string_view argument;
};

// The sub-command of a command text: the text after the command word, or the whole command line
// with #brawlhue in front. A first word "palette" or "tags", letter case ignored, decides before
// anything else; every other text is searched as FindSubCommand searches it.
ParsedCommand ParseCommand(std::u16string_view command_text) noexcept;

// What a palette or tags command leaves and says. The answer is the one line framed by empty
// lines, as the other sub-commands' are.
struct AppearanceAnswer {
    Appearance appearance;  // the choices after the command
    bool palette_set;       // the player named a palette: a choice to keep
    bool tags_set;          // the player switched the tags on or off: a choice to keep
    std::u16string text;
};

// The answer to a parsed palette or tags command, given the choices in force.
AppearanceAnswer AnswerAppearanceCommand(const ParsedCommand& command, Appearance current);

// The lines that answer the sub-command, in the order they are shown, the closing empty line
// included (the help ends with its own); not for palette and tags. flag_on is read for the status
// alone; the caller passes whether the flag is exactly true, the only value the status reports as
// on.
std::span<const CommandLine> CommandAnswer(SubCommand found, bool flag_on) noexcept;

// The middle one of the three lines answering an identifier other than kPluginCommandId; the
// other two are empty lines of kCommandLineColour.
std::u16string UnknownCommandIdText(std::int32_t command_id);

}  // namespace brawlhue
