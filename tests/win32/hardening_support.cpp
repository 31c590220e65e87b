#include "hardening_support.h"

#include <psapi.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

namespace brawlhue::hardening {
namespace {

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

LoadedModule& LoadedModule::Get(const wchar_t* file_name) {
    static std::map<std::wstring, std::unique_ptr<LoadedModule>> loaded;
    std::unique_ptr<LoadedModule>& module = loaded[file_name];
    if (!module) {
        module.reset(new LoadedModule(file_name));
    }
    return *module;
}

LoadedModule::LoadedModule(const wchar_t* file_name) : name_(file_name) {
    module_ = ::LoadLibraryW(file_name);
    if (module_ == nullptr) {
        throw std::runtime_error("a build of the plug-in cannot be loaded");
    }
    get_class_object_ = Export<ClassObjectGetter>(module_, "DllGetClassObject");
    can_unload_now_ = Export<UnloadQuery>(module_, "DllCanUnloadNow");
    if (get_class_object_ == nullptr || can_unload_now_ == nullptr) {
        throw std::runtime_error("a build of the plug-in lacks the server exports");
    }
    if (const auto probe = Export<AllocationProbeGetter>(module_, kAllocationProbeExport)) {
        probe_ = probe();
    }
}

HRESULT LoadedModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
    return get_class_object_(clsid, iid, object);
}

HRESULT LoadedModule::CanUnloadNow() const {
    return can_unload_now_();
}

TaskMemorySpy& TaskMemorySpy::Instance() {
    // Never destroyed: COM keeps a spy it still has blocks of until the last one is freed, and
    // that free may come from the process's own teardown, after static destructors have run.
    static TaskMemorySpy* const spy = new TaskMemorySpy;
    return *spy;
}

long TaskMemorySpy::LiveBlocks() const {
    long live = 0;
    for (const auto& [block, registration] : live_) {
        live += registration == registration_ ? 1 : 0;
    }
    return live;
}

void TaskMemorySpy::BeginRegistration() {
    ++registration_;
    ResetCounts();
}

void TaskMemorySpy::ResetCounts() {
    requests_ = 0;
    refused_ = 0;
    stray_frees_ = 0;
    refuse_countdown_ = 0;
    arming_thread_ = ::GetCurrentThreadId();
}

void TaskMemorySpy::RefuseNthRequest(unsigned long n) {
    arming_thread_ = ::GetCurrentThreadId();
    refuse_countdown_ = n;
}

bool TaskMemorySpy::RefuseThisRequest() {
    // Wine's own threads allocate too; only the thread under test is counted and refused.
    if (::GetCurrentThreadId() != arming_thread_) {
        return false;
    }
    ++requests_;
    if (refuse_countdown_ == 0 || --refuse_countdown_ != 0) {
        return false;
    }
    ++refused_;
    return true;
}

HRESULT TaskMemorySpy::QueryInterface(REFIID iid, void** object) noexcept {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
        *object = static_cast<IMallocSpy*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

SIZE_T TaskMemorySpy::PreAlloc(SIZE_T size) noexcept {
    // COM turns a zero answer into a failed allocation (except for zero-byte requests).
    return RefuseThisRequest() ? 0 : size;
}

void* TaskMemorySpy::PostAlloc(void* actual) noexcept {
    if (actual != nullptr) {
        live_[actual] = registration_;
    }
    return actual;
}

void* TaskMemorySpy::PreFree(void* request, BOOL spied) noexcept {
    if (request != nullptr && spied) {
        if (live_.erase(request) == 0) {
            ++stray_frees_;
        }
    }
    return request;
}

SIZE_T TaskMemorySpy::PreRealloc(void* request, SIZE_T size, void** new_request,
                                 BOOL spied) noexcept {
    *new_request = request;
    reallocating_ = spied ? request : nullptr;
    if (request != nullptr && size != 0 && RefuseThisRequest()) {
        return 0;
    }
    return size;
}

void* TaskMemorySpy::PostRealloc(void* actual, BOOL spied) noexcept {
    // A block that moved (or was freed by a zero size) is no longer where it was.
    if (reallocating_ != nullptr && actual != reallocating_) {
        live_.erase(reallocating_);
    }
    if (actual != nullptr && spied) {
        live_[actual] = registration_;
    }
    reallocating_ = nullptr;
    return actual;
}

SpiedTaskMemory::SpiedTaskMemory()
    : registered_(::CoRegisterMallocSpy(&TaskMemorySpy::Instance())) {
    TaskMemorySpy::Instance().BeginRegistration();
}

SpiedTaskMemory::~SpiedTaskMemory() {
    if (!revoked_) {
        Revoke();
    }
}

HRESULT SpiedTaskMemory::Revoke() {
    if (FAILED(registered_)) {
        return registered_;
    }
    revoked_ = true;
    return ::CoRevokeMallocSpy();
}

namespace {

struct ExceptionRecordSummary {
    DWORD code;
    const void* address;
};

std::atomic<unsigned long> exceptions_seen{0};
std::array<ExceptionRecordSummary, 8> first_exceptions{};

// Not faults: the debugger notices that OutputDebugString and thread naming raise, and, on
// 64-bit Windows, the structured exceptions that carry GCC's C++ exceptions (its throw and its
// unwind): there every C++ exception, even one the module's own guard catches, is raised as
// one of those.
bool IsNotice(DWORD code) {
    constexpr DWORD kGccThrow = 0x20474343;   // "GCC" with 0x20
    constexpr DWORD kGccUnwind = 0x21474343;  // "GCC" with 0x21
    return code == 0x40010006 || code == 0x4001000A || code == 0x406D1388 ||
           (sizeof(void*) == 8 && (code == kGccThrow || code == kGccUnwind));
}

LONG CALLBACK CountException(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (!IsNotice(record->ExceptionCode)) {
        const unsigned long index = exceptions_seen++;
        if (index < first_exceptions.size()) {
            first_exceptions[index] = {record->ExceptionCode, record->ExceptionAddress};
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

FirstChanceExceptions::FirstChanceExceptions() {
    exceptions_seen = 0;
    handler_ = ::AddVectoredExceptionHandler(1, &CountException);
}

FirstChanceExceptions::~FirstChanceExceptions() {
    if (handler_ != nullptr) {
        ::RemoveVectoredExceptionHandler(handler_);
    }
}

unsigned long FirstChanceExceptions::Count() const {
    return handler_ != nullptr ? exceptions_seen.load() : ~0ul;
}

std::string FirstChanceExceptions::Describe() const {
    std::string text;
    const unsigned long seen = exceptions_seen;
    for (unsigned long i = 0; i < seen && i < first_exceptions.size(); ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "code %08lx at %p; ",
                      static_cast<unsigned long>(first_exceptions[i].code),
                      first_exceptions[i].address);
        text += line;
    }
    return text;
}

std::int64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(),
                                reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters)) {
        return -1;
    }
    const SIZE_T bytes =
        counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    return static_cast<std::int64_t>(bytes);
}

HostedPlugin::HostedPlugin(const LoadedModule& module) : module_(module) {
    registration_.emplace(host_);
    Renew();
    host_.ResetCalls();
}

bool HostedPlugin::Renew() {
    plugin_.reset();
    return SUCCEEDED(module_.Create(CLSID_BrawlhueClass, plugin_)) && plugin_;
}

bool HostedPlugin::Colouring() {
    BSTR line = UniqueBstr::Copy(kOwnHit).release();
    const BSTR passed = line;
    LONG gag = 77;
    VARIANT_BOOL update = 5;
    EXPECT_EQ(S_OK, plugin_->Parse(0, &line, VARIANT_FALSE, &gag, &update));
    const UniqueBstr result(line);
    EXPECT_EQ(77, gag);
    if (update == VARIANT_TRUE) {
        EXPECT_EQ(RebuiltOwnHit(u"", kOwnHit), result.view()) << "a line rebuilt only in part";
        return true;
    }
    EXPECT_EQ(VARIANT_FALSE, update);
    EXPECT_EQ(passed, result.get()) << "a line replaced but not reported";
    EXPECT_EQ(kOwnHit, result.view());
    return false;
}

std::string Printable(std::u16string_view text, std::size_t limit) {
    std::string printable;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const char16_t unit = text[i];
        if (unit >= 0x20 && unit < 0x7f) {
            printable += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
            printable += escaped;
        }
    }
    if (text.size() > limit) {
        printable += "... (" + std::to_string(text.size()) + " units)";
    }
    return printable;
}

}  // namespace brawlhue::hardening
