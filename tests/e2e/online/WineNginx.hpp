#pragma once
// The nginx that scripts/wine-with-nginx starts beside a Windows test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace lumivox::online {

// Its address ("http://127.0.0.1:<port>") and the folder it serves (a Linux
// path, reached through Wine's Z: drive); false outside that script.
inline bool wineNginx(std::string& url, std::filesystem::path& root) {
    const char* address = std::getenv("LUMIVOX_NGINX_URL");
    const char* folder = std::getenv("LUMIVOX_NGINX_ROOT");
    if (address == nullptr || folder == nullptr)
        return false;
    url = address;
    root = folder;
    return true;
}

// A test that needs that nginx: its address ("http://127.0.0.1:<port>") and the
// folder it serves (a Linux path, reached through Wine's Z: drive).
class WineNginxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(wineNginx(url_, www_)) << "run through scripts/wine-with-nginx";
    }

    std::string url_;
    std::filesystem::path www_;
};

}  // namespace lumivox::online
