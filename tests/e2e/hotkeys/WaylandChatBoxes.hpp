#pragma once
// What the Wayland phrase tests share: the native chat boxes (GTK 3, Qt), and
// phrase 3 (Chinese, a line break and an emoji) in a phrase file as the program
// keeps it, with what the chat box receives.
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "base/Encoding.hpp"

namespace lumivox::testing {

inline const std::string kPhrase3 = "第一行\r\n第二行😀";
// Enter, the phrase with the program's CR LF as LF, Enter.
inline const std::string kSent3 = "\n第一行\n第二行😀\n";

// The twelve phrases, GBK, each followed by the separator; phrase 3 as above.
inline std::string phraseFileWithPhrase3() {
    const std::string separator = "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";
    std::string file;
    for (int n = 1; n <= 12; ++n) {
        file += (n == 3 ? utf8ToGbk(kPhrase3) : "p" + std::to_string(n)) + separator;
    }
    return file;
}

struct ChatBox {
    const char* name;
    const char* title;
    std::vector<std::string> (*command)(const std::filesystem::path& program,
                                        const std::filesystem::path& folder);
    const char* program;  // under the source or build tree
    bool inSource;
};

inline const ChatBox kChatBoxes[] = {
    {"Gtk3", "GtkPhraseTarget",
     [](const std::filesystem::path& program, const std::filesystem::path& folder) {
         // Debian's own Python, which has the GTK bindings.
         return std::vector<std::string>{"/usr/bin/python3", program.string(), folder.string()};
     },
     "tests/e2e/hotkeys/gtk_phrase_target.py", true},
    {"Qt", "PhraseTarget",
     [](const std::filesystem::path& program, const std::filesystem::path& folder) {
         return std::vector<std::string>{program.string(), folder.string()};
     },
     "tests/e2e/hotkeys/hotkeys_phrase_target", false},
};

inline void PrintTo(const ChatBox& box, std::ostream* out) {
    *out << box.name;
}

}  // namespace lumivox::testing
