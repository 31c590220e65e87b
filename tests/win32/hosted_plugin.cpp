#include "hosted_plugin.h"

#include <string>
#include <vector>

#include "filter/line_filter.h"

namespace brawlhue::testing {

void HostedPluginTest::SetUp() {
    ASSERT_EQ(S_OK, Apartment::result());
    registration_.emplace(host_);
    ASSERT_EQ(S_OK, CreateFromModule(CLSID_BrawlhueClass, plugin_));
    host_.ResetCalls();
}

void HostedPluginTest::TearDown() {
    plugin_.reset();
    registration_.reset();
    EXPECT_EQ(0, host_.LiveObjects());
    EXPECT_EQ(S_OK, PluginModule::Get().CanUnloadNow());
}

// Only that the answer is a proper VARIANT_BOOL; the hardening tests look closer.
bool HostedPluginTest::Colouring() {
    BSTR line = Text(kOwnHit).release();
    LONG gag = 0;
    VARIANT_BOOL update = 1;
    EXPECT_EQ(S_OK, plugin_->Parse(0, &line, VARIANT_FALSE, &gag, &update));
    ::SysFreeString(line);
    EXPECT_TRUE(update == VARIANT_TRUE || update == VARIANT_FALSE);
    return update == VARIANT_TRUE;
}

std::u16string HostedPluginTest::Parsed(std::u16string_view text) {
    BSTR line = Text(text).release();
    LONG gag = 0;
    VARIANT_BOOL update = VARIANT_FALSE;
    EXPECT_EQ(S_OK, plugin_->Parse(0, &line, VARIANT_FALSE, &gag, &update));
    const com::UniqueBstr parsed(line);
    EXPECT_EQ(update == VARIANT_TRUE, parsed.view() != text);
    return std::u16string(parsed.view());
}

void HostedPluginTest::SetAppearance(Appearance appearance) {
    constexpr LONG kScratchHandle = -31338;
    const SessionId scratch = host_.OpenSession(kScratchHandle);
    ASSERT_EQ(S_OK, Command(kScratchHandle,
                            u"palette " + std::u16string(kPalettes[appearance.palette].name)));
    ASSERT_EQ(S_OK, Command(kScratchHandle, appearance.tags ? u"tags on" : u"tags off"));
    host_.CloseSession(scratch);
    host_.ResetCalls();
}

std::optional<Appearance> HostedPluginTest::AppearanceInUse() {
    const std::u16string parsed = Parsed(kOwnHit);
    for (const Appearance appearance : kEveryAppearance) {
        if (parsed == FilterLine(kOwnHit, -1, appearance)->ToString()) {
            return appearance;
        }
    }
    EXPECT_EQ(kOwnHit, parsed) << "an own hit coloured in no known way";
    return std::nullopt;
}

std::u16string VersionField(const wchar_t* name) {
    const std::wstring& path = PluginModule::Get().Path();
    DWORD ignored = 0;
    std::vector<BYTE> block(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() ||
        !::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !::VerQueryValueW(block.data(),
                          (std::wstring(L"\\StringFileInfo\\040904B0\\") + name).c_str(), &value,
                          &length)) {
        return u"(missing)";
    }
    return std::u16string(static_cast<const char16_t*>(value));
}

}  // namespace brawlhue::testing
