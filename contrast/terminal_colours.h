// The sixteen ANSI colours as two clients show them by default, and the look they give a colour
// sequence: what a player actually sees of a palette.
#pragma once

#include <array>
#include <string_view>

#include "contrast/colour_science.h"

namespace brawlhue::contrast {

struct TerminalColours {
    std::string_view name;
    // 0 to 7 the normal colours, 8 to 15 the bright ones; bold shows the bright colour.
    std::array<Rgb, 16> ansi;
    Rgb default_foreground;
    Rgb default_background;
};

// xterm's defaults (its colour resources color0 to color15), plain text colour 7 on black, as
// a MUD client's terminal usually has it.
inline constexpr TerminalColours kXterm{
    "xterm",
    {{{0, 0, 0},
      {205, 0, 0},
      {0, 205, 0},
      {205, 205, 0},
      {0, 0, 238},
      {205, 0, 205},
      {0, 205, 205},
      {229, 229, 229},
      {127, 127, 127},
      {255, 0, 0},
      {0, 255, 0},
      {255, 255, 0},
      {92, 92, 255},
      {255, 0, 255},
      {0, 255, 255},
      {255, 255, 255}}},
    {229, 229, 229},
    {0, 0, 0},
};

// A new Mudlet profile's ANSI colours and its plain light grey on black.
inline constexpr TerminalColours kMudlet{
    "Mudlet",
    {{{0, 0, 0},
      {128, 0, 0},
      {0, 128, 0},
      {128, 128, 0},
      {0, 0, 128},
      {128, 0, 128},
      {0, 128, 128},
      {192, 192, 192},
      {128, 128, 128},
      {255, 0, 0},
      {0, 255, 0},
      {255, 255, 0},
      {0, 0, 255},
      {255, 0, 255},
      {0, 255, 255},
      {255, 255, 255}}},
    {192, 192, 192},
    {0, 0, 0},
};

inline constexpr std::array<const TerminalColours*, 2> kTerminals{&kXterm, &kMudlet};

// How text looks: its colour on its background.
struct Look {
    Rgb foreground;
    Rgb background;
};

// The look of text after the SGR sequence ESC "[" ... "m", from the terminal's default: 0
// resets, 1 makes a normal foreground colour bright, 7 swaps the two colours, 22 and 27 undo
// them, 30 to 37 and 40 to 47 pick colours, 39 and 49 the defaults; other parameters change no
// colour.
Look LookOf(std::u16string_view sequence, const TerminalColours& terminal) noexcept;

// Plain text: the terminal's default colours.
constexpr Look PlainLook(const TerminalColours& terminal) noexcept {
    return {terminal.default_foreground, terminal.default_background};
}

}  // namespace brawlhue::contrast
