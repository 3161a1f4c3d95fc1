#include <gtest/gtest.h>

#include <fstream>

#include "sound/SongFileReader.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox {
namespace {

ByteData id3(std::uint8_t major, std::uint32_t size) {
    ByteData tag = {'I', 'D', '3', major, 0, 0};
    for (int shift : {21, 14, 7, 0}) {
        tag.push_back(static_cast<std::uint8_t>((size >> shift) & 0x7F));
    }
    tag.resize(10 + size, 0);
    return tag;
}

ByteData tagBlock() {
    ByteData block(128, ' ');
    block[0] = 'T';
    block[1] = 'A';
    block[2] = 'G';
    return block;
}

TEST(SongFileReader, SkipsAnId3v23TagAndLeavesATagBlockOutOfTheLength) {
    struct Case {
        const char* name;
        ByteData file;
        std::uint64_t start;
        std::uint64_t length;
    };
    auto join = [](std::vector<ByteData> parts) {
        ByteData out;
        for (const auto& part : parts) {
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    };
    const ByteData frames(1000, 0x55);
    const std::vector<Case> cases = {
        {"plain", frames, 0, 1000},
        {"ID3v2.3", join({id3(3, 300), frames}), 310, 1310},
        // 0x81 per byte uses only seven bits: 1 + 128 + 16384 + 2097152.
        {"ID3v2.3 size with high bits", join({ByteData{'I', 'D', '3', 3, 0, 0, 0x81, 0x81, 0x81, 0x81}, frames}),
         10 + 2113665, 1010},
        {"ID3v2.4 is not skipped", join({id3(4, 300), frames}), 0, 1310},
        {"ID3v2.2 is not skipped", join({id3(2, 300), frames}), 0, 1310},
        {"TAG block", join({frames, tagBlock()}), 0, 1000},
        {"both", join({id3(3, 20), frames, tagBlock()}), 30, 1030},
        {"TAG not in the last 128 bytes", join({tagBlock(), frames}), 0, 1128},
        {"file of 127 bytes", ByteData(127, 'T'), 0, 127},
        {"file is just a TAG block", tagBlock(), 0, 0},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / "song.mp3";
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(c.file.data()), static_cast<long>(c.file.size()));
        auto reader = SongFileReader::open(path.string());
        ASSERT_TRUE(reader);
        EXPECT_EQ(reader->bounds().start, c.start);
        EXPECT_EQ(reader->bounds().length, c.length);
        // Reading starts after a skipped tag and runs to the end of the file, TAG block included.
        ByteData read;
        std::vector<std::uint8_t> block(SongFileReader::kBlockBytes);
        for (;;) {
            const std::size_t got = reader->read(block.data());
            read.insert(read.end(), block.begin(), block.begin() + static_cast<long>(got));
            if (got < block.size()) {
                break;
            }
        }
        const std::size_t skipped = std::min<std::size_t>(c.start, c.file.size());
        EXPECT_EQ(read, ByteData(c.file.begin() + static_cast<long>(skipped), c.file.end()));
    }
    EXPECT_FALSE(SongFileReader::open((dir / "missing.mp3").string()));
    EXPECT_FALSE(SongFileReader::open(dir.path().string()));
}

}  // namespace
}  // namespace lumivox
