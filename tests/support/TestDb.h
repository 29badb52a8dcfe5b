#pragma once
// Scratch databases for tests, and a second connection that checks what the program did.
// The second connection links the client library directly, independent of the layer under test.
//
// Environment (set by .ci/run and the README's test command):
//   TAVOLIX_FB_SERVER  host/port of the private server, e.g. 127.0.0.1/30555
//   TAVOLIX_TEST_DIR   a folder where both the server and the tests may create database files

#include <optional>
#include <string>
#include <vector>

namespace testdb {

inline constexpr const char* kUser = "SYSDBA";
inline constexpr const char* kPassword = "quibolant";

/// "host/port" of the private server; fails the test run (throws) when not set.
std::string Server();
/// The scratch folder; throws when not set.
std::string Dir();

enum class Via { Server, Embedded };

/// A fresh database file, created on construction and dropped on destruction.
class ScratchDatabase {
public:
    /// `name` must be unique among tests running at the same time.
    ScratchDatabase(const std::string& name, Via via, int dialect = 3);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    /// What the program's connection is given: "host/port:path" or the plain path.
    std::string ConnectionString() const;
    std::string Path() const { return path_; }

    /// Runs statements on a second connection, each committed on its own.
    void Exec(const std::vector<std::string>& statements) const;
    void Exec(const std::string& statement) const { Exec(std::vector<std::string>{statement}); }
    /// Runs a select on a second connection; every value as text, NULL as nullopt.
    std::vector<std::vector<std::optional<std::string>>> Query(const std::string& select) const;
    /// The first column of the first row as a number (count(*) and the like).
    long long Scalar(const std::string& select) const;

private:
    std::string path_;
    Via via_;
};

} // namespace testdb
