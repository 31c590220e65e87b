#include "plugin/brawlhue_class.h"

#include "plugin/com_guard.h"
#include "plugin/tools.h"
#include "plugin/unique_bstr.h"
#include "plugin/version_info.h"

namespace brawlhue {
namespace {

using com::GuardedCall;
using com::UniqueBstr;

constexpr std::u16string_view kCompany = u"Tarnwick";
constexpr std::u16string_view kCommandFile = u"Brawlhue.dat";
constexpr LONG kCommandVersion = 1;

// Writes a new text to an out-parameter, or fails when the host passed no place for it.
void WriteText(BSTR* out, std::u16string_view text) {
    if (out == nullptr) {
        throw com::HResultError(E_POINTER);
    }
    *out = UniqueBstr::Copy(text).release();
}

template <typename Value>
void WriteValue(Value* out, Value value) {
    if (out == nullptr) {
        throw com::HResultError(E_POINTER);
    }
    *out = value;
}

}  // namespace

BrawlhueClass::BrawlhueClass()
    : PlugTools(com::ComRef<_Tools>::Attach(com::MakeObject<Tools>().release())) {}

com::ComRef<HostSession> BrawlhueClass::FindSession(LONG H) const {
    // GetSession takes the handle by reference; it is handed a copy all the same.
    LONG handle = H;
    com::ComRef<HostSession> session;
    com::ThrowIfFailed(PlugTools->GetSession(&handle, session.put()));
    return session;
}

void DisplayLine(HostSession* session, std::u16string_view text, LONG colour) {
    if (session == nullptr) {
        throw com::HResultError(com::kObjectMissing);
    }
    const UniqueBstr line = UniqueBstr::Copy(text);
    com::ThrowIfFailed(session->DisplayText(line.get(), colour));
}

HRESULT BrawlhueClass::Register(BSTR* Name, BSTR* Company, BSTR* Description, BSTR*, BSTR* HelpFile,
                                VARIANT_BOOL* LoadDef) noexcept {
    return GuardedCall([&] {
        // Each field is read when its parameter is written: a failure leaves the earlier ones set.
        const VersionInfo version = VersionInfo::OfModule();
        WriteText(Name, version.Text(L"ProductName"));
        WriteText(Company, kCompany);
        WriteText(Description, version.Text(L"FileDescription"));
        WriteText(HelpFile, u"");
        WriteValue(LoadDef, VARIANT_TRUE);
        return S_OK;
    });
}

HRESULT BrawlhueClass::get_Version(LONG* result) noexcept {
    return GuardedCall([&] {
        WriteValue(result, 0L);
        return S_OK;
    });
}

HRESULT BrawlhueClass::Init() noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::Close() noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::AddCommands(BSTR* FileName, LONG* ComVersion) noexcept {
    return GuardedCall([&] {
        WriteText(FileName, kCommandFile);
        WriteValue(ComVersion, kCommandVersion);
        return S_OK;
    });
}

HRESULT BrawlhueClass::plugFunction(LONG, LONG, BSTR, VARIANT, BSTR* result) noexcept {
    return GuardedCall([&] {
        WriteText(result, u"");
        return S_OK;
    });
}

// No menu entry is offered: the host's values stay as passed.
HRESULT BrawlhueClass::AddMenu(LONG, BSTR*, BSTR*, LONG*, LONG) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::Menu(LONG, LONG) noexcept {
    return S_OK;
}

// The user's input passes through unchanged.
HRESULT BrawlhueClass::UserInput(LONG, BSTR*, VARIANT_BOOL*) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::MUDInput(LONG, BSTR*) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::Update(LONG) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::LoadSettings(BSTR, LONG) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::get_SaveSettings(BSTR* result) noexcept {
    return GuardedCall([&] {
        WriteText(result, u"");
        return S_OK;
    });
}

HRESULT BrawlhueClass::CaptureOutput(LONG, BSTR, BSTR) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::Status(LONG) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::OpenThread(LONG, BSTR, BSTR, LONG) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::CloseThread(LONG) noexcept {
    return S_OK;
}

HRESULT BrawlhueClass::get_CanCapture(VARIANT_BOOL* result) noexcept {
    return GuardedCall([&] {
        WriteValue(result, VARIANT_FALSE);
        return S_OK;
    });
}

}  // namespace brawlhue
