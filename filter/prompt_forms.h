// The game's prompt forms: the openings a prompt begins with, the pager, and the prompts that
// stand alone. The prompt stripper reads them, and so does every other engine built from these
// tables.
#pragma once

#include <string_view>

namespace brawlhue {

// Openings compared on their full length, in this order.
inline constexpr std::u16string_view kPromptOpenings[] = {
    u"* ", u"o ", u"S ", u"R ", u" HP:", u" R:", u" S:", u" SP:", u" DP:", u" MV:", u" > ",
};

// "I" followed by a number, the number ending at the first blank.
inline constexpr char16_t kNumberedOpening = u'I';
inline constexpr char16_t kNumberEnd = u' ';

// The pager stands behind one character of an opening, so it takes 42 units in all.
inline constexpr std::u16string_view kPagerText = u" Press <Return> to continue, q to quit *>";
static_assert(kPagerText.size() == 41);

// A prompt that begins with an opening runs to the blank behind its first terminator.
inline constexpr std::u16string_view kPromptTerminator = u" > ";
inline constexpr std::u16string_view kBarePrompts[] = {u"> ", u"] "};

}  // namespace brawlhue
