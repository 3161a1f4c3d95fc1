// The update's cryptography library is opened when an update is first checked.
// Without it (here a broken file found first on the library path, in a copy of
// this test program) nothing verifies, so no update is trusted, and the host
// is told which library is missing.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/Crypto.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::platform {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> fromHex(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

// RFC 8032's first Ed25519 vector (an empty message).
bool standardVectorVerifies() {
    const auto key = fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    const auto signature = fromHex(
        "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701c"
        "f9b46bd25bf5f0595bbe24655141438e7a100b");
    return verifyEd25519(key, signature, {});
}

TEST(CryptoLibrary, WithoutItNothingVerifiesAndTheHostIsTold) {
    if (std::getenv("LUMIVOX_WITHOUT_CRYPTO") != nullptr) {
        // The copy with the broken library.
        EXPECT_FALSE(standardVectorVerifies());
        Sha256Hasher hasher;
        EXPECT_FALSE(hasher.add(std::vector<std::uint8_t>{1, 2, 3}));
        EXPECT_FALSE(hasher.finish());
        return;
    }
    ASSERT_TRUE(standardVectorVerifies());
    ASSERT_TRUE(Sha256Hasher().finish());
    testing::TempDir libraries;
    std::ofstream(libraries / "libcrypto.so.3") << "not a library";
    const auto errors = libraries / "stderr.txt";
    testing::Subprocess copy(
        {std::filesystem::read_symlink("/proc/self/exe").string(),
         "--gtest_filter=CryptoLibrary.WithoutItNothingVerifiesAndTheHostIsTold"},
        {{"LD_LIBRARY_PATH", libraries.path().string()}, {"LUMIVOX_WITHOUT_CRYPTO", "1"}},
        libraries / "stdout.txt", errors);
    EXPECT_EQ(copy.wait(60s), 0);
    std::ifstream in(errors);
    const std::string said{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(said.find("libcrypto.so.3 could not be loaded"), std::string::npos) << said;
}

}  // namespace
}  // namespace lumivox::platform
