// brawlhost [--off] [--palette NAME] [--tags] [--vars FILE] [--lines-only] TRANSCRIPT: replays a
// transcript through the registered Brawlhue.dll with the stand-in host. Exit status 0, 1 after a
// failure (one line on standard error), 2 for a wrong command line.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/parse_bench.h"
#include "host/replay.h"
#include "host/replay_options.h"
#include "host/variable_file.h"
#include "plugin/com_guard.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::size_t kOutputBufferSize = 64 * 1024;

// The arguments as Windows has them, in UTF-16: file names need not be ASCII.
std::vector<std::wstring> WideArguments() {
    int count = 0;
    LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (words == nullptr) {
        throw std::bad_alloc();
    }
    std::vector<std::wstring> arguments(words + (count > 0 ? 1 : 0), words + count);
    ::LocalFree(words);
    return arguments;
}

class ComApartment {
  public:
    ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
        brawlhue::com::ThrowIfFailed(result_);
    }
    ~ComApartment() { ::CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result_;
};

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

int Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "brawlhost: %s\n", message.c_str());
    return kExitFailure;
}

int Run() {
    const std::vector<std::wstring> owned = WideArguments();
    const std::vector<std::wstring_view> arguments(owned.begin(), owned.end());
    std::string error;
    const auto options = brawlhue::host::ParseReplayOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "brawlhost: %s\n%.*s", error.c_str(),
                     static_cast<int>(brawlhue::host::kReplayUsage.size()),
                     brawlhue::host::kReplayUsage.data());
        return kExitUsage;
    }
    // The received lines go out byte for byte: no "\r" in front of each "\n".
    ::_setmode(::_fileno(stdout), _O_BINARY);
    if (options->help) {
        std::fwrite(brawlhue::host::kReplayUsage.data(), 1, brawlhue::host::kReplayUsage.size(),
                    stdout);
        return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
    }
    std::setvbuf(stdout, nullptr, _IOFBF, kOutputBufferSize);

    std::unique_ptr<std::FILE, FileCloser> owned_transcript;
    std::FILE* transcript = stdin;
    if (options->transcript == brawlhue::host::kStandardInputName) {
        ::_setmode(::_fileno(stdin), _O_BINARY);
    } else {
        owned_transcript.reset(::_wfopen(options->transcript.c_str(), L"rb"));
        if (!owned_transcript) {
            return Fail("the transcript cannot be opened");
        }
        transcript = owned_transcript.get();
    }

    const ComApartment apartment;
    if (options->bench) {
        brawlhue::host::BenchParse(transcript, stdout);
    } else {
        brawlhue::host::Replay(*options, transcript, stdout);
    }
    return kExitSuccess;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const brawlhue::host::ReplayError& error) {
        return Fail(error.what());
    } catch (const brawlhue::host::VariableFileError& error) {
        return Fail(error.what());
    } catch (const brawlhue::com::HResultError& error) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(error.code()));
        return Fail(std::string("COM failed: ") + code);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
}
