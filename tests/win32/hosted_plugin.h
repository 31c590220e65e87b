// A BrawlhueClass object made through the module's class object, talking to the stand-in host.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "brawlhue.h"
#include "com_apartment.h"
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
};

// The product name, copyright line and such, read from the module's version resource.
std::u16string VersionField(const wchar_t* name);

}  // namespace brawlhue::testing
