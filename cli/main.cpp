// brawlhue [--off] [--explain] [FILE...]: colours the combat lines of game transcripts.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "cli/output.h"
#include "cli/transcript_filter.h"

namespace {

using brawlhue::cli::kStandardInputName;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void ReportError(std::string_view subject, int error) {
    std::fprintf(stderr, "brawlhue: %.*s: %s\n", static_cast<int>(subject.size()), subject.data(),
                 std::strerror(error));
}

int Show(std::string_view text) {
    brawlhue::cli::Output output(stdout);
    if (!output.Write(text) || !output.Flush()) {
        ReportError("write error", output.error());
        return kExitFailure;
    }
    return kExitSuccess;
}

// Opens a file named on the command line; standard input for "-". Null with errno set when it
// cannot be opened.
std::FILE* OpenInput(std::string_view name) {
    if (name == kStandardInputName) {
        return stdin;
    }
    errno = 0;
    return std::fopen(std::string(name).c_str(), "rb");
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe must show up as a failed write that is reported, not as a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    const auto options = brawlhue::cli::ParseOptions(
        {argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)}, error);
    if (!options) {
        std::fprintf(stderr, "brawlhue: %s\n%.*s", error.c_str(),
                     static_cast<int>(brawlhue::cli::kUsage.size()), brawlhue::cli::kUsage.data());
        return kExitUsage;
    }
    if (options->help) {
        return Show(brawlhue::cli::kUsage);
    }
    if (options->version) {
        return Show("brawlhue " BRAWLHUE_VERSION "\n");
    }

    brawlhue::cli::Output output(stdout);
    brawlhue::cli::TranscriptFilter filter(*options, output);
    std::vector<std::string_view> files = options->files;
    if (files.empty()) {
        files.push_back(kStandardInputName);
    }

    int status = kExitSuccess;
    for (std::string_view name : files) {
        std::FILE* stream = OpenInput(name);
        if (stream == nullptr) {
            ReportError(name, errno != 0 ? errno : ENOENT);
            status = kExitFailure;
            continue;
        }
        const int read_error = filter.Run(stream);
        if (stream == stdin) {
            // A terminal can give more input after an end of file, for a later "-".
            std::clearerr(stdin);
        } else {
            std::fclose(stream);
        }
        if (output.failed()) {
            break;
        }
        if (read_error != 0) {
            ReportError(name, read_error);
            status = kExitFailure;
        }
    }
    if (!output.Flush()) {
        ReportError("write error", output.error());
        return kExitFailure;
    }
    return status;
}
