#pragma once
// The loopback proxy (tests/rig/tcpproxy) in front of a server, for tests that drop or stall the
// program's link; stopped, and any stall lifted, when the object goes.

#include <QProcess>

#include <csignal>
#include <string>
#include <sys/types.h>

namespace testdb {

class Proxy {
public:
    /// Listens on a free loopback port and forwards to `targetPort`; throws when it cannot start.
    explicit Proxy(int targetPort);
    ~Proxy();
    Proxy(const Proxy&) = delete;
    Proxy& operator=(const Proxy&) = delete;

    pid_t Pid() const { return static_cast<pid_t>(process_.processId()); }
    void Signal(int sig) const;
    /// Closes every open connection.
    void Drop() const { Signal(SIGUSR1); }
    /// Stops forwarding; the bytes wait in the sockets.
    void Stall() const { Signal(SIGUSR2); }
    void Resume() const { Signal(SIGCONT); }
    /// A connection string for `path` on the server behind the proxy.
    std::string Via(const std::string& path) const {
        return "127.0.0.1/" + std::to_string(port_) + ":" + path;
    }

private:
    int port_;
    QProcess process_;
};

} // namespace testdb
