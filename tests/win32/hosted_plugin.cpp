#include "hosted_plugin.h"

#include <string>

namespace brawlhue::testing {

void HostedPluginTest::SetUp() {
    ASSERT_EQ(S_OK, apartment_.result());
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

bool HostedPluginTest::Colouring() {
    BSTR line = Text(kOwnHit).release();
    LONG gag = 0;
    VARIANT_BOOL update = 1;
    EXPECT_EQ(S_OK, plugin_->Parse(0, &line, VARIANT_FALSE, &gag, &update));
    ::SysFreeString(line);
    EXPECT_TRUE(update == VARIANT_TRUE || update == VARIANT_FALSE);
    return update == VARIANT_TRUE;
}

void HostedPluginTest::SetColouring(bool on) {
    constexpr LONG kScratchHandle = -31337;
    const SessionId scratch = host_.OpenSession(kScratchHandle);
    ASSERT_EQ(S_OK, Command(kScratchHandle, on ? u"on" : u"off"));
    host_.CloseSession(scratch);
    host_.ResetCalls();
    ASSERT_EQ(on, Colouring());
}

HRESULT HostedPluginTest::Command(LONG handle, std::u16string_view text, LONG id) {
    const com::UniqueBstr command = Text(text);
    VARIANT unused;
    ::VariantInit(&unused);
    return plugin_->plugCommand(handle, id, command.get(), unused);
}

std::vector<DisplayedLine> HostedPluginTest::TakeShown(SessionId session) {
    std::vector<DisplayedLine> shown = host_.Displayed(session);
    host_.ClearDisplayed(session);
    return shown;
}

std::optional<StoredVariable> HostedPluginTest::Flag(SessionId session) const {
    return host_.Variable(session, kFlagName, kFlagClass);
}

void HostedPluginTest::StoreFlag(SessionId session, std::u16string_view value) {
    host_.SetVariable(session, kFlagName, kFlagClass, value, value);
}

std::vector<DisplayedLine> Plain(std::initializer_list<std::u16string_view> texts) {
    std::vector<DisplayedLine> lines;
    for (std::u16string_view text : texts) {
        lines.push_back({std::u16string(text), 131});
    }
    return lines;
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
