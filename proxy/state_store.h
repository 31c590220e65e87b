// The persisted colouring flag, the proxy's counterpart of the plug-in's host variable: one line
// per game address, "ADDRESS True" or "ADDRESS False", in a small text file.
//
// The file is read once, at start; the flags then live in memory, and only a player's
// '#brawlhue on|off' that changes one is saved. Saving is done by a thread of the store's own,
// never by the io thread: a slow disk must not stall every session's prompts.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace brawlhue::proxy {

class StateStore {
  public:
    // The store of the file at path, read now; an empty path keeps nothing (every game starts
    // with colouring on, and a change is reported as not kept). Nothing, with error set to one
    // line, when path cannot hold the file: a directory, something that is not a regular file,
    // a place where no file can be made. A file that cannot be read or holds anything but
    // such lines (and comments) is moved aside, never overwritten, and reported.
    static std::unique_ptr<StateStore> Open(std::string path, std::string& error);

    // Waits for the last change to be saved.
    ~StateStore();
    StateStore(const StateStore&) = delete;
    StateStore& operator=(const StateStore&) = delete;

    // The flag stored for the game; nothing when there is none.
    std::optional<bool> Flag(const std::string& game) const;

    // The player's choice for the game. Saved, after the calls before it, when it differs from
    // what is stored; the file keeps the other games' entries, its comments and other processes'
    // entries, and is replaced as a whole (a temporary file beside it, flushed to disk, renamed
    // over it). A failure is reported in one line.
    void Set(const std::string& game, bool enabled);

    // When the file could not be used at start, what the player is told; empty otherwise, and
    // again once a choice has been saved since.
    const std::string& reset_notice() const noexcept { return reset_notice_; }

    const std::string& path() const noexcept { return path_; }

  private:
    explicit StateStore(std::string path);
    void SaveLoop();

    std::string path_;
    std::map<std::string, bool> flags_;  // the io thread's
    std::string reset_notice_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, bool> unsaved_;  // guarded by mutex_
    bool stopping_ = false;                // guarded by mutex_
    std::thread saver_;
};

// The stored value's text as the plug-in reads its variable: "True" or "False" in any letter
// case, or a whole number (zero is off). Nothing for any other text.
std::optional<bool> ParseFlag(std::string_view text);

}  // namespace brawlhue::proxy
