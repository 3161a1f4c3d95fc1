#pragma once
// The program's own settings file, `lumivox.ini` (UTF-8 INI): groups in square
// brackets, `key = value` lines, comments starting with ';' or '#'.
//
// Outside input (a host or an administrator may write it by hand), so reading
// never fails: a UTF-8 byte-order mark and CR line ends are accepted, a line that
// is none of the above is kept as it is, and everything that is read is written
// back in its order (unknown groups and keys, comments) when the program saves.
// Names are compared exactly (case matters). A key given twice in one group: the
// first counts, the later ones are kept untouched.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivox {

class IniDocument {
public:
    static IniDocument parse(std::string_view text);
    // The whole document, LF line ends, no byte-order mark.
    std::string serialize() const;

    std::optional<std::string> value(std::string_view group, std::string_view key) const;
    // "true" or "false" (also 1/0, yes/no, on/off, any case); anything else is
    // the fallback.
    bool boolValue(std::string_view group, std::string_view key, bool fallback) const;
    // A whole decimal number within [min, max]; anything else (not a number,
    // trailing text, out of range) is the fallback.
    long long intValue(std::string_view group, std::string_view key, long long min,
                       long long max, long long fallback) const;

    // Sets a value, adding the group (at the end) and the key (at the end of its
    // group) when missing. Line breaks and other control characters in the value
    // become spaces, so a value can never add a line of its own.
    void set(std::string_view group, std::string_view key, std::string_view value);
    void setBool(std::string_view group, std::string_view key, bool value);
    void setInt(std::string_view group, std::string_view key, long long value);
    // True when something was removed.
    bool removeKey(std::string_view group, std::string_view key);
    bool removeGroup(std::string_view group);

    bool hasGroup(std::string_view group) const;
    // The groups' names in file order (each once).
    std::vector<std::string> groups() const;

    bool operator==(const IniDocument&) const = default;

private:
    struct Line {
        std::string key;  // empty for a comment, blank or unrecognised line
        std::string text; // the value of a key, else the line as it was
        bool operator==(const Line&) const = default;
    };
    struct Group {
        std::string name;  // empty for the lines before the first group
        std::vector<Line> lines;
        bool operator==(const Group&) const = default;
    };
    const Group* findGroup(std::string_view name) const;
    Group& groupFor(std::string_view name);

    std::vector<Group> groups_;
};

}  // namespace lumivox
