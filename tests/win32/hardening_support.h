// Instruments for the hardening tests: a build of the plug-in loaded by name, a spy on the COM
// task allocator (where every BSTR lives), a count of first-chance structured exceptions, and a
// plug-in object hosted by the stand-in with everything its tests look at.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <objidl.h>
#include <oleauto.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "brawlhue.h"
#include "com_apartment.h"
#include "hardening_allocation_probe.h"
#include "host/standin_host.h"
#include "hosted_plugin_core.h"
#include "plugin/com_ref.h"
#include "plugin/unique_bstr.h"
#include "zmud.h"

namespace brawlhue::hardening {

using ::brawlhue::testing::Apartment;
using ::brawlhue::testing::kCommandId;
using ::brawlhue::testing::kFlagClass;
using ::brawlhue::testing::kFlagName;
using ::brawlhue::testing::kOwnHit;
using ::brawlhue::testing::kOwnHitColour;
using ::brawlhue::testing::kReset;
using ::brawlhue::testing::Plain;
using ::brawlhue::testing::ReadsAnAppearanceChoice;
using ::brawlhue::testing::RebuiltOwnHit;
using com::ComRef;
using com::UniqueBstr;
using host::DisplayedLine;
using host::HostOperation;
using host::SessionId;
using host::StoredVariable;

inline constexpr wchar_t kShippedModule[] = L"Brawlhue.dll";
inline constexpr wchar_t kCountedModule[] = L"BrawlhueCounted.dll";

// "Object variable not set": what a call on a session that was not found fails with.
inline constexpr HRESULT kObjectMissing = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 91);

// A build of the plug-in, loaded from beside the test program at first use and kept for the
// program's life; reached through its exports, as COM reaches it.
class LoadedModule {
  public:
    static LoadedModule& Get(const wchar_t* file_name);

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
    HRESULT CanUnloadNow() const;
    // The counted build's operator new bookkeeping; null for the shipped build.
    AllocationProbe* Allocations() const { return probe_; }
    const std::wstring& Name() const { return name_; }

    template <typename Interface>
    HRESULT Create(REFCLSID clsid, ComRef<Interface>& object) const {
        ComRef<IClassFactory> factory;
        const HRESULT got =
            GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put()));
        if (FAILED(got)) {
            return got;
        }
        return factory->CreateInstance(nullptr, __uuidof(Interface),
                                       reinterpret_cast<void**>(object.put()));
    }

  private:
    explicit LoadedModule(const wchar_t* file_name);

    using ClassObjectGetter = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using UnloadQuery = HRESULT(STDAPICALLTYPE*)();

    std::wstring name_;
    HMODULE module_ = nullptr;
    ClassObjectGetter get_class_object_ = nullptr;
    UnloadQuery can_unload_now_ = nullptr;
    AllocationProbe* probe_ = nullptr;
};

// Watches the COM task allocator. With OANOCACHE=1 Wine gives every BSTR a fresh task block, so
// this sees each text the plug-in, the host and the test make, and can refuse one of them.
// One per process: COM holds on to it until every block it saw is freed.
class TaskMemorySpy final : public IMallocSpy {
  public:
    static TaskMemorySpy& Instance();

    // Blocks allocated since the spy was last registered and not yet freed. Each case counts
    // its own: a block that an earlier case saw allocated and that was freed after that case
    // let the spy go is not this case's leak.
    long LiveBlocks() const;
    // Allocations asked for by the arming thread since the last ResetCounts.
    unsigned long Requests() const { return requests_; }
    unsigned long Refused() const { return refused_; }
    // Frees of blocks the spy never handed out (a double free, or a pointer into a block).
    unsigned long StrayFrees() const { return stray_frees_; }
    void ResetCounts();
    // A new registration starts: blocks allocated from now on are counted as its own.
    void BeginRegistration();
    // The n-th next request of the calling thread is refused (0: none).
    void RefuseNthRequest(unsigned long n);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) noexcept override;
    void* STDMETHODCALLTYPE PostAlloc(void* actual) noexcept override;
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL spied) noexcept override;
    void STDMETHODCALLTYPE PostFree(BOOL) noexcept override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** new_request,
                                        BOOL spied) noexcept override;
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL spied) noexcept override;
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) noexcept override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) noexcept override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) noexcept override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) noexcept override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() noexcept override {}
    void STDMETHODCALLTYPE PostHeapMinimize() noexcept override {}

  private:
    TaskMemorySpy() = default;
    // Whether this request of the arming thread is the one to refuse.
    bool RefuseThisRequest();

    std::map<void*, unsigned long> live_;  // each block with the registration it came under
    unsigned long registration_ = 0;
    unsigned long requests_ = 0;
    unsigned long refused_ = 0;
    unsigned long stray_frees_ = 0;
    unsigned long refuse_countdown_ = 0;
    DWORD arming_thread_ = 0;
    void* reallocating_ = nullptr;
};

// The spy registered with COM for this scope.
class SpiedTaskMemory {
  public:
    SpiedTaskMemory();
    ~SpiedTaskMemory();
    SpiedTaskMemory(const SpiedTaskMemory&) = delete;
    SpiedTaskMemory& operator=(const SpiedTaskMemory&) = delete;

    HRESULT registered() const { return registered_; }
    // COM's answer: it refuses (E_ACCESSDENIED) while a block allocated under the spy is live,
    // and lets go of the spy by itself once the last one is freed.
    HRESULT Revoke();

  private:
    HRESULT registered_;
    bool revoked_ = false;
};

// Every structured exception raised in the process while this lives, as a vectored handler sees
// it before any handler can swallow it: a fault of the plug-in, or one it causes inside the
// system, shows here even when something catches it later. Debug-print notices do not count.
class FirstChanceExceptions {
  public:
    FirstChanceExceptions();
    ~FirstChanceExceptions();
    FirstChanceExceptions(const FirstChanceExceptions&) = delete;
    FirstChanceExceptions& operator=(const FirstChanceExceptions&) = delete;

    unsigned long Count() const;
    // The code and address of the first few.
    std::string Describe() const;

  private:
    void* handler_;
};

// The process's committed private bytes. Wine 8 leaves PrivateUsage at 0; PagefileUsage is the
// same commit charge there, as on Windows since Windows 7.
std::int64_t PrivateBytes();

// A BrawlhueClass object of one build of the module, hosted by the stand-in host.
class HostedPlugin : public ::brawlhue::testing::HostedPluginCore {
  public:
    explicit HostedPlugin(const LoadedModule& module);

    host::StandinHost& host() { return host_; }
    IzMUDPlugin* plugin() const { return plugin_.get(); }
    const LoadedModule& module() const { return module_; }
    // A new object in place of the current one; false when the module refused.
    bool Renew();
    void Drop() { plugin_.reset(); }

    // Fails the test when the line comes back anything but untouched or rebuilt whole.
    bool Colouring() override;

  private:
    const LoadedModule& module_;
};

// Readable form of a text for failure messages: printable ASCII as it is, the rest as \uXXXX,
// cut short after limit units.
std::string Printable(std::u16string_view text, std::size_t limit = 80);

}  // namespace brawlhue::hardening
