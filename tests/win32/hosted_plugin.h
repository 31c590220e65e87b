// A BrawlhueClass object made through the module's class object, talking to the stand-in host.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "brawlhue.h"
#include "com_apartment.h"
#include "engine/colorizer.h"
#include "engine/palettes.h"
#include "hosted_plugin_core.h"
#include "plugin_module.h"
#include "zmud.h"

namespace brawlhue::testing {

// Apartment is a base ahead of the core so that COM is up before the host is made and down only
// after it is gone.
class HostedPluginTest : public ::testing::Test, private Apartment, public HostedPluginCore {
  protected:
    void SetUp() override;
    void TearDown() override;

    bool Colouring() override;

    // The line as Parse leaves it.
    std::u16string Parsed(std::u16string_view line);
    // Chooses the palette and the tags through a session of its own that is closed again, and
    // forgets the calls.
    void SetAppearance(Appearance appearance);
    // The appearance Parse applies now, told by how it rebuilds an own hit (each choice rebuilds
    // it differently); nothing while colouring is off.
    std::optional<Appearance> AppearanceInUse();
};

inline constexpr PaletteIndex kColourblind = FindPalette(u"colourblind");
static_assert(kColourblind != kNoPalette);
inline constexpr Appearance kEveryAppearance[] = {
    {kClassicPalette, false}, {kClassicPalette, true}, {kColourblind, false}, {kColourblind, true}};

// The product name, copyright line and such, read from the module's version resource.
std::u16string VersionField(const wchar_t* name);

}  // namespace brawlhue::testing
