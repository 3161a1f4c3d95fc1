#include <gtest/gtest.h>

#include <string>

#include "base/Types.hpp"
#include "sound/WaveFile.hpp"

namespace lumivox {
namespace {

// A RIFF/WAVE block from chunks given as (identifier, declared size, body).
struct Chunk {
    std::string id;
    std::uint32_t declaredSize;
    std::string body;
};

void put32(ByteData& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

ByteData wave(const std::vector<Chunk>& chunks, std::optional<std::uint32_t> riffSize = {},
              const std::string& form = "WAVE") {
    ByteData out = {'R', 'I', 'F', 'F'};
    put32(out, 0);
    out.insert(out.end(), form.begin(), form.end());
    for (const Chunk& chunk : chunks) {
        out.insert(out.end(), chunk.id.begin(), chunk.id.end());
        put32(out, chunk.declaredSize);
        out.insert(out.end(), chunk.body.begin(), chunk.body.end());
    }
    const std::uint32_t size = riffSize.value_or(static_cast<std::uint32_t>(out.size() - 8));
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    return out;
}

const std::string kFmt(16, 'f');

struct Case {
    const char* name;
    ByteData file;
    bool accepted;
    std::string data;  // expected data body when accepted
};

TEST(WaveFile, ChecksAndChunkWalk) {
    ByteData shortFile = wave({{"fmt ", 16, kFmt}});
    shortFile.resize(35);
    ByteData riffX = wave({{"fmt ", 16, kFmt}, {"data", 4, "abcd"}});
    riffX[0] = 'X';
    const std::vector<Case> cases = {
        {"shorter than 36 bytes", shortFile, false, ""},
        {"no RIFF", riffX, false, ""},
        {"no WAVE", wave({{"fmt ", 16, kFmt}, {"data", 4, "abcd"}}, {}, "AVI "), false, ""},
        {"no data chunk", wave({{"fmt ", 16, kFmt}, {"LIST", 8, "12345678"}}), false, ""},
        {"no fmt chunk", wave({{"LIST", 8, "12345678"}, {"data", 4, "abcd"}}), false, ""},
        {"empty data", wave({{"fmt ", 16, kFmt}, {"data", 0, ""}, {"data", 4, "late"}}), false,
         ""},
        {"fmt then data", wave({{"fmt ", 16, kFmt}, {"data", 4, "abcd"}}), true, "abcd"},
        {"data before fmt", wave({{"data", 4, "abcd"}, {"fmt ", 16, kFmt}}), true, "abcd"},
        {"fact between", wave({{"fmt ", 16, kFmt}, {"fact", 4, "1234"}, {"data", 2, "xy"}}), true,
         "xy"},
        // No pad byte follows an odd chunk: the next chunk starts right after the body.
        {"odd chunk, no pad", wave({{"fmt ", 16, kFmt}, {"odd!", 3, "abc"}, {"data", 2, "xy"}}),
         true, "xy"},
        {"first data wins", wave({{"fmt ", 16, kFmt}, {"data", 2, "xy"}, {"data", 2, "zz"}}), true,
         "xy"},
        // The walk ends at the RIFF size: a data chunk beyond it is not found.
        {"walk hits RIFF size", wave({{"fmt ", 16, kFmt}, {"data", 4, "abcd"}}, 24), false,
         ""},
        {"RIFF size covers data", wave({{"fmt ", 16, kFmt}, {"data", 4, "abcd"}}, 25),
         true, "abcd"},
        // A data chunk claiming more than the block holds plays what is there.
        {"data cut short", wave({{"fmt ", 16, kFmt}, {"data", 1000, "abcd"}}), true, "abcd"},
        {"fmt cut short", wave({{"data", 4, "abcd"}, {"fmt ", 1000, kFmt}}), false, ""},
        {"chunk size wraps", wave({{"fmt ", 16, kFmt}, {"junk", 0xFFFFFFF8u, "1234"}}), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto chunks = findWaveChunks(c.file);
        ASSERT_EQ(chunks.has_value(), c.accepted);
        if (chunks) {
            EXPECT_EQ(std::string(chunks->data.begin(), chunks->data.end()), c.data);
            EXPECT_EQ(std::string(chunks->format.begin(), chunks->format.end()), kFmt);
        }
    }
}

}  // namespace
}  // namespace lumivox
