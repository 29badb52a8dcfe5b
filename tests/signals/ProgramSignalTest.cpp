// The running program, in a child process, ended by a signal as a log-off or shutdown ends it:
// the loop ends, the window goes, then the data module commits the pending work once, and the
// process exits with code 0; a refused final commit is rolled back and reported; a signal while
// a database call blocks ends the program only after that call.

#include "Proxy.h"
#include "TestDb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testdb::Via;

std::string Unique(const std::string& stem) {
    return stem + "_" + std::to_string(::getpid());
}

using testdb::Proxy;

int ServerPort() {
    const std::string server = testdb::Server();
    return std::stoi(server.substr(server.rfind('/') + 1));
}

/// The program in a folder of its own with its database list, its output collected line by line.
class Program {
public:
    Program(const std::string& name, const std::string& connection, const QStringList& args)
        : dir_(fs::temp_directory_path() / Unique("tavolix_signals_" + name)) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::copy_file(SIGNALS_PROBE, dir_ / "Prg_Tavolix");
        std::ofstream(dir_ / "database.txt") << connection << "\n";
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList all = args;
        all.insert(1, QString::fromStdString(GoFile().string()));
        process_.start(QString::fromStdString((dir_ / "Prg_Tavolix").string()), all);
        if (!process_.waitForStarted(10000))
            throw std::runtime_error("the program did not start");
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    fs::path GoFile() const { return dir_ / "go"; }
    void Go() const { std::ofstream(GoFile().string()) << "go"; }
    void Send(int sig) const { ::kill(static_cast<pid_t>(process_.processId()), sig); }
    qint64 Pid() const { return process_.processId(); }
    bool Running() const { return process_.state() == QProcess::Running; }

    /// Reads lines until one starts with `prefix`; the rest of that line, or null on time-out.
    std::optional<QString> WaitFor(const QString& prefix, int timeoutMs = 20000) {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                lines_ << line;
                if (line.startsWith(prefix))
                    return line.mid(prefix.size()).trimmed();
            }
            if (clock.elapsed() > timeoutMs || process_.state() != QProcess::Running)
                return std::nullopt;
            process_.waitForReadyRead(100);
        }
    }
    /// Waits for the end; false on time-out.
    bool Finish(int timeoutMs = 30000) {
        const bool ended = process_.waitForFinished(timeoutMs);
        lines_
            << QString::fromUtf8(process_.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        return ended;
    }
    bool Crashed() const { return process_.exitStatus() != QProcess::NormalExit; }
    int ExitCode() const { return process_.exitCode(); }
    const QStringList& Lines() const { return lines_; }
    std::string Transcript() const { return lines_.join('\n').toStdString(); }
    QStringList Boxes() const { return lines_.filter(QRegularExpression(QStringLiteral("^BOX "))); }
    /// Where `line` first appears; -1 when it does not.
    qsizetype IndexOf(const QString& line) const { return lines_.indexOf(line); }

private:
    fs::path dir_;
    QProcess process_;
    QStringList lines_;
};

const std::vector<std::string> kSchema = {
    "create table t (id integer not null primary key, qty integer)", "insert into t values (1, 10)",
    "create table big (id integer not null, name varchar(1000))",
    "execute block as declare i integer = 0; begin while (i < 5000) do begin "
    "insert into big values (:i, rpad('row', 1000, '.')); i = i + 1; end end",
    "create table marker (att bigint)", "create table commits (att bigint)",
    "create exception e_refused 'commit refused by the marker'",
    // Every commit of every attachment is logged, so a second commit of the program's would show.
    "create trigger log_commit on transaction commit as begin "
    "insert into commits values (current_connection); end",
    "create trigger refuse_commit on transaction commit as begin "
    "if (exists(select 1 from marker where att = current_connection)) "
    "then exception e_refused; end"};

const char* const kPending = "update t set qty = 5 where id = 1";

/// What the second connection reads after the program has gone.
void ExpectAfterwards(const testdb::ScratchDatabase& db, const Program& program,
                      const std::string& connection, long long qty, long long commits) {
    EXPECT_EQ(db.Scalar("select qty from t where id = 1"), qty);
    EXPECT_EQ(db.Scalar("select count(*) from commits where att = " + connection), commits);
    EXPECT_EQ(db.Scalar("select count(*) from mon$attachments where mon$remote_pid = " +
                        std::to_string(program.Pid()) + " or mon$attachment_id = " + connection),
              0);
}

/// The orderly end: the loop, then the window, then the exit code 0.
void ExpectOrderlyEnd(Program& program) {
    ASSERT_TRUE(program.Finish()) << program.Transcript();
    EXPECT_FALSE(program.Crashed()) << program.Transcript();
    EXPECT_EQ(program.ExitCode(), 0) << program.Transcript();
    const qsizetype loop = program.IndexOf(QStringLiteral("LOOP ENDED"));
    const qsizetype window = program.IndexOf(QStringLiteral("WINDOW DESTROYED"));
    const qsizetype exit = program.IndexOf(QStringLiteral("EXIT 0"));
    EXPECT_GE(loop, 0) << program.Transcript();
    EXPECT_GT(window, loop) << program.Transcript();
    EXPECT_GT(exit, window) << program.Transcript();
    EXPECT_EQ(program.Lines().count(QStringLiteral("LOOP ENDED")), 1) << program.Transcript();
}

struct SignalCase {
    const char* name;
    std::vector<int> sent; ///< one right after the other
    bool refuseCommit;
    long long qtyAfter;
    long long programCommits;
};

void PrintTo(const SignalCase& c, std::ostream* os) {
    *os << c.name;
}

const SignalCase kCases[] = {
    {"Sigterm", {SIGTERM}, false, 5, 1},
    {"Sigint", {SIGINT}, false, 5, 1},
    {"Sighup", {SIGHUP}, false, 5, 1},
    {"TwoSigterms", {SIGTERM, SIGTERM}, false, 5, 1},
    {"MixedSignals", {SIGTERM, SIGINT, SIGHUP}, false, 5, 1},
    {"SigtermWithTheFinalCommitRefused", {SIGTERM}, true, 10, 0},
};

class EndedBySignal : public testing::TestWithParam<SignalCase> {};

TEST_P(EndedBySignal, CommitsThePendingWorkOnceAndExitsWithZero) {
    const SignalCase& c = GetParam();
    testdb::ScratchDatabase db(Unique(std::string("signals_") + c.name), Via::Server);
    db.Exec(kSchema);
    Program program(c.name, db.ConnectionString(), {QString::fromUtf8(kPending)});
    const auto connection = program.WaitFor(QStringLiteral("CONNECTION "));
    ASSERT_TRUE(connection) << program.Transcript();
    ASSERT_TRUE(program.WaitFor(QStringLiteral("READY"))) << program.Transcript();
    // Pending: another user does not see the update yet.
    EXPECT_EQ(db.Scalar("select qty from t where id = 1"), 10);
    if (c.refuseCommit)
        db.Exec("insert into marker values (" + connection->toStdString() + ")");

    for (int sig : c.sent)
        program.Send(sig);

    ExpectOrderlyEnd(program);
    const QStringList boxes = program.Boxes();
    if (c.refuseCommit) {
        // The end-of-life report: after the window, before the exit; the user is told.
        ASSERT_EQ(boxes.size(), 1) << program.Transcript();
        EXPECT_TRUE(boxes[0].contains(QLatin1String("caption=[Prg_tavolix]")))
            << boxes[0].toStdString();
        EXPECT_TRUE(boxes[0].contains(QLatin1String("commit refused by the marker")))
            << boxes[0].toStdString();
        EXPECT_GT(program.IndexOf(boxes[0]), program.IndexOf(QStringLiteral("WINDOW DESTROYED")));
    } else {
        EXPECT_TRUE(boxes.isEmpty()) << program.Transcript();
    }
    ExpectAfterwards(db, program, connection->toStdString(), c.qtyAfter, c.programCommits);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndedBySignal, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The link stalls while the grid fetches every row; the signal arrives meanwhile. The fetch is
// not cut short: it finishes when the link comes back, and only then does the loop end.
TEST(EndedBySignalWhileBlocked, DuringAStalledFetchEndsOnceTheFetchReturns) {
    testdb::ScratchDatabase db(Unique("signals_stalled_fetch"), Via::Server);
    db.Exec(kSchema);
    Proxy proxy(ServerPort());
    Program program("stalled_fetch", proxy.Via(db.Path()),
                    {QString::fromUtf8(kPending), QStringLiteral("select id, name from big")});
    const auto connection = program.WaitFor(QStringLiteral("CONNECTION "));
    ASSERT_TRUE(connection) << program.Transcript();
    ASSERT_TRUE(program.WaitFor(QStringLiteral("READY"))) << program.Transcript();

    proxy.Stall();
    program.Go();
    ASSERT_TRUE(program.WaitFor(QStringLiteral("FETCHING"))) << program.Transcript();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    program.Send(SIGTERM);
    // Still inside the fetch: nothing ends while the call blocks.
    EXPECT_FALSE(program.WaitFor(QStringLiteral("FETCHED"), 1500)) << program.Transcript();
    EXPECT_TRUE(program.Running()) << program.Transcript();
    proxy.Resume();

    const auto fetched = program.WaitFor(QStringLiteral("FETCHED "));
    ASSERT_TRUE(fetched) << program.Transcript();
    EXPECT_EQ(*fetched, QStringLiteral("5000"));
    ExpectOrderlyEnd(program);
    EXPECT_GT(program.IndexOf(QStringLiteral("LOOP ENDED")),
              program.IndexOf(QStringLiteral("FETCHED 5000")));
    EXPECT_TRUE(program.Boxes().isEmpty()) << program.Transcript();
    ExpectAfterwards(db, program, connection->toStdString(), 5, 1);
}

// The start-up connection stalls and the signal arrives before the loop runs: the client library
// must not cut the attachment; the connection completes, and the loop then ends at once.
TEST(EndedBySignalWhileBlocked, DuringTheStartUpConnectionEndsOnceTheLoopRuns) {
    testdb::ScratchDatabase db(Unique("signals_startup"), Via::Server);
    db.Exec(kSchema);
    Proxy proxy(ServerPort());
    proxy.Stall();
    Program program("startup", proxy.Via(db.Path()), {QString()});
    ASSERT_TRUE(program.WaitFor(QStringLiteral("MODULE"))) << program.Transcript();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    program.Send(SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(program.Running()) << program.Transcript();
    proxy.Resume();

    ExpectOrderlyEnd(program);
    // No connection failure message: the attachment survived the signal.
    EXPECT_TRUE(program.Lines().contains(QStringLiteral("STARTED connected=1 active=1")))
        << program.Transcript();
    EXPECT_TRUE(program.Boxes().isEmpty()) << program.Transcript();
    EXPECT_EQ(db.Scalar("select qty from t where id = 1"), 10);
    EXPECT_EQ(db.Scalar("select count(*) from mon$attachments where mon$remote_pid = " +
                        std::to_string(program.Pid())),
              0);
}

} // namespace
