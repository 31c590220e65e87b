// plugCommand: the user's #brawlhue command with its sub-commands help, status, on and off.
#include <array>
#include <string>

#include "plugin/brawlhue_class.h"
#include "plugin/com_guard.h"
#include "plugin/text_conversions.h"
#include "plugin/unique_bstr.h"

namespace brawlhue {
namespace {

constexpr LONG kCommandId = 20351;
constexpr LONG kLineColour = 131;
constexpr LONG kTitleColour = 387;

struct Line {
    std::u16string_view text;
    LONG colour = kLineColour;
};

constexpr std::array kHelpLines{
    Line{u""},
    Line{u"Brawlhue Plugin Help", kTitleColour},
    Line{u""},
    Line{u"Use:"},
    Line{u"  '#brawlhue on' to toggle plugin on"},
    Line{u"  '#brawlhue off' to toggle plugin off"},
    Line{u"  '#brawlhue status' to display status"},
    Line{u""},
};
constexpr std::array kEnabledStatusLines{Line{u""}, Line{u"Brawlhue: Enabled."}};
constexpr std::array kDisabledStatusLines{Line{u""}, Line{u"Brawlhue: Disabled."}};
constexpr std::array kSwitchedOnLines{Line{u""}, Line{u"Brawlhue has been enabled."}};
constexpr std::array kSwitchedOffLines{Line{u""}, Line{u"Brawlhue has been disabled."}};
constexpr std::array kUnknownWordLines{
    Line{u""},
    Line{u"Brawlhue: Unknown command."},
    Line{u"Use '#brawlhue help' for more information."},
};
constexpr Line kClosingLine{u""};

// The sub-command words, in the order they are looked for.
enum class Word { kHelp, kStatus, kOn, kOff, kNone };
constexpr std::array<std::u16string_view, 4> kWords{u"help", u"status", u"on", u"off"};

// Letter case is ignored; the words are plain ASCII, so folding ASCII letters suffices.
std::u16string Lowered(std::u16string_view text) {
    std::u16string lowered(text);
    for (char16_t& unit : lowered) {
        if (unit >= u'A' && unit <= u'Z') {
            unit = static_cast<char16_t>(unit - u'A' + u'a');
        }
    }
    return lowered;
}

// The first word, in the fixed order, that occurs anywhere in the command text.
Word FindWord(std::u16string_view command) {
    const std::u16string lowered = Lowered(command);
    for (std::size_t word = 0; word < kWords.size(); ++word) {
        if (lowered.find(kWords[word]) != std::u16string::npos) {
            return static_cast<Word>(word);
        }
    }
    return Word::kNone;
}

template <std::size_t Count>
void DisplayLines(HostSession* session, const std::array<Line, Count>& lines) {
    for (const Line& line : lines) {
        DisplayLine(session, line.text, line.colour);
    }
}

}  // namespace

HRESULT BrawlhueClass::plugCommand(LONG H, LONG ComID, BSTR ComStr, VARIANT) noexcept {
    return com::GuardedCall([&] {
        const std::u16string command(com::TextOf(ComStr));
        const com::ComRef<HostSession> session = FindSession(H);
        if (ComID != kCommandId) {
            DisplayLine(session.get(), u"", kLineColour);
            DisplayLine(
                session.get(),
                u"Brawlhue: Unknown plugin command ID " + DecimalText(ComID) + u", aborting",
                kLineColour);
            DisplayLine(session.get(), u"", kLineColour);
            return S_OK;
        }
        switch (FindWord(command)) {
            case Word::kHelp:
                // The help ends with its own empty line.
                DisplayLines(session.get(), kHelpLines);
                return S_OK;
            case Word::kStatus:
                // Only the true value counts as on here.
                DisplayLines(session.get(),
                             Enabled == VARIANT_TRUE ? kEnabledStatusLines : kDisabledStatusLines);
                break;
            case Word::kOn:
                Enabled = VARIANT_TRUE;
                SaveEnabledFlag(session.get());
                DisplayLines(session.get(), kSwitchedOnLines);
                break;
            case Word::kOff:
                Enabled = VARIANT_FALSE;
                SaveEnabledFlag(session.get());
                DisplayLines(session.get(), kSwitchedOffLines);
                break;
            case Word::kNone:
                DisplayLines(session.get(), kUnknownWordLines);
                break;
        }
        DisplayLine(session.get(), kClosingLine.text, kClosingLine.colour);
        return S_OK;
    });
}

}  // namespace brawlhue
