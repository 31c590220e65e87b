#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include "brawlhue.h"
TEST(Smoke, LoadsTypeLibrary) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(L"Brawlhue.tlb", REGKIND_NONE, &lib));
    EXPECT_EQ(4u, lib->GetTypeInfoCount());
    lib->Release();
}
