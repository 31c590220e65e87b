#include "proxy/state_store.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "proxy/log.h"

namespace brawlhue::proxy {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader =
    "# brawlhue-proxy: colouring True (on) or False (off) for each game address";

// One line of the file: an entry (game and flag), or a comment or blank line kept as it is.
struct Line {
    std::string text;
    std::string game;
    std::optional<bool> flag;
};

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

// Nothing, with problem set, when a line is neither an entry nor a comment nor blank.
std::optional<std::vector<Line>> ParseLines(const std::string& text, std::string& problem) {
    std::vector<Line> lines;
    std::istringstream stream(text);
    std::string line;
    int number = 0;
    while (std::getline(stream, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            lines.push_back({line, {}, std::nullopt});
            continue;
        }
        const auto blank = line.rfind(' ');
        const auto flag = blank == std::string::npos
                              ? std::nullopt
                              : ParseFlag(std::string_view(line).substr(blank + 1));
        if (!flag || blank == 0) {
            problem = "is corrupt at line " + std::to_string(number);
            return std::nullopt;
        }
        lines.push_back({line, line.substr(0, blank), flag});
    }
    return lines;
}

enum class ReadResult { kMissing, kRead, kFailed };

ReadResult ReadWhole(const std::string& path, std::string& text, std::string& problem) {
    std::error_code error;
    if (!fs::exists(path, error)) {
        return ReadResult::kMissing;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problem = std::string("cannot be read (") + std::strerror(errno) + ")";
        return ReadResult::kFailed;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) {
        problem = "cannot be read";
        return ReadResult::kFailed;
    }
    text = bytes.str();
    return ReadResult::kRead;
}

std::string ReadableNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H-%M-%S", &local);
    return text;
}

// Renames the unusable file aside, under a name no other file has; what the player is told.
std::string MoveAside(const std::string& path, const std::string& problem) {
    std::string aside = path + ".bad-" + ReadableNow();
    std::error_code error;
    for (int suffix = 2; fs::exists(aside, error); ++suffix) {
        aside = path + ".bad-" + ReadableNow() + "-" + std::to_string(suffix);
    }
    fs::rename(path, aside, error);
    if (error) {
        Log("state file " + path + " " + problem + " and cannot be moved aside (" +
            error.message() + "); colouring starts on");
        return "the saved colouring choices were reset: the state file " + problem + ".";
    }
    Log("state file " + path + " " + problem + "; moved to " + aside + ", colouring starts on");
    return "the saved colouring choices were reset: the state file " + problem + " (kept as " +
           aside + ").";
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

bool CanWriteIn(const fs::path& folder) {
#ifdef _WIN32
    return _waccess(folder.c_str(), 2) == 0;
#else
    return access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

// Empty when path can hold the state file, else why not.
std::string CheckPlace(const std::string& path) {
    const fs::path target(path);
    std::error_code error;
    const auto status = fs::status(target, error);
    if (fs::is_directory(status)) {
        return "is a directory";
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return "is not a regular file";
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        return "cannot have its folder " + folder.string() +
               (error ? " (" + error.message() + ")" : std::string());
    }
    if (!CanWriteIn(folder)) {
        return "cannot be written in " + folder.string() + " (" + std::strerror(errno) + ")";
    }
    return {};
}

// The whole file replaced by bytes, or a failure reported.
void WriteWhole(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp-" + std::to_string(ProcessId());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool written = file != nullptr;
    int failure = errno;
    if (written) {
        written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                  std::fflush(file) == 0 && SyncToDisk(file);
        failure = errno;
        written = std::fclose(file) == 0 && written;
    }
    if (!written) {
        std::remove(temporary.c_str());
        Log("cannot save state file " + path + ": " + std::strerror(failure));
        return;
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        Log("cannot save state file " + path + ": " + error.message());
    }
}

// The file as it is now with the changes made: another process may have written its own
// games since this one started, and their entries stay.
void Save(const std::string& path, const std::map<std::string, bool>& changes) {
    std::string text;
    std::string problem;
    std::vector<Line> lines;
    switch (ReadWhole(path, text, problem)) {
        case ReadResult::kRead:
            if (auto parsed = ParseLines(text, problem)) {
                lines = std::move(*parsed);
            } else {
                MoveAside(path, problem);
            }
            break;
        case ReadResult::kFailed:
            MoveAside(path, problem);
            break;
        case ReadResult::kMissing:
            break;
    }
    if (lines.empty()) {
        lines.push_back({std::string(kHeader), {}, std::nullopt});
    }
    std::map<std::string, bool> unwritten = changes;
    for (Line& line : lines) {
        if (const auto change = changes.find(line.game); line.flag && change != changes.end()) {
            line.flag = change->second;
            unwritten.erase(line.game);
        }
    }
    for (const auto& [game, flag] : unwritten) {
        lines.push_back({{}, game, flag});
    }
    std::string bytes;
    for (const Line& line : lines) {
        bytes += line.flag ? line.game + (*line.flag ? " True" : " False") : line.text;
        bytes += '\n';
    }
    WriteWhole(path, bytes);
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

std::unique_ptr<StateStore> StateStore::Open(std::string path, std::string& error) {
    if (!path.empty()) {
        if (const std::string problem = CheckPlace(path); !problem.empty()) {
            error = "state file " + path + " " + problem;
            return nullptr;
        }
    }
    std::unique_ptr<StateStore> store(new StateStore(std::move(path)));
    if (store->path_.empty()) {
        return store;
    }
    std::string text;
    std::string problem;
    switch (ReadWhole(store->path_, text, problem)) {
        case ReadResult::kRead:
            if (const auto lines = ParseLines(text, problem)) {
                for (const Line& line : *lines) {
                    if (line.flag) {
                        store->flags_[line.game] = *line.flag;
                    }
                }
            } else {
                store->reset_notice_ = MoveAside(store->path_, problem);
            }
            break;
        case ReadResult::kFailed:
            store->reset_notice_ = MoveAside(store->path_, problem);
            break;
        case ReadResult::kMissing:
            break;
    }
    return store;
}

StateStore::StateStore(std::string path) : path_(std::move(path)) {
    if (!path_.empty()) {
        saver_ = std::thread([this] { SaveLoop(); });
    }
}

StateStore::~StateStore() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_one();
    if (saver_.joinable()) {
        saver_.join();
    }
}

std::optional<bool> StateStore::Flag(const std::string& game) const {
    const auto found = flags_.find(game);
    if (found == flags_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void StateStore::Set(const std::string& game, bool enabled) {
    if (const auto found = flags_.find(game); found != flags_.end() && found->second == enabled) {
        return;
    }
    flags_[game] = enabled;
    if (path_.empty()) {
        Log("no state file (set HOME, XDG_STATE_HOME or --state): colouring is not kept");
        return;
    }
    reset_notice_.clear();
    {
        const std::lock_guard lock(mutex_);
        unsaved_[game] = enabled;
    }
    changed_.notify_one();
}

void StateStore::SaveLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !unsaved_.empty(); });
        if (unsaved_.empty()) {
            return;
        }
        const std::map<std::string, bool> changes = std::move(unsaved_);
        unsaved_.clear();
        lock.unlock();
        Save(path_, changes);
        lock.lock();
    }
}

}  // namespace brawlhue::proxy
