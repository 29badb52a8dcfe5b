// Faults while the program runs, through the real window: the server killed while the grid
// fetches, the link dropped before the commit, the server restarted between runs, a lock held by
// another user, a commit the database refuses, and a stalled link. Each time the box shows the
// client library's text, the window goes on, and a second connection finds committed only what
// was reported as committed.
#include "FaultRig.h"

#include "db/IBDatabase.h"
#include "db/IBQuery.h"
#include "db/IBTransaction.h"

#include <chrono>
#include <thread>

namespace faults {
namespace {

using testdb::Via;

const char* const kQty1 = "select qty from t where id = 1";

// A table of three rows; `extra` adds the test's own objects.
std::unique_ptr<testdb::ScratchDatabase> Fresh(const std::string& stem,
                                               std::vector<std::string> extra = {}) {
    auto db = std::make_unique<testdb::ScratchDatabase>(Unique(stem), Via::Server);
    std::vector<std::string> schema{"create table t (id integer not null primary key, qty integer)",
                                    "insert into t values (1, 10)", "insert into t values (2, 20)",
                                    "insert into t values (3, 30)"};
    schema.insert(schema.end(), extra.begin(), extra.end());
    db->Exec(schema);
    return db;
}

// Sends a signal to the proxy after a delay, from a thread of its own, since the window's
// thread is blocked in the call meanwhile; joined however the test ends.
class LaterSignal {
public:
    LaterSignal(const Proxy& proxy, int sig, std::chrono::milliseconds after)
        : thread_([&proxy, sig, after] {
              std::this_thread::sleep_for(after);
              proxy.Signal(sig);
          }) {}
    ~LaterSignal() { thread_.join(); }

private:
    std::thread thread_;
};

// The rows the window holds, then what a later run says: the program goes on.
void ExpectLaterRunsReport(const std::function<std::vector<testgui::SeenBox>()>& run,
                           const char* part) {
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(OneBoxWith(run(), part)) << "later run " << i + 1;
}

// --- 1. The server killed while the grid fetches a large result ------------------------------

enum class Move { PageDown, CtrlEnd };

void PrintTo(Move m, std::ostream* os) {
    *os << (m == Move::PageDown ? "Page Down" : "Ctrl+End");
}

class ServerKilledWhileFetching : public Window, public testing::WithParamInterface<Move> {};

TEST_P(ServerKilledWhileFetching, ShowsTheClientTextKeepsTheRowsAndGoesOn) {
    // Wide rows, so the client library's read-ahead holds only a few pages of them.
    auto db = Fresh("fetchkill",
                    {"create table big (id integer not null, name varchar(1000))",
                     "execute block as declare i integer = 0; begin while (i < 20000) do begin "
                     "insert into big values (:i, rpad('row ' || :i, 1000, '.')); i = i + 1; "
                     "end end"});
    ASSERT_TRUE(Start(db->ConnectionString() + "\n").empty());
    ASSERT_TRUE(Click(std::string("select id, name from big"), false).empty());
    const int shown = Rows();
    ASSERT_GT(shown, 0);
    L_Tavolix->DBGrid1->setFocus();
    L_Tavolix->DBGrid1->setCurrentIndex(L_Tavolix->DBGrid1->model()->index(0, 0));

    Server().Stop();
    // Its own watcher, gone before the later runs bring up theirs.
    auto boxes = std::make_unique<testgui::BoxWatcher>();
    if (GetParam() == Move::CtrlEnd) {
        QTest::keyClick(L_Tavolix->DBGrid1, Qt::Key_End, Qt::ControlModifier);
        boxes->WaitFor(1, 5000);
    } else {
        for (int presses = 0; boxes->Boxes().empty() && presses < 2000; ++presses) {
            QTest::keyClick(L_Tavolix->DBGrid1, Qt::Key_PageDown);
            boxes->WaitFor(1, 10);
        }
    }
    boxes->WaitFor(2, 200); // one failure, one box
    EXPECT_TRUE(OneBoxWith(boxes->Boxes(), "Error reading data from the connection."));

    const int kept = Rows();
    EXPECT_GT(kept, shown);
    EXPECT_LT(kept, 20000);
    EXPECT_EQ(Cell(0, 0), "0");
    EXPECT_EQ(Cell(kept - 1, 0), QString::number(kept - 1));
    // Moving through what is there asks the server nothing and shows nothing more.
    boxes->Clear();
    QTest::keyClick(L_Tavolix->DBGrid1, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(L_Tavolix->DBGrid1, Qt::Key_End, Qt::ControlModifier);
    boxes->WaitFor(1, 200);
    EXPECT_TRUE(boxes->Boxes().empty()) << Text(boxes->Boxes());
    EXPECT_EQ(Rows(), kept);
    boxes.reset();

    ExpectLaterRunsReport([&] { return Click(std::string("select count(*) from t"), false); },
                          "Error writing data to the connection.");
    const std::string failure = Close();
    std::cout << "[ end of life, server gone ] release: [" << failure << "] boxes: ["
              << Text(closeBoxes_) << "]\n";
    Server().Restart();
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerKilledWhileFetching,
                         testing::Values(Move::PageDown, Move::CtrlEnd), [](const auto& info) {
                             return info.param == Move::PageDown ? "PageDown" : "CtrlEnd";
                         });

// --- 2. The link dropped between the execution and the commit --------------------------------

using LinkDropped = Window;

// The handler's own steps, with the drop between ExecSQL and CommitRetaining: the commit fails
// with the client's text, and the work never reached a commit at the server.
TEST_F(LinkDropped, AfterTheExecutionTheCommitFailsAndNothingIsCommitted) {
    auto db = Fresh("dropcommit");
    Proxy proxy(Server().Port());
    ASSERT_TRUE(Start(proxy.Via(db->Path()) + "\n").empty());

    dm->qry.Close();
    dm->qry.SetSQLText("");
    dm->qry.SetSQLText("update t set qty = 5 where id = 1");
    dm->qry.ExecSQL();
    proxy.Drop();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {
        testgui::BoxWatcher boxes;
        vcl::Handled([] { dm->IBTransaction.CommitRetaining(); });
        EXPECT_TRUE(OneBoxWith(boxes.Boxes(), "Error reading data from the connection."));
    }
    EXPECT_TRUE(dm->IBTransaction.Active());
    // The server saw the link close before any commit, and rolled the work back.
    EXPECT_EQ(db->Scalar(kQty1), 10);
    ExpectLaterRunsReport(
        [&] { return Click(std::string("update t set qty = 6 where id = 2"), true); },
        "Error writing data to the connection.");
    EXPECT_EQ(db->Scalar("select qty from t where id = 2"), 20);
}

// Through the window: the link drops while a long ticked statement runs at the server.
TEST_F(LinkDropped, DuringALongExecutionTheRunFailsAndNothingIsCommitted) {
    auto db = Fresh("dropexec");
    Proxy proxy(Server().Port());
    ASSERT_TRUE(Start(proxy.Via(db->Path()) + "\n").empty());

    // Busy at the server for a second and a half, whatever the machine's speed.
    const std::string slow =
        "execute block as declare t0 timestamp; declare i integer = 0; begin "
        "t0 = cast('now' as timestamp); update t set qty = 5 where id = 1; "
        "while (datediff(millisecond from t0 to cast('now' as timestamp)) < 1500) do i = i + 1; "
        "end";
    std::vector<testgui::SeenBox> boxes;
    QElapsedTimer clock;
    clock.start();
    {
        LaterSignal drop(proxy, SIGUSR1, std::chrono::milliseconds(300));
        boxes = Click(slow, true);
    }
    EXPECT_TRUE(OneBoxWith(boxes, "Error reading data from the connection."))
        << clock.elapsed() << " ms";
    EXPECT_EQ(db->Scalar(kQty1), 10);
    ExpectLaterRunsReport([&] { return Click(std::string("select qty from t"), false); },
                          "Error writing data to the connection.");
    EXPECT_EQ(db->Scalar(kQty1), 10);
}

// --- 3. The server restarted between two runs -------------------------------------------------

using ServerRestarted = Window;

TEST_F(ServerRestarted, EveryLaterRunReportsTheClientText) {
    auto db = Fresh("restart");
    ASSERT_TRUE(Start(db->ConnectionString() + "\n").empty());
    ASSERT_TRUE(Click(std::string("select id, qty from t order by id"), false).empty());
    ASSERT_EQ(Rows(), 3);
    ASSERT_TRUE(Click(std::string("update t set qty = 11 where id = 1"), true).empty());
    ASSERT_EQ(db->Scalar(kQty1), 11);

    Server().Restart();
    struct Later {
        const char* sql;
        bool ticked;
        const char* box;
    };
    const Later runs[] = {
        {"select id, qty from t", false, "Error writing data to the connection."},
        {"update t set qty = 12 where id = 1", true, "Error writing data to the connection."},
        {"select id, qty from t", false, "Error writing data to the connection."},
        {"", true, "Empty SQL Statement."}, // no server call at all
        {"update t set qty = 13 where id = 1", false, "Error writing data to the connection."},
    };
    for (const Later& run : runs) {
        const auto boxes = Click(std::string(run.sql), run.ticked);
        EXPECT_TRUE(OneBoxWith(boxes, run.box)) << "[" << run.sql << "]";
        EXPECT_EQ(Rows(), 0);
    }
    EXPECT_EQ(db->Scalar(kQty1), 11);
}

// --- 4. A lock held by another user -------------------------------------------------------------

using LockConflict = Window;

// Under nowait the run fails at once; the work pending from before stays pending, neither
// committed nor lost, and the next successful ticked run commits it.
TEST_F(LockConflict, FailsAtOnceAndKeepsEarlierWorkPending) {
    auto db = Fresh("lock");
    ASSERT_TRUE(Start(db->ConnectionString() + "\n").empty());
    ASSERT_TRUE(Click(std::string("update t set qty = 22 where id = 2"), false).empty());

    ibx::TIBDatabase otherDb;
    ibx::TIBTransaction otherTr;
    ibx::TIBQuery other;
    otherDb.SetParams({"user_name=SYSDBA", "password=quibolant"});
    otherDb.SetDefaultTransaction(&otherTr);
    otherDb.SetDatabaseName(db->ConnectionString());
    otherDb.SetConnected(true);
    otherTr.StartTransaction();
    other.Database = &otherDb;
    other.Transaction = &otherTr;
    other.SetSQLText("update t set qty = qty + 1 where id = 1");
    other.ExecSQL();

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(OneBoxWith(Click(std::string("update t set qty = 0 where id = 1"), true),
                           "update conflicts with concurrent update"));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(db->Scalar("select qty from t where id = 2"), 20);

    otherTr.Rollback();
    ASSERT_TRUE(Click(std::string("update t set qty = 0 where id = 1"), true).empty());
    EXPECT_EQ(db->Scalar(kQty1), 0);
    EXPECT_EQ(db->Scalar("select qty from t where id = 2"), 22);
}

// --- 5. A commit the database refuses -----------------------------------------------------------

using RefusedCommit = Window;

// A trigger refuses the commit of the attachment a marker row names. The work stays pending
// (the program sees it, others do not) until a later ticked run commits it.
TEST_F(RefusedCommit, LeavesTheWorkPendingUntilALaterCommit) {
    auto db = Fresh("refuse", {"create table marker (att bigint)",
                               "create exception e_refused 'commit refused by the marker'",
                               "create trigger refuse_commit on transaction commit as begin "
                               "if (exists(select 1 from marker where att = current_connection)) "
                               "then exception e_refused; end"});
    ASSERT_TRUE(Start(db->ConnectionString() + "\n").empty());
    const std::string me = ProgramConnection();
    ASSERT_FALSE(me.empty());
    db->Exec("insert into marker values (" + me + ")");

    ASSERT_TRUE(Click(std::string("update t set qty = 1 where id = 1"), false).empty());
    EXPECT_TRUE(OneBoxWith(Click(std::string("update t set qty = 5 where id = 3"), true),
                           "commit refused by the marker"));
    EXPECT_EQ(db->Scalar(kQty1), 10);
    EXPECT_EQ(db->Scalar("select qty from t where id = 3"), 30);
    // Refused again: the earlier failure left nothing half done.
    EXPECT_TRUE(OneBoxWith(Click(std::string("update t set qty = 2 where id = 2"), true),
                           "commit refused by the marker"));
    ASSERT_TRUE(Click(std::string("select sum(qty) from t"), false).empty());
    EXPECT_EQ(Cell(0, 0), "8");
    EXPECT_EQ(db->Scalar("select sum(qty) from t"), 60);

    db->Exec("delete from marker");
    ASSERT_TRUE(Click(std::string("update t set qty = qty where id = 1"), true).empty());
    EXPECT_EQ(db->Scalar("select sum(qty) from t"), 8);
}

// --- 8. A stalled link ---------------------------------------------------------------------------

class Stalled : public Window, public testing::WithParamInterface<bool> {};

// One thread, no time-out of our own: the window waits out the stall and the run completes.
TEST_P(Stalled, TheRunWaitsAndCompletesWhenTheStallEnds) {
    const bool ticked = GetParam();
    auto db = Fresh(ticked ? "stall_exec" : "stall_open");
    Proxy proxy(Server().Port());
    ASSERT_TRUE(Start(proxy.Via(db->Path()) + "\n").empty());

    proxy.Signal(SIGUSR2);
    std::vector<testgui::SeenBox> boxes;
    QElapsedTimer clock;
    clock.start();
    {
        LaterSignal resume(proxy, SIGCONT, std::chrono::milliseconds(2000));
        boxes = Click(std::string(ticked ? "update t set qty = 9 where id = 1"
                                         : "select id, qty from t order by id"),
                      ticked);
    }
    const auto waited = clock.elapsed();
    EXPECT_TRUE(boxes.empty()) << Text(boxes);
    EXPECT_GE(waited, 1800);
    EXPECT_LT(waited, 30000);
    if (ticked) {
        EXPECT_EQ(db->Scalar(kQty1), 9);
    } else {
        ASSERT_EQ(Rows(), 3);
        EXPECT_EQ(Cell(2, 1), "30");
    }
    ASSERT_TRUE(Click(std::string("select count(*) from t"), false).empty());
    EXPECT_EQ(Cell(0, 0), "3");
}

INSTANTIATE_TEST_SUITE_P(Faults, Stalled, testing::Bool(),
                         [](const auto& info) { return info.param ? "Execute" : "Open"; });

} // namespace
} // namespace faults
