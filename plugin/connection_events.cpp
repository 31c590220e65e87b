// Connect and disconnect: the banner, the colouring flag kept in a host variable of the session,
// and beside it the palette and the spoken tags the player chose.
#include <optional>
#include <string>

#include "engine/palettes.h"
#include "plugin/brawlhue_class.h"
#include "plugin/com_guard.h"
#include "plugin/text_conversions.h"
#include "plugin/unique_bstr.h"
#include "plugin/version_info.h"

namespace brawlhue {
namespace {

using com::ComRef;
using com::ThrowIfFailed;
using com::UniqueBstr;

constexpr std::u16string_view kFlagName = u"MeleeEnabled";
constexpr std::u16string_view kPaletteName = u"MeleePalette";
constexpr std::u16string_view kTagsName = u"MeleeTags";
constexpr std::u16string_view kVariableClass = u"BrawlhuePlugin";
constexpr std::u16string_view kTrueText = u"True";
constexpr std::u16string_view kFalseText = u"False";
constexpr LONG kBannerColour = 131;

// "<product>, v <major>.<minor>.<revision>, <copyright>", each part read in that order.
std::u16string Banner() {
    const VersionInfo version = VersionInfo::OfModule();
    std::u16string banner(version.Text(L"ProductName"));
    banner += u", v ";
    banner += DecimalText(version.Major());
    banner += u".";
    banner += DecimalText(version.Minor());
    banner += u".";
    banner += DecimalText(version.Revision());
    banner += u", ";
    banner += version.Text(L"LegalCopyright");
    return banner;
}

HostSession& Existing(HostSession* session) {
    if (session == nullptr) {
        throw com::HResultError(com::kObjectMissing);
    }
    return *session;
}

ComRef<HostVariable> FindVariable(HostSession& session, std::u16string_view name) {
    const UniqueBstr name_text = UniqueBstr::Copy(name);
    const UniqueBstr class_name = UniqueBstr::Copy(kVariableClass);
    ComRef<HostVariable> variable;
    ThrowIfFailed(session.GetVariable(name_text.get(), class_name.get(), variable.put()));
    return variable;
}

// Value and default are the same text.
void StoreVariableText(HostSession& session, std::u16string_view name, std::u16string_view text) {
    const UniqueBstr name_text = UniqueBstr::Copy(name);
    const UniqueBstr value = UniqueBstr::Copy(text);
    const UniqueBstr default_value = UniqueBstr::Copy(text);
    const UniqueBstr class_name = UniqueBstr::Copy(kVariableClass);
    ComRef<HostVariable> variable;
    ThrowIfFailed(session.SetVariable(name_text.get(), value.get(), default_value.get(),
                                      class_name.get(), variable.put()));
}

// The variable's text, or nothing when it is missing or cannot be read, whatever the reason
// (exhausted memory included): an appearance choice is a nicety that never stops a connect.
std::optional<UniqueBstr> StoredTextIfAny(HostSession& session, std::u16string_view name) noexcept {
    try {
        const ComRef<HostVariable> variable = FindVariable(session, name);
        if (!variable) {
            return std::nullopt;
        }
        UniqueBstr value;
        ThrowIfFailed(variable->get_Value(value.put()));
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

// Read like the colouring flag, but a text that is no boolean means off.
bool TagsFromText(BSTR text) noexcept {
    try {
        return BooleanFromText(text) != VARIANT_FALSE;
    } catch (...) {
        return false;
    }
}

}  // namespace

HRESULT BrawlhueClass::OnConnect(LONG H) noexcept {
    return com::GuardedCall([&] {
        const std::u16string banner = Banner();
        DisplayLine(FindSession(H).get(), banner, kBannerColour);
        const ComRef<HostSession> session = FindSession(H);
        LoadEnabledFlag(session.get());
        LoadAppearance(Existing(session.get()));
        return S_OK;
    });
}

HRESULT BrawlhueClass::OnDisconnect(LONG H) noexcept {
    return com::GuardedCall([&] {
        SaveEnabledFlag(FindSession(H).get());
        return S_OK;
    });
}

void BrawlhueClass::LoadEnabledFlag(HostSession* session) {
    HostSession& host_session = Existing(session);
    const bool missing = !FindVariable(host_session, kFlagName);
    if (missing) {
        // A session that never saw the plug-in starts with colouring on.
        StoreVariableText(host_session, kFlagName, kTrueText);
        Enabled = VARIANT_TRUE;
        return;
    }
    const ComRef<HostVariable> variable = FindVariable(host_session, kFlagName);
    if (!variable) {
        throw com::HResultError(com::kObjectMissing);
    }
    UniqueBstr value;
    ThrowIfFailed(variable->get_Value(value.put()));
    Enabled = BooleanFromText(value.get());
}

void BrawlhueClass::SaveEnabledFlag(HostSession* session) const {
    StoreVariableText(Existing(session), kFlagName,
                      Enabled != VARIANT_FALSE ? kTrueText : kFalseText);
}

// Missing variables are not created: a choice is stored only when the player makes one.
void BrawlhueClass::LoadAppearance(HostSession& session) noexcept {
    Appearance stored;
    if (const std::optional<UniqueBstr> name = StoredTextIfAny(session, kPaletteName)) {
        if (const PaletteIndex palette = FindPalette(name->view()); palette != kNoPalette) {
            stored.palette = palette;
        }
    }
    if (const std::optional<UniqueBstr> tags = StoredTextIfAny(session, kTagsName)) {
        stored.tags = TagsFromText(tags->get());
    }
    ChosenAppearance = stored;
}

void BrawlhueClass::SaveAppearanceChoice(HostSession* session, SubCommand choice) const {
    if (choice == SubCommand::kPalette) {
        StoreVariableText(Existing(session), kPaletteName,
                          kPalettes[ChosenAppearance.palette].name);
    } else {
        StoreVariableText(Existing(session), kTagsName,
                          ChosenAppearance.tags ? kTrueText : kFalseText);
    }
}

}  // namespace brawlhue
