// Recognising the game's prompts at the start of a received line, and stripping them.
#pragma once

#include <cstdint>
#include <string_view>

namespace brawlhue {

// True when the line begins like a prompt: one of the fixed openings, or "I" followed by a
// number in general form and a blank.
bool IsPromptStart(std::u16string_view line) noexcept;

// How many leading units form one prompt; 0 when the line does not begin with one. The result
// is never larger than the line.
std::int32_t PromptLength(std::u16string_view line) noexcept;

// The line less all its leading prompts: always a tail of the line, found without copying it.
std::u16string_view GetNonPrompt(std::u16string_view line) noexcept;

}  // namespace brawlhue
