#pragma once
// A Firebird server of a test's own, for tests that kill or restart it: its folder lies in the
// scratch folder (so the test command can clean up after a test killed by its time-out), its
// port is a free loopback port, and it is stopped when the object goes.

#include <string>

namespace testdb {

/// A loopback port nothing listens on now.
int FreeLoopbackPort();

class PrivateServer {
public:
    /// Starts a server in TAVOLIX_TEST_DIR/`name`-PID on a free port; throws when it cannot.
    explicit PrivateServer(const std::string& name);
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    void Stop();
    void Restart();
    /// Back up for the next test, whatever this one did to it.
    void EnsureRunning();

    int Port() const { return port_; }
    /// "127.0.0.1/port", the start of a connection string.
    std::string Address() const { return "127.0.0.1/" + std::to_string(port_); }
    /// A folder the server may create databases in.
    std::string DataDir() const { return dir_ + "/data"; }

private:
    std::string dir_;
    int port_ = 0;
    bool running_ = false;
};

} // namespace testdb
