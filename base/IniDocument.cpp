#include "base/IniDocument.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace lumivox {
namespace {

// Spaces, tabs, CRs and, at the front, byte-order marks (an editor may leave
// one at the start of any line it pasted).
std::string_view trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && (isSpace(text.front()) || text.substr(0, 3) == "\xEF\xBB\xBF")) {
        text.remove_prefix(isSpace(text.front()) ? 1 : 3);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// A value stays on its own line whatever the caller hands in.
std::string oneLine(std::string_view text) {
    std::string out(trim(text));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    return out;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text) {
    // Every mark, so that what is written never starts with one that was text.
    while (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    IniDocument document;
    document.groups_.push_back(Group{});
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        const std::string_view line = trim(raw);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            document.groups_.push_back(Group{std::string(trim(line.substr(1, line.size() - 2))), {}});
            continue;
        }
        const size_t equals = line.find('=');
        const bool comment = !line.empty() && (line.front() == ';' || line.front() == '#');
        if (!comment && equals != std::string_view::npos && !trim(line.substr(0, equals)).empty()) {
            document.groups_.back().lines.push_back(
                Line{std::string(trim(line.substr(0, equals))), std::string(trim(line.substr(equals + 1)))});
        } else {
            document.groups_.back().lines.push_back(Line{{}, std::string(raw)});
        }
    }
    return document;
}

std::string IniDocument::serialize() const {
    std::string out;
    for (const Group& group : groups_) {
        if (&group != &groups_.front() || !group.name.empty()) {
            out += "[" + group.name + "]\n";
        }
        for (const Line& line : group.lines) {
            out += line.key.empty() ? line.text : line.key + "=" + line.text;
            out += '\n';
        }
    }
    return out;
}

const IniDocument::Group* IniDocument::findGroup(std::string_view name) const {
    if (groups_.empty()) {
        return nullptr;
    }
    for (const Group& group : groups_) {
        if (group.name == name && (!name.empty() || &group == &groups_.front())) {
            return &group;
        }
    }
    return nullptr;
}

IniDocument::Group& IniDocument::groupFor(std::string_view name) {
    if (const Group* found = findGroup(name)) {
        return const_cast<Group&>(*found);
    }
    if (groups_.empty()) {
        groups_.push_back(Group{});
    }
    if (name.empty()) {
        return groups_.front();
    }
    // A new group is set off from the one before by a blank line.
    Group& last = groups_.back();
    if (!last.lines.empty() && !last.lines.back().key.empty()) {
        last.lines.push_back(Line{});
    }
    groups_.push_back(Group{std::string(name), {}});
    return groups_.back();
}

std::optional<std::string> IniDocument::value(std::string_view group, std::string_view key) const {
    if (const Group* found = findGroup(group)) {
        for (const Line& line : found->lines) {
            if (!line.key.empty() && line.key == key) {
                return line.text;
            }
        }
    }
    return std::nullopt;
}

bool IniDocument::boolValue(std::string_view group, std::string_view key, bool fallback) const {
    const std::optional<std::string> text = value(group, key);
    if (!text) {
        return fallback;
    }
    const std::string word = lowered(*text);
    if (word == "true" || word == "1" || word == "yes" || word == "on") {
        return true;
    }
    if (word == "false" || word == "0" || word == "no" || word == "off") {
        return false;
    }
    return fallback;
}

long long IniDocument::intValue(std::string_view group, std::string_view key, long long min,
                                long long max, long long fallback) const {
    const std::optional<std::string> text = value(group, key);
    if (!text || text->empty()) {
        return fallback;
    }
    const char* first = text->data();
    const char* last = first + text->size();
    if (*first == '+') {
        ++first;
    }
    long long number = 0;
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last || number < min || number > max) {
        return fallback;
    }
    return number;
}

void IniDocument::set(std::string_view group, std::string_view key, std::string_view value) {
    // A key that would read back as something else (a comment, a group, a
    // shorter key) is a caller's mistake: nothing is written.
    const std::string cleanKey = oneLine(key);
    if (cleanKey.empty() || cleanKey.find('=') != std::string::npos || cleanKey.front() == '[' ||
        cleanKey.front() == ';' || cleanKey.front() == '#') {
        return;
    }
    Group& target = groupFor(oneLine(group));
    for (Line& line : target.lines) {
        if (line.key == cleanKey) {
            line.text = oneLine(value);
            return;
        }
    }
    // After the group's last key, so trailing blank lines and comments stay last.
    auto at = target.lines.end();
    while (at != target.lines.begin() && std::prev(at)->key.empty()) {
        --at;
    }
    target.lines.insert(at, Line{cleanKey, oneLine(value)});
}

void IniDocument::setBool(std::string_view group, std::string_view key, bool value) {
    set(group, key, value ? "true" : "false");
}

void IniDocument::setInt(std::string_view group, std::string_view key, long long value) {
    set(group, key, std::to_string(value));
}

bool IniDocument::removeKey(std::string_view group, std::string_view key) {
    if (const Group* found = findGroup(group)) {
        auto& lines = const_cast<Group*>(found)->lines;
        const auto at = std::find_if(lines.begin(), lines.end(),
                                     [&](const Line& line) { return !line.key.empty() && line.key == key; });
        if (at != lines.end()) {
            lines.erase(at);
            return true;
        }
    }
    return false;
}

bool IniDocument::removeGroup(std::string_view group) {
    const auto at = std::find_if(groups_.begin() + (groups_.empty() ? 0 : 1), groups_.end(),
                                 [&](const Group& each) { return each.name == group; });
    if (group.empty() || at == groups_.end()) {
        return false;
    }
    groups_.erase(at);
    return true;
}

bool IniDocument::hasGroup(std::string_view group) const {
    return findGroup(group) != nullptr && !group.empty();
}

std::vector<std::string> IniDocument::groups() const {
    std::vector<std::string> names;
    for (const Group& group : groups_) {
        if (!group.name.empty() && std::find(names.begin(), names.end(), group.name) == names.end()) {
            names.push_back(group.name);
        }
    }
    return names;
}

}  // namespace lumivox
