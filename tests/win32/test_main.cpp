// The Windows test programs' main: GoogleTest's own, after one step.
//
// On Windows, GoogleTest keeps its per-thread state with a watcher thread for each thread that
// reports, started by that thread's first SCOPED_TRACE or fatal-failure check. Started near a
// program's end, that thread can still be starting when the process ends, and Wine 8 then
// kills the whole process with SIGSEGV after "[  PASSED  ]". So the main thread's watcher is
// started before any test, and the tests run only once it is past its start: once the loader
// has called this program's TLS callback for a new thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

namespace {

std::atomic<long> threads_attached{0};

void NTAPI CountThreadAttach(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_THREAD_ATTACH) {
        threads_attached.fetch_add(1);
    }
}

void StartTheWatcherThread() {
    const long before = threads_attached.load();
    { const ::testing::ScopedTrace start(__FILE__, __LINE__, "starting the watcher thread"); }
    // Bounded, so that a GoogleTest that starts no thread here cannot hang the program.
    const ULONGLONG deadline = ::GetTickCount64() + 10'000;
    while (threads_attached.load() == before && ::GetTickCount64() < deadline) {
        ::Sleep(1);
    }
}

}  // namespace

// The loader calls the callbacks listed between the CRT's .CRT$XLA and .CRT$XLZ.
extern "C" __attribute__((section(".CRT$XLB"), used))
const PIMAGE_TLS_CALLBACK brawlhue_count_thread_attach = CountThreadAttach;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    StartTheWatcherThread();
    return RUN_ALL_TESTS();
}
