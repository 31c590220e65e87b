#include "proxy/state_store.h"

#include <algorithm>
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
constexpr std::string_view kAppearanceMarker = "#brawlhue-appearance";
constexpr std::string_view kPaletteKey = "palette=";
constexpr std::string_view kTagsKey = "tags=";

using stream::AppearanceChoice;

// One line of the file: an entry (game and flag), a game's appearance (game and fields, a
// comment to older proxies), or a comment or blank line kept as it is.
struct Line {
    std::string text;
    std::string game;
    std::optional<bool> flag;
    bool appearance = false;
    std::vector<std::string> fields;
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

// The appearance line's game and fields; nothing for any other line. The fields are the words
// with '=' at the end of the line; the address is what comes before them.
std::optional<Line> ParseAppearance(const std::string& text) {
    if (!text.starts_with(kAppearanceMarker) || text.size() == kAppearanceMarker.size() ||
        text[kAppearanceMarker.size()] != ' ') {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(text).substr(kAppearanceMarker.size());
    Line line{text, {}, std::nullopt, true, {}};
    for (;;) {
        rest = rest.substr(0, rest.find_last_not_of(' ') + 1);
        const auto blank = rest.rfind(' ');
        if (blank == std::string_view::npos || rest.find('=', blank) == std::string_view::npos) {
            break;
        }
        line.fields.emplace(line.fields.begin(), rest.substr(blank + 1));
        rest = rest.substr(0, blank);
    }
    rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(' ')));
    if (rest.empty()) {
        return std::nullopt;
    }
    line.game = rest;
    return line;
}

// The choice the fields add to choice: a known palette, tags on or off. Other fields say nothing.
void ReadFields(const std::vector<std::string>& fields, AppearanceChoice& choice) {
    for (const std::string& field : fields) {
        const std::string_view text = field;
        if (text.starts_with(kPaletteKey)) {
            const std::string_view name = text.substr(kPaletteKey.size());
            // Names are ASCII: a byte beyond it, widened, matches none.
            if (const PaletteIndex palette = FindPalette(std::u16string(name.begin(), name.end()));
                palette != kNoPalette) {
                choice.palette = palette;
            }
        } else if (text.starts_with(kTagsKey)) {
            const std::string_view value = text.substr(kTagsKey.size());
            if (EqualsIgnoringCase(value, "on") || EqualsIgnoringCase(value, "off")) {
                choice.tags = EqualsIgnoringCase(value, "on");
            }
        }
    }
}

// The fields with the choice made in them: a field it changes is rewritten where it stands, one
// the line lacks is added at its end.
void WriteFields(std::vector<std::string>& fields, const AppearanceChoice& choice) {
    std::string palette;
    if (choice.palette) {
        const std::u16string_view name = kPalettes[*choice.palette].name;
        palette = std::string(kPaletteKey) + std::string(name.begin(), name.end());  // ASCII
    }
    const std::string tags =
        choice.tags ? std::string(kTagsKey) + (*choice.tags ? "on" : "off") : std::string();
    bool palette_written = palette.empty();
    bool tags_written = tags.empty();
    for (std::string& field : fields) {
        if (!palette.empty() && field.starts_with(kPaletteKey)) {
            field = palette;
            palette_written = true;
        } else if (!tags.empty() && field.starts_with(kTagsKey)) {
            field = tags;
            tags_written = true;
        }
    }
    if (!palette_written) {
        fields.push_back(palette);
    }
    if (!tags_written) {
        fields.push_back(tags);
    }
}

std::string AppearanceText(const Line& line) {
    std::string text = std::string(kAppearanceMarker) + " " + line.game;
    for (const std::string& field : line.fields) {
        text += " " + field;
    }
    return text;
}

// What the choice changes of what is stored; empty when nothing.
AppearanceChoice Difference(const AppearanceChoice& stored, const AppearanceChoice& choice) {
    return {choice.palette != stored.palette ? choice.palette : std::nullopt,
            choice.tags != stored.tags ? choice.tags : std::nullopt};
}

void Merge(AppearanceChoice& into, const AppearanceChoice& change) {
    into.palette = change.palette ? change.palette : into.palette;
    into.tags = change.tags ? change.tags : into.tags;
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
        if (auto appearance = ParseAppearance(line)) {
            lines.push_back(std::move(*appearance));
            continue;
        }
        if (line.empty() || line.front() == '#') {
            lines.push_back({line, {}, std::nullopt, false, {}});
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
        lines.push_back({line, line.substr(0, blank), flag, false, {}});
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

struct Changes {
    std::map<std::string, bool> flags;
    std::map<std::string, AppearanceChoice> appearances;
};

// The file as it is now with the changes made: another process may have written its own
// games since this one started, and their entries stay.
void Save(const std::string& path, const Changes& changes) {
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
        lines.push_back({std::string(kHeader), {}, std::nullopt, false, {}});
    }
    std::map<std::string, bool> unwritten = changes.flags;
    std::map<std::string, AppearanceChoice> unwritten_appearances = changes.appearances;
    for (Line& line : lines) {
        if (const auto change = changes.flags.find(line.game);
            line.flag && change != changes.flags.end()) {
            line.flag = change->second;
            unwritten.erase(line.game);
        }
        if (const auto change = changes.appearances.find(line.game);
            line.appearance && change != changes.appearances.end()) {
            WriteFields(line.fields, change->second);
            line.text = AppearanceText(line);
            unwritten_appearances.erase(line.game);
        }
    }
    for (const auto& [game, flag] : unwritten) {
        lines.push_back({{}, game, flag, false, {}});
    }
    for (const auto& [game, choice] : unwritten_appearances) {
        Line line{{}, game, std::nullopt, true, {}};
        WriteFields(line.fields, choice);
        line.text = AppearanceText(line);
        lines.push_back(std::move(line));
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
                    } else if (line.appearance) {
                        ReadFields(line.fields, store->appearances_[line.game]);
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

AppearanceChoice StateStore::StoredAppearance(const std::string& game) const {
    const auto found = appearances_.find(game);
    return found == appearances_.end() ? AppearanceChoice{} : found->second;
}

bool StateStore::Kept(std::string_view unkept) {
    if (path_.empty()) {
        Log("no state file (set HOME, XDG_STATE_HOME or --state): " + std::string(unkept));
        return false;
    }
    reset_notice_.clear();
    return true;
}

void StateStore::Set(const std::string& game, bool enabled) {
    if (const auto found = flags_.find(game); found != flags_.end() && found->second == enabled) {
        return;
    }
    flags_[game] = enabled;
    if (!Kept("colouring is not kept")) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        unsaved_[game] = enabled;
    }
    changed_.notify_one();
}

void StateStore::SetAppearance(const std::string& game, const AppearanceChoice& choice) {
    AppearanceChoice& stored = appearances_[game];
    const AppearanceChoice change = Difference(stored, choice);
    if (change == AppearanceChoice{}) {
        return;
    }
    Merge(stored, change);
    if (!Kept("the palette and spoken tags are not kept")) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        Merge(unsaved_appearances_[game], change);
    }
    changed_.notify_one();
}

void StateStore::SaveLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return stopping_ || !unsaved_.empty() || !unsaved_appearances_.empty();
        });
        if (unsaved_.empty() && unsaved_appearances_.empty()) {
            return;
        }
        const Changes changes{std::move(unsaved_), std::move(unsaved_appearances_)};
        unsaved_.clear();
        unsaved_appearances_.clear();
        lock.unlock();
        Save(path_, changes);
        lock.lock();
    }
}

}  // namespace brawlhue::proxy
