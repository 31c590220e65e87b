#include "proxy/state_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "proxy/log.h"

namespace brawlhue::proxy {

namespace {

constexpr std::string_view kHeader =
    "# brawlhue-proxy: colouring True (on) or False (off) for each game address\n";

bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lower[i]) {
            return false;
        }
    }
    return true;
}

// Forces the written bytes to the disk before the rename makes them the file.
bool SyncToDisk(std::FILE* file) {
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

}  // namespace

std::optional<bool> ParseFlag(std::string_view text) {
    if (EqualsIgnoringCase(text, "true")) {
        return true;
    }
    if (EqualsIgnoringCase(text, "false")) {
        return false;
    }
    long long number = 0;
    const char* first = text.data();
    if (!text.empty() && *first == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), number);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number != 0;
}

StateFile::StateFile(std::string path) : path_(std::move(path)) {}

std::optional<std::map<std::string, bool>> StateFile::Read() {
    std::map<std::string, bool> entries;
    std::error_code error;
    if (path_.empty() || !std::filesystem::exists(path_, error)) {
        return entries;
    }
    std::ifstream file(path_, std::ios::binary);
    if (!file) {
        MoveAside(std::string("cannot be read (") + std::strerror(errno) + ")");
        return std::nullopt;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto blank = line.rfind(' ');
        const auto flag = blank == std::string::npos
                              ? std::nullopt
                              : ParseFlag(std::string_view(line).substr(blank + 1));
        if (!flag || blank == 0) {
            MoveAside("is corrupt at line " + std::to_string(number));
            return std::nullopt;
        }
        entries[line.substr(0, blank)] = *flag;
    }
    if (file.bad()) {
        MoveAside("cannot be read");
        return std::nullopt;
    }
    return entries;
}

void StateFile::MoveAside(const std::string& reason) {
    const std::string aside = path_ + ".bad-" + std::to_string(std::time(nullptr));
    std::error_code error;
    std::filesystem::rename(path_, aside, error);
    if (error) {
        Log("state file " + path_ + " " + reason + " and cannot be moved aside (" +
            error.message() + "); colouring starts on");
    } else {
        Log("state file " + path_ + " " + reason + "; moved to " + aside + ", colouring starts on");
    }
}

std::optional<bool> StateFile::Load(const std::string& game) {
    const auto entries = Read();
    if (!entries) {
        return std::nullopt;
    }
    const auto found = entries->find(game);
    if (found == entries->end()) {
        return std::nullopt;
    }
    return found->second;
}

bool StateFile::Save(const std::string& game, bool enabled) {
    if (path_.empty()) {
        Log("no state file (set HOME, XDG_STATE_HOME or --state): colouring is not kept");
        return false;
    }
    auto entries = Read().value_or(std::map<std::string, bool>{});
    entries[game] = enabled;

    std::ostringstream text;
    text << kHeader;
    for (const auto& [address, flag] : entries) {
        text << address << ' ' << (flag ? "True" : "False") << '\n';
    }
    const std::string bytes = text.str();

    std::error_code error;
    const std::filesystem::path target(path_);
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), error);
    }
    const std::string temporary = path_ + ".tmp-" + std::to_string(ProcessId());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool written = file != nullptr;
    int failure = errno;
    if (written) {
        written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                  std::fflush(file) == 0 && SyncToDisk(file);
        failure = errno;
        written = std::fclose(file) == 0 && written;
        if (!written) {
            std::remove(temporary.c_str());
        }
    }
    if (written) {
        std::filesystem::rename(temporary, path_, error);
        if (error) {
            std::remove(temporary.c_str());
            Log("cannot save state file " + path_ + ": " + error.message());
            return false;
        }
        return true;
    }
    Log("cannot save state file " + path_ + ": " + std::strerror(failure));
    return false;
}

}  // namespace brawlhue::proxy
