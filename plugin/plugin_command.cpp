// plugCommand: the user's #brawlhue command with its sub-commands help, status, on, off, palette
// and tags. The search and the lines are shared with the stream filter (command/); this is the
// COM side: the session, its window, the choices and their host variables.
#include <span>
#include <string>

#include "command/plugin_command_text.h"
#include "plugin/brawlhue_class.h"
#include "plugin/com_guard.h"
#include "plugin/unique_bstr.h"

namespace brawlhue {
namespace {

void DisplayLines(HostSession* session, std::span<const CommandLine> lines) {
    for (const CommandLine& line : lines) {
        DisplayLine(session, line.text, line.colour);
    }
}

}  // namespace

HRESULT BrawlhueClass::plugCommand(LONG H, LONG ComID, BSTR ComStr, VARIANT) noexcept {
    return com::GuardedCall([&] {
        const std::u16string command(com::TextOf(ComStr));
        const com::ComRef<HostSession> session = FindSession(H);
        if (ComID != kPluginCommandId) {
            DisplayLine(session.get(), u"", kCommandLineColour);
            DisplayLine(session.get(), UnknownCommandIdText(ComID), kCommandLineColour);
            DisplayLine(session.get(), u"", kCommandLineColour);
            return S_OK;
        }
        const ParsedCommand parsed = ParseCommand(command);
        const SubCommand found = parsed.sub_command;
        // Every switch is saved before it is confirmed: a failed save shows no confirmation.
        if (found == SubCommand::kPalette || found == SubCommand::kTags) {
            const AppearanceAnswer answer = AnswerAppearanceCommand(parsed, ChosenAppearance);
            if (answer.palette_set || answer.tags_set) {
                ChosenAppearance = answer.appearance;
                SaveAppearanceChoice(session.get(), found);
            }
            const CommandLine lines[] = {{u""}, {answer.text}, {u""}};
            DisplayLines(session.get(), lines);
            return S_OK;
        }
        if (found == SubCommand::kOn || found == SubCommand::kOff) {
            Enabled = found == SubCommand::kOn ? VARIANT_TRUE : VARIANT_FALSE;
            SaveEnabledFlag(session.get());
        }
        // Only the true value counts as on for the status.
        DisplayLines(session.get(), CommandAnswer(found, Enabled == VARIANT_TRUE));
        return S_OK;
    });
}

}  // namespace brawlhue
