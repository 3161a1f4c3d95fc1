#include "tests/support/NginxServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {
namespace {

bool accepting(int port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

}  // namespace

NginxServer::NginxServer(const std::filesystem::path& root, const std::string& serverLines) {
    port_ = unusedLoopbackPort();
    const auto dir = dir_.path();
    {
        std::ofstream conf(dir / "nginx.conf");
        conf << "worker_processes 1;\n"
             << (::geteuid() == 0 ? "user root root;\n" : "") << "pid "
             << (dir / "nginx.pid").string() << ";\n"
             << "error_log " << (dir / "error.log").string() << " warn;\n"
             << "events { worker_connections 256; }\n"
             << "http {\n"
             << "  access_log off;\n"
             << "  default_type application/octet-stream;\n"
             << "  sendfile on;\n"
             << "  client_body_temp_path " << (dir / "body").string() << ";\n"
             << "  proxy_temp_path " << (dir / "proxy").string() << ";\n"
             << "  fastcgi_temp_path " << (dir / "fastcgi").string() << ";\n"
             << "  uwsgi_temp_path " << (dir / "uwsgi").string() << ";\n"
             << "  scgi_temp_path " << (dir / "scgi").string() << ";\n"
             << "  server {\n"
             << "    listen 127.0.0.1:" << port_ << ";\n"
             << "    root " << std::filesystem::absolute(root).string() << ";\n"
             << "    " << serverLines << "\n"
             << "  }\n"
             << "}\n";
    }
    process_ = std::make_unique<Subprocess>(
        std::vector<std::string>{"/usr/sbin/nginx", "-p", dir.string(), "-c",
                                 (dir / "nginx.conf").string(), "-g", "daemon off;"},
        std::map<std::string, std::string>{}, dir / "stdout.log", dir / "stderr.log");
    ok_ = waitUntil([this] { return accepting(port_) || !process_->running(); },
                    std::chrono::seconds(10)) &&
          process_->running();
}

NginxServer::~NginxServer() {
    process_.reset();
}

std::string NginxServer::url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

}  // namespace lumivox::testing
