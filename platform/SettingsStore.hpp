#pragma once
// `lumivox.ini` in the data folder: the settings of who hears a sound, the
// host's own sounds and the remote panel (one group each). The two GBK settings
// files of the song slots and the phrases stay as they are.
//
// Read once at start; every change is written whole and atomically (a new file
// renamed over the old one), so a crash or a full disk leaves the previous file.
// Thread-safe: the GUI thread, the sound service and the remote panel's server
// read and change it. Only a change's own edit of the document runs under its
// lock; nothing calls out from there.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "base/IniDocument.hpp"

namespace lumivox::platform {

inline constexpr std::string_view kSettingsFileName = "lumivox.ini";

class SettingsStore {
public:
    // The program's store; its file is set by `open` at start.
    static SettingsStore& instance();

    SettingsStore() = default;
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Reads the file at `path` (UTF-8); a missing file gives an empty document,
    // and later saves go to `path`. A file that is there but cannot be opened
    // gives an empty document too, and false: saves then change memory only,
    // so the host's file is never replaced by less than it held.
    bool open(std::string path);
    const std::string& path() const { return path_; }

    // A copy of the document as it stands, for reading several values at once.
    IniDocument snapshot() const;

    // Applies a change under the store's lock and writes the whole file. The
    // change stays in memory even when the write fails; false then (the caller
    // tells the host). Without a file (never opened) it only changes memory.
    bool change(const std::function<void(IniDocument&)>& apply);

private:
    bool saveLocked();

    mutable std::mutex mutex_;
    std::string path_;
    IniDocument document_;
    bool writable_ = true;
};

}  // namespace lumivox::platform
