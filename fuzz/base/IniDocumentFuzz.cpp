// lumivox.ini as a host or another program may leave it: any bytes. Reading
// never fails, what is written reads back the same, a set value reads back as
// set (less control characters), and setting one value adds no other key.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/IniDocument.hpp"

using namespace lumivox;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    IniDocument ini = IniDocument::parse(text);
    const std::string written = ini.serialize();
    if (!(IniDocument::parse(written) == ini) || IniDocument::parse(written).serialize() != written) {
        std::abort();
    }
    // The input's tail, as a value a caller might hand in (a caption, a path).
    const std::string value = text.substr(text.size() / 2);
    const size_t groupsBefore = ini.groups().size();
    ini.set("effect1", "caption", value);
    const IniDocument back = IniDocument::parse(ini.serialize());
    const std::optional<std::string> read = back.value("effect1", "caption");
    if (!read || read->find('\n') != std::string::npos || back.groups().size() > groupsBefore + 1) {
        std::abort();
    }
    (void)back.intValue("audio", "effects_volume", 0, 100, 100);
    (void)back.boolValue("audio", "monitor", true);
    return 0;
}
