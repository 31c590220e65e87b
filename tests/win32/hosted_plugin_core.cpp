#include "hosted_plugin_core.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include "plugin/unique_bstr.h"

namespace brawlhue::testing {

void HostedPluginCore::SetColouring(bool on) {
    constexpr LONG kScratchHandle = -31337;
    const SessionId scratch = host_.OpenSession(kScratchHandle);
    ASSERT_EQ(S_OK, Command(kScratchHandle, on ? u"on" : u"off"));
    host_.CloseSession(scratch);
    host_.ResetCalls();
    ASSERT_EQ(on, Colouring());
}

HRESULT HostedPluginCore::Command(LONG handle, std::u16string_view text, LONG id) {
    const com::UniqueBstr command = com::UniqueBstr::Copy(text);
    VARIANT unused;
    ::VariantInit(&unused);
    return plugin_->plugCommand(handle, id, command.get(), unused);
}

std::vector<DisplayedLine> HostedPluginCore::TakeShown(SessionId session) {
    std::vector<DisplayedLine> shown = host_.Displayed(session);
    host_.ClearDisplayed(session);
    return shown;
}

std::optional<StoredVariable> HostedPluginCore::Flag(SessionId session) const {
    return host_.Variable(session, kFlagName, kFlagClass);
}

void HostedPluginCore::StoreFlag(SessionId session, std::u16string_view value) {
    host_.SetVariable(session, kFlagName, kFlagClass, value, value);
}

bool ReadsAnAppearanceChoice(const host::HostCall& call) {
    return call.operation != HostOperation::kSetVariable &&
           (call.variable == kPaletteName || call.variable == kTagsName);
}

std::u16string RebuiltOwnHit(std::u16string_view prompt, std::u16string_view message) {
    std::u16string line(kReset);
    line += prompt;
    line += kOwnHitColour;
    line += message;
    line += kReset;
    return line;
}

std::vector<DisplayedLine> Plain(std::initializer_list<std::u16string_view> texts) {
    std::vector<DisplayedLine> lines;
    for (const std::u16string_view text : texts) {
        lines.push_back({std::u16string(text), 131});
    }
    return lines;
}

}  // namespace brawlhue::testing
