// The persisted colouring flag, the proxy's counterpart of the plug-in's host variable: one line
// per game address, "ADDRESS True" or "ADDRESS False", in a small text file.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace brawlhue::proxy {

class StateFile {
  public:
    // An empty path keeps nothing: every game starts with colouring on, and saving fails.
    explicit StateFile(std::string path);

    // The flag stored for the game; nothing when the file has no entry for it. A file that
    // cannot be read, or holds anything but such lines, is renamed aside (never overwritten),
    // reported in one line, and counts as empty.
    std::optional<bool> Load(const std::string& game);

    // Stores the flag for the game, keeping the other games' entries. The file is replaced as a
    // whole (a temporary file beside it, flushed to disk, renamed over it), so a crash or a full
    // disk leaves either the old file or the new one. A failure is reported in one line and
    // returns false.
    bool Save(const std::string& game, bool enabled);

    const std::string& path() const noexcept { return path_; }

  private:
    // Nothing when the file exists but cannot be used (already moved aside and reported).
    std::optional<std::map<std::string, bool>> Read();
    void MoveAside(const std::string& reason);

    std::string path_;
};

// The stored value's text as the plug-in reads its variable: "True" or "False" in any letter
// case, or a whole number (zero is off). Nothing for any other text.
std::optional<bool> ParseFlag(std::string_view text);

}  // namespace brawlhue::proxy
