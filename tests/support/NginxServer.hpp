#pragma once
// A private nginx serving a folder on a free loopback port: its configuration,
// pid, logs and temporary folders all live in a TempDir of its own; it runs in
// the foreground as a child of the test and is stopped with the object.
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

class NginxServer {
  public:
    // `serverLines`: more directives for the server block ("limit_rate 64k;").
    explicit NginxServer(const std::filesystem::path& root, const std::string& serverLines = {});
    ~NginxServer();
    bool ok() const { return ok_; }
    int port() const { return port_; }
    std::string url(const std::string& target) const;

  private:
    TempDir dir_;
    int port_ = 0;
    bool ok_ = false;
    std::unique_ptr<Subprocess> process_;
};

}  // namespace lumivox::testing
