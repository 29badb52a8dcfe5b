#include "PrivateServer.h"

#include "TestDb.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testdb {
namespace {

void Script(const std::string& args) {
    const std::string cmd = "bash '" TAVOLIX_FBSERVER_SCRIPT "' " + args + " >/dev/null";
    if (std::system(cmd.c_str()) != 0)
        throw std::runtime_error("failed: " + cmd);
}

} // namespace

// The kernel picks the port for a socket we close at once.
int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(a.sin_port);
}

PrivateServer::PrivateServer(const std::string& name)
    : dir_(Dir() + "/" + name + "-" + std::to_string(::getpid())), port_(FreeLoopbackPort()) {
    Script("start '" + dir_ + "' " + std::to_string(port_) + " quibolant");
    running_ = true;
}

PrivateServer::~PrivateServer() {
    std::system(("bash '" TAVOLIX_FBSERVER_SCRIPT "' stop '" + dir_ + "' >/dev/null 2>&1").c_str());
    std::system(("rm -rf '" + dir_ + "'").c_str());
}

void PrivateServer::Stop() {
    Script("stop '" + dir_ + "'");
    running_ = false;
}

void PrivateServer::Restart() {
    Script("restart '" + dir_ + "'");
    running_ = true;
}

void PrivateServer::EnsureRunning() {
    if (!running_)
        Restart();
}

} // namespace testdb
