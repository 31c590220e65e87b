// Connect and disconnect: the banner, and the colouring flag kept in a host variable of the
// session.
#include <string>

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
constexpr std::u16string_view kFlagClass = u"BrawlhuePlugin";
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

ComRef<HostVariable> FindFlagVariable(HostSession& session) {
    const UniqueBstr name = UniqueBstr::Copy(kFlagName);
    const UniqueBstr class_name = UniqueBstr::Copy(kFlagClass);
    ComRef<HostVariable> variable;
    ThrowIfFailed(session.GetVariable(name.get(), class_name.get(), variable.put()));
    return variable;
}

// Value and default are the same text.
void StoreFlagText(HostSession& session, std::u16string_view text) {
    const UniqueBstr name = UniqueBstr::Copy(kFlagName);
    const UniqueBstr value = UniqueBstr::Copy(text);
    const UniqueBstr default_value = UniqueBstr::Copy(text);
    const UniqueBstr class_name = UniqueBstr::Copy(kFlagClass);
    ComRef<HostVariable> variable;
    ThrowIfFailed(session.SetVariable(name.get(), value.get(), default_value.get(),
                                      class_name.get(), variable.put()));
}

}  // namespace

HRESULT BrawlhueClass::OnConnect(LONG H) noexcept {
    return com::GuardedCall([&] {
        const std::u16string banner = Banner();
        DisplayLine(FindSession(H).get(), banner, kBannerColour);
        LoadEnabledFlag(FindSession(H).get());
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
    const bool missing = !FindFlagVariable(host_session);
    if (missing) {
        // A session that never saw the plug-in starts with colouring on.
        StoreFlagText(host_session, kTrueText);
        Enabled = VARIANT_TRUE;
        return;
    }
    const ComRef<HostVariable> variable = FindFlagVariable(host_session);
    if (!variable) {
        throw com::HResultError(com::kObjectMissing);
    }
    UniqueBstr value;
    ThrowIfFailed(variable->get_Value(value.put()));
    Enabled = BooleanFromText(value.get());
}

void BrawlhueClass::SaveEnabledFlag(HostSession* session) const {
    StoreFlagText(Existing(session), Enabled != VARIANT_FALSE ? kTrueText : kFalseText);
}

}  // namespace brawlhue
