// The persisted choices per game address, the proxy's counterpart of the plug-in's host
// variables, in a small text file:
//
//   # brawlhue-proxy: colouring True (on) or False (off) for each game address
//   game.example.org:2224 False
//   #brawlhue-appearance game.example.org:2224 palette=colourblind tags=on
//
// "ADDRESS True" or "ADDRESS False" is the colouring flag. The palette and the spoken tags go on
// a line of their own that starts with '#': proxies from before them read the file as flags and
// comments, keep each comment line where it stands when they rewrite the file, and so neither
// lose a flag nor move the file aside. After "#brawlhue-appearance" and the address come the
// fields "palette=NAME" and "tags=on" or "tags=off", each only once the player has chosen it
// (values in any letter case). A field of another name, or a palette this proxy does not know,
// is ignored and kept as it is. Either line may stand without the other.
//
// The file is read once, at start; the choices then live in memory, and only a player's
// '#brawlhue on|off', 'palette NAME' or 'tags on|off' that changes one is saved. Saving is done
// by a thread of the store's own, never by the io thread: a slow disk must not stall every
// session's prompts.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "stream/stream_filter.h"

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

    // The palette and tags stored for the game; each empty when there is none.
    stream::AppearanceChoice StoredAppearance(const std::string& game) const;

    // The player's choice for the game. Saved, after the calls before it, when it differs from
    // what is stored; the file keeps the other games' entries, its comments and other processes'
    // entries, and is replaced as a whole (a temporary file beside it, flushed to disk, renamed
    // over it). A failure is reported in one line.
    void Set(const std::string& game, bool enabled);
    // The same for a palette or tags choice; what the choice leaves empty stays as stored.
    void SetAppearance(const std::string& game, const stream::AppearanceChoice& choice);

    // When the file could not be used at start, what the player is told; empty otherwise, and
    // again once a choice has been saved since.
    const std::string& reset_notice() const noexcept { return reset_notice_; }

    const std::string& path() const noexcept { return path_; }

  private:
    explicit StateStore(std::string path);
    // Whether a change can be saved; when it cannot, the log says what is not kept.
    bool Kept(std::string_view unkept);
    void SaveLoop();

    std::string path_;
    std::map<std::string, bool> flags_;                            // the io thread's
    std::map<std::string, stream::AppearanceChoice> appearances_;  // the io thread's
    std::string reset_notice_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, bool> unsaved_;                                  // guarded by mutex_
    std::map<std::string, stream::AppearanceChoice> unsaved_appearances_;  // guarded by mutex_
    bool stopping_ = false;                                                // guarded by mutex_
    std::thread saver_;
};

// The stored value's text as the plug-in reads its variable: "True" or "False" in any letter
// case, or a whole number (zero is off). Nothing for any other text.
std::optional<bool> ParseFlag(std::string_view text);

}  // namespace brawlhue::proxy
