// The conversions at the boundary with the OS on arbitrary bytes: whatever a
// path or a text from outside holds (valid UTF-8 or not), it comes back to the
// same bytes after a trip through the program's GBK texts; any GBK input
// converts without fault.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Encoding.hpp"

using namespace lumivox;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (gbkToUtf8(utf8ToGbk(bytes)) != bytes) {
        std::abort();
    }
    gbkToUtf8(bytes);
    return 0;
}
