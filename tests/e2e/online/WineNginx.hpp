#pragma once
// The nginx that scripts/wine-with-nginx starts beside a Windows test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace lumivox::online {

// A test that needs that nginx: its address ("http://127.0.0.1:<port>") and the
// folder it serves (a Linux path, reached through Wine's Z: drive).
class WineNginxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* address = std::getenv("LUMIVOX_NGINX_URL");
        const char* folder = std::getenv("LUMIVOX_NGINX_ROOT");
        ASSERT_TRUE(address != nullptr && folder != nullptr)
            << "run through scripts/wine-with-nginx";
        url_ = address;
        www_ = folder;
    }

    std::string url_;
    std::filesystem::path www_;
};

}  // namespace lumivox::online
