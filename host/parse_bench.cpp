#include "host/parse_bench.h"

#include <windows.h>

#include <string>
#include <vector>

#include "brawlhue.h"
#include "host/replay.h"
#include "host/standin_host.h"
#include "plugin/com_ref.h"
#include "plugin/unique_bstr.h"
#include "transcript/line_reader.h"
#include "transcript/utf8_codec.h"
#include "zmud.h"

namespace brawlhue::host {
namespace {

// Long enough for the timer's resolution and Wine's scheduling to vanish in the average.
constexpr double kLeastSeconds = 1.0;

void Check(HRESULT code, const char* step) {
    if (FAILED(code)) {
        throw ReplayError(std::string(step) + " failed");
    }
}

std::vector<std::u16string> ReadLines(std::FILE* transcript) {
    std::vector<std::u16string> lines;
    LineReader reader(transcript);
    Line line;
    while (reader.Next(line)) {
        lines.emplace_back();
        DecodeUtf8(line.body, lines.back());
    }
    if (lines.empty()) {
        throw ReplayError("the transcript holds no line");
    }
    return lines;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Seconds per pass over the lines, each line handed to call as a fresh BSTR that call may
// replace, freed afterwards, as a host does it.
template <typename Call>
double SecondsPerPass(const std::vector<std::u16string>& lines, Call&& call) {
    std::size_t passes = 0;
    LARGE_INTEGER start, now;
    ::QueryPerformanceCounter(&start);
    do {
        for (const std::u16string& line : lines) {
            BSTR text = com::UniqueBstr::Copy(line).release();
            call(&text);
            ::SysFreeString(text);
        }
        ++passes;
        ::QueryPerformanceCounter(&now);
    } while (Seconds(start, now) < kLeastSeconds);
    return Seconds(start, now) / static_cast<double>(passes);
}

}  // namespace

void BenchParse(std::FILE* transcript, std::FILE* output) {
    const std::vector<std::u16string> lines = ReadLines(transcript);
    StandinHost host;
    host.OpenSession(kReplaySessionHandle);
    const HostSessionsRegistration registration(host);
    com::ComRef<IzMUDPlugin> plugin;
    Check(::CoCreateInstance(CLSID_BrawlhueClass, nullptr, CLSCTX_INPROC_SERVER, IID_IzMUDPlugin,
                             reinterpret_cast<void**>(plugin.put())),
          "creating BrawlhueClass (is Brawlhue.dll registered?)");
    // A session that has never seen the plug-in connects with colouring on.
    Check(plugin->OnConnect(kReplaySessionHandle), "OnConnect");

    HRESULT failed = S_OK;
    auto parse = [&](BSTR* text) {
        LONG gag = 0;
        VARIANT_BOOL update = VARIANT_FALSE;
        const HRESULT result =
            plugin->Parse(kReplaySessionHandle, text, VARIANT_FALSE, &gag, &update);
        failed = FAILED(result) ? result : failed;
    };
    SecondsPerPass(lines, parse);  // warm-up
    const double with_parse = SecondsPerPass(lines, parse);
    const double host_only = SecondsPerPass(lines, [](BSTR*) {});
    Check(failed, "Parse");
    Check(plugin->OnDisconnect(kReplaySessionHandle), "OnDisconnect");

    const double per_line = 1e9 / static_cast<double>(lines.size());
    std::fprintf(output, "ns per line: %.1f\n", (with_parse - host_only) * per_line);
    std::fprintf(output,
                 "(Parse through Brawlhue.dll over %zu lines; the host's own BSTR handling, "
                 "%.1f ns per line, subtracted)\n",
                 lines.size(), host_only * per_line);
}

}  // namespace brawlhue::host
