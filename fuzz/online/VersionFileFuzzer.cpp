// The version file from the maker's server: its fields, the base name check and
// the signature line, over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "online/UpdateSignature.hpp"
#include "online/VersionFile.hpp"

using namespace lumivox;
using namespace lumivox::online;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TextArray fields = versionFields(text);
    std::size_t bytes = 0;
    for (const Text& field : fields)
        bytes += field.size();
    if (bytes > size)
        std::abort();  // fields are pieces of the file
    if (fields.size() < 4)
        return 0;
    const Text& name = fields[2];
    if (isSafeBaseName(name) &&
        (name.empty() || name.size() > kMaxBaseNameLength || name.front() == '.' ||
         name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") !=
             Text::npos))
        std::abort();
    // Only a strictly later version moves the host: never both ways, never to itself.
    const Text newVersion = fields.size() > 4 ? fields[4] : Text();
    if (isNewerVersion(newVersion, fields[0]) && isNewerVersion(fields[0], newVersion))
        std::abort();
    if (isNewerVersion(fields[0], fields[0]))
        std::abort();
    // What decodes encodes back to the same text: the decoder takes one spelling only.
    if (const auto decoded = decodeBase64(fields[3])) {
        if (encodeBase64(*decoded) != fields[3])
            std::abort();
    }
    const Sha256 digest{};
    if (verifyUpdate(builtInUpdateKey(), fields[3], digest, name, fields[0], newVersion))
        std::abort();  // nobody can forge the development key's signature of nothing
    return 0;
}
