#include "platform/SettingsStore.hpp"

#include <cstdio>
#include <span>

#include "platform/Files.hpp"

namespace lumivox::platform {

SettingsStore& SettingsStore::instance() {
    static SettingsStore store;
    return store;
}

bool SettingsStore::open(std::string path) {
    // readFile cannot tell an empty file from an unreadable one: ask whether
    // the file is there and then whether it opens.
    bool readable = true;
    ByteData bytes;
    if (pathMatchesAnything(path)) {
        if (std::FILE* file = openFileForReading(path)) {
            std::fclose(file);
            bytes = readFile(path);
        } else {
            readable = false;
        }
    }
    std::lock_guard lock(mutex_);
    path_ = std::move(path);
    writable_ = readable;
    document_ = IniDocument::parse(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return readable;
}

IniDocument SettingsStore::snapshot() const {
    std::lock_guard lock(mutex_);
    return document_;
}

bool SettingsStore::change(const std::function<void(IniDocument&)>& apply) {
    std::lock_guard lock(mutex_);
    apply(document_);
    return saveLocked();
}

bool SettingsStore::saveLocked() {
    if (path_.empty()) {
        return true;
    }
    if (!writable_) {
        return false;
    }
    const std::string text = document_.serialize();
    return replaceFile(path_, {std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())});
}

}  // namespace lumivox::platform
