// The query against scratch databases on the private server and the embedded engine: statement
// types on both paths, order of checks, markers sent as NULL, duplicate columns, fetching, a
// typed commit and a lock conflict.

#include "db/IBQuery.h"
#include "PrivateServer.h"
#include "TestDb.h"
#include "db/DataSource.h"
#include "db/IBDatabase.h"
#include "db/IBErrors.h"
#include "db/IBTransaction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace testdb {
void PrintTo(Via via, std::ostream* os) {
    *os << (via == Via::Server ? "Server" : "Embedded");
}
} // namespace testdb

namespace {

using ibx::EIBClientError;
using ibx::EIBInterBaseError;
using ibx::TDataEvent;
using testdb::ScratchDatabase;
using testdb::Via;

// The data module's four components, wired and set as the program sets them.
struct Dm {
    ibx::TIBDatabase IBDatabase;
    ibx::TIBTransaction IBTransaction;
    ibx::TIBQuery qry;
    ibx::TDataSource DataSource1;
    std::vector<TDataEvent> events;

    explicit Dm(const std::string& databaseName) {
        IBDatabase.SetParams({"user_name=SYSDBA", "password=quibolant"});
        IBDatabase.SetDefaultTransaction(&IBTransaction);
        IBTransaction.SetParams({"read_committed", "rec_version", "nowait"});
        qry.Database = &IBDatabase;
        qry.Transaction = &IBTransaction;
        qry.BufferChunks = 1000;
        DataSource1.SetDataSet(&qry);
        DataSource1.Subscribe([this](TDataEvent e) { events.push_back(e); });
        IBDatabase.SetDatabaseName(databaseName);
    }
    ~Dm() {
        try {
            qry.Release();
        } catch (...) {
        }
    }
    // A run as the window's button does it.
    void Run(const std::string& sql, bool execute) {
        qry.Close();
        qry.SetSQLText("");
        qry.SetSQLText(sql);
        if (execute) {
            qry.ExecSQL();
            IBTransaction.CommitRetaining();
        } else {
            qry.Open();
        }
    }
};

// The message of whatever `body` raises, or nullopt.
template <typename Body> std::optional<std::string> Failure(Body body) {
    try {
        body();
    } catch (const vcl::Exception& e) {
        return e.Message();
    }
    return std::nullopt;
}

std::string TestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("query-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name)
        if (c == '/')
            c = '-';
    return name;
}

class Query : public ::testing::TestWithParam<Via> {
protected:
    void SetUp() override {
        db_ = std::make_unique<ScratchDatabase>(TestName(), GetParam());
        db_->Exec({"create table t (id integer not null primary key, name varchar(20), "
                   "amount numeric(12,2), stamp timestamp, ratio double precision)",
                   "create generator g",
                   "create procedure p (a integer) returns (x integer) as begin x = a + 1; end"});
        db_->Exec({"insert into t values (1, 'one', 2.50, '2024-01-02 03:04:05', 0.5)",
                   "insert into t values (2, null, null, null, null)",
                   "insert into t values (3, 'three', -3, '2024-01-03', 1e10)",
                   "insert into t values (4, 'four', 4, '2024-01-04', 4)",
                   "insert into t values (5, 'five', 5, '2024-01-05', 5)"});
        dm_ = std::make_unique<Dm>(db_->ConnectionString());
    }
    void TearDown() override {
        dm_.reset();
        db_.reset();
    }
    Dm& dm() { return *dm_; }
    ibx::TIBQuery& qry() { return dm_->qry; }

    std::unique_ptr<ScratchDatabase> db_;
    std::unique_ptr<Dm> dm_;
};

INSTANTIATE_TEST_SUITE_P(Engines, Query, ::testing::Values(Via::Server, Via::Embedded),
                         [](const auto& info) {
                             return info.param == Via::Server ? "Server" : "Embedded";
                         });

struct TypeCase {
    const char* sql; // "#" becomes a letter per path, so each path gets its own object
    int type;
    std::optional<std::string> refused; // both paths refuse with this text
    std::size_t columns = 0;            // shown on the open path
};

TEST_P(Query, StatementTypesOnBothPaths) {
    const TypeCase cases[] = {
        {"select id, name from t", 1, std::nullopt, 2},
        {"select id from t with lock", 1, std::nullopt, 1},
        {"insert into t (id) values (1#)", 2, std::nullopt},
        {"update t set name = 'x' where id = 1", 3, std::nullopt},
        {"delete from t where id = 99", 4, std::nullopt},
        {"create table x# (a integer)", 5, std::nullopt},
        {"execute procedure p(1)", 8, std::nullopt},
        {"execute block as declare x integer; begin x = 1; end", 8, std::nullopt},
        // With suspend the server calls it a select.
        {"execute block returns (y integer) as begin y = 1; suspend; end", 1, std::nullopt, 1},
        {"select id, name from t for update", 12, std::nullopt},
        {"set generator g to 5", 13, std::nullopt},
        {"set transaction", 9, "Not permitted"},
    };
    for (const TypeCase& c : cases) {
        for (const bool execute : {false, true}) {
            std::string sql = c.sql;
            if (auto at = sql.find('#'); at != std::string::npos)
                sql.replace(at, 1, execute ? "1" : "0");
            SCOPED_TRACE(sql + (execute ? " (execute)" : " (open)"));
            dm().events.clear();
            const auto failure = Failure([&] { dm().Run(sql, execute); });
            const bool isSelect = c.type == 1;
            if (c.refused) {
                EXPECT_EQ(failure, c.refused);
                EXPECT_EQ(qry().StatementType(), 0);
            } else if (execute && isSelect) {
                EXPECT_EQ(failure, "use Open for a Select Statement");
            } else {
                EXPECT_EQ(failure, std::nullopt);
                EXPECT_EQ(qry().StatementType(), c.type);
            }
            EXPECT_TRUE(dm().IBTransaction.Active());
            // Only a select opens a result; the execute path always leaves the query closed.
            EXPECT_EQ(qry().Active(), !execute && !failure);
            EXPECT_EQ(qry().Rows() != nullptr, !execute && isSelect && !failure);
            EXPECT_EQ(qry().Fields().size(), !execute && !failure ? c.columns : 0u);
            if (!execute && !failure) {
                ASSERT_FALSE(dm().events.empty());
                EXPECT_EQ(dm().events.back(), TDataEvent::StateChanged);
            }
        }
    }
}

TEST_P(Query, OpenPathLeavesWorkPendingAndExecutePathCommits) {
    dm().Run("update t set name = 'changed' where id = 1", false);
    EXPECT_EQ(db_->Scalar("select count(*) from t where name = 'changed'"), 0);
    dm().Run("select name from t where id = 1", false);
    qry().FetchAll();
    ASSERT_EQ(qry().RecordCount(), 1u);
    EXPECT_EQ(qry().Rows()->Cell(0, 0).Bytes, "changed"); // seen by this program at once

    dm().Run("insert into t (id) values (10)", true);
    EXPECT_EQ(db_->Scalar("select count(*) from t where name = 'changed' or id = 10"), 2);
}

TEST_P(Query, EmptyTextOnExecuteNeverConnects) {
    for (const char* name : {"", "127.0.0.1/1:/nowhere.fdb"}) {
        Dm other(name);
        other.qry.SetSQLText("");
        EXPECT_EQ(Failure([&] { other.qry.ExecSQL(); }), "Empty SQL Statement");
        EXPECT_FALSE(other.IBDatabase.Connected());
        // Open connects first, so the connection's failure comes before the text's.
        const auto failure = Failure([&] { other.qry.Open(); });
        ASSERT_TRUE(failure);
        EXPECT_NE(*failure, "Empty SQL Statement");
        EXPECT_FALSE(other.qry.Active());
    }
}

TEST_P(Query, BlankTextFailsAfterConnectOnBothPaths) {
    for (const char* text : {"", "\r\n", "\r\n\r\n", " \t\r\n\x01\n"}) {
        for (const bool execute : {false, true}) {
            if (!*text && execute)
                continue; // the case above
            SCOPED_TRACE(testing::PrintToString(text) + (execute ? " (execute)" : " (open)"));
            Dm fresh(db_->ConnectionString());
            EXPECT_EQ(Failure([&] { fresh.Run(text, execute); }), "Empty SQL Statement");
            EXPECT_TRUE(fresh.IBDatabase.Connected());
            EXPECT_TRUE(fresh.IBTransaction.Active());
            EXPECT_FALSE(fresh.qry.Active());
        }
    }
}

TEST_P(Query, TextIsSplitIntoLinesAndReadBackWithCrLf) {
    qry().SetSQLText("select\rid\nfrom\r\nt");
    EXPECT_EQ(qry().SQLLines(), (std::vector<std::string>{"select", "id", "from", "t"}));
    EXPECT_EQ(qry().SQLText(), "select\r\nid\r\nfrom\r\nt\r\n");
    qry().Open();
    qry().FetchAll();
    EXPECT_EQ(qry().RecordCount(), 5u);
    qry().SetSQLText("select\r\n"); // closes and releases
    EXPECT_FALSE(qry().Active());
    EXPECT_EQ(qry().Rows(), nullptr);
    EXPECT_EQ(qry().SQLLines(), (std::vector<std::string>{"select"}));
}

TEST_P(Query, MarkersAreSentAsNull) {
    dm().Run("select id, name from t where id = :id", false);
    EXPECT_EQ(qry().Params(), (std::vector<std::string>{"id"}));
    EXPECT_EQ(qry().Fields().size(), 2u);
    qry().FetchAll();
    EXPECT_EQ(qry().RecordCount(), 0u);

    dm().Run("insert into t (id, name) values (20, :name)", true);
    const auto rows = db_->Query("select name from t where id = 20");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], std::nullopt);

    const auto failure = Failure([&] { dm().Run("insert into t (id) values (:id)", true); });
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("*** null ***"), std::string::npos) << *failure;
    EXPECT_EQ(db_->Scalar("select count(*) from t"), 6);
}

TEST_P(Query, MarkerRulesReachTheServer) {
    dm().Run("select '10:30' as s from rdb$database", false);
    qry().FetchAll();
    ASSERT_EQ(qry().RecordCount(), 1u);
    EXPECT_EQ(qry().Rows()->Cell(0, 0).Bytes, "10:30");

    // In a line comment the colon is a marker; the server gets "?" inside its comment.
    dm().Run("select 1 as a from rdb$database -- at 10:30", false);
    EXPECT_EQ(qry().Params(), (std::vector<std::string>{"30"}));
    qry().FetchAll();
    EXPECT_EQ(qry().RecordCount(), 1u);

    const std::string nameExpected = "SQL Parse Error:\r\n\r\nParameter name expected";
    for (const char* sql : {"select * from t where id = ?", "select id::varchar(5) from t"}) {
        for (const bool execute : {false, true}) {
            SCOPED_TRACE(sql);
            EXPECT_NO_THROW(qry().SetSQLText(sql));
            EXPECT_EQ(Failure([&] { dm().Run(sql, execute); }), nameExpected);
            EXPECT_FALSE(qry().Active());
        }
    }
    EXPECT_EQ(Failure([&] { dm().Run("select 'open from t", false); }),
              "SQL Parse Error:\r\n\r\nEOF in string detected");
    EXPECT_EQ(Failure([&] { dm().Run("select 1 /* open", true); }),
              "SQL Parse Error:\r\n\r\nEOF in comment detected");
}

TEST_P(Query, DuplicateColumnNamesAreRefusedBeforeExecution) {
    const char* cases[][2] = {
        {"select a.id, b.id from t a join t b on a.id = b.id", "ID"},
        {"select 1 as \"x\", 2 as X from rdb$database", "X"},
    };
    for (const auto& c : cases) {
        for (const bool execute : {false, true}) {
            SCOPED_TRACE(c[0]);
            EXPECT_EQ(Failure([&] { dm().Run(c[0], execute); }),
                      std::string("A component named ") + c[1] + " already exists");
            EXPECT_FALSE(qry().Active());
            EXPECT_EQ(qry().Fields().size(), 0u);
        }
    }
}

TEST_P(Query, OpenFetchesNothingAndRowsComeOneCallEach) {
    qry().BufferChunks = 2; // rows cross cache chunks
    qry().SetSQLText("select id, name, amount, stamp, ratio from t order by id");
    const auto calls0 = qry().FetchCalls();
    dm().events.clear();
    qry().Open();
    EXPECT_EQ(qry().FetchCalls(), calls0);
    EXPECT_EQ(qry().RecordCount(), 0u);
    EXPECT_FALSE(qry().Eof());
    EXPECT_EQ(dm().events, std::vector<TDataEvent>{TDataEvent::StateChanged});
    ASSERT_EQ(qry().Fields().size(), 5u);
    EXPECT_EQ(qry().Fields()[1].Kind, ibx::TFieldKind::Text);
    EXPECT_EQ(qry().Fields()[2].Kind, ibx::TFieldKind::FixedPoint);
    EXPECT_EQ(qry().Fields()[3].Kind, ibx::TFieldKind::DateTime);

    EXPECT_EQ(qry().FetchTo(3), 3u);
    EXPECT_EQ(qry().FetchCalls(), calls0 + 3);
    EXPECT_EQ(qry().FetchTo(2), 3u); // already there: no call
    EXPECT_EQ(qry().FetchCalls(), calls0 + 3);
    qry().FetchAll();
    EXPECT_EQ(qry().RecordCount(), 5u);
    EXPECT_EQ(qry().FetchCalls(), calls0 + 6); // two rows and the end
    EXPECT_TRUE(qry().Eof());
    qry().FetchAll();
    EXPECT_EQ(qry().FetchCalls(), calls0 + 6);
    // One notice per call that fetched, not one per row.
    EXPECT_EQ(dm().events,
              (std::vector<TDataEvent>{TDataEvent::StateChanged, TDataEvent::RowsAppended,
                                       TDataEvent::RowsAppended}));

    const ibx::RowCache& rows = *qry().Rows();
    auto as64 = [](const ibx::CellView& c) {
        ISC_INT64 v = 0;
        std::memcpy(&v, c.Bytes.data(), sizeof v);
        return v;
    };
    EXPECT_EQ(rows.Cell(0, 1).Bytes, "one");
    EXPECT_EQ(as64(rows.Cell(0, 2)), 250);
    EXPECT_EQ(as64(rows.Cell(2, 2)), -300);
    for (std::size_t f = 1; f < 5; ++f)
        EXPECT_TRUE(rows.Cell(1, f).IsNull);
    EXPECT_EQ(rows.Cell(4, 1).Bytes, "five");

    // The same text again is prepared again and its rows fetched anew.
    dm().Run("select id, name, amount, stamp, ratio from t order by id", false);
    EXPECT_EQ(qry().RecordCount(), 0u);
    qry().FetchAll();
    EXPECT_EQ(qry().RecordCount(), 5u);
    EXPECT_EQ(qry().FetchCalls(), calls0 + 12);

    dm().events.clear();
    qry().Close();
    EXPECT_EQ(dm().events, std::vector<TDataEvent>{TDataEvent::StateChanged});
    EXPECT_EQ(qry().Rows(), nullptr);
    qry().Close(); // nothing when closed
    EXPECT_EQ(dm().events.size(), 1u);
}

TEST_P(Query, TypedCommitEndsTheTransactionAndTheNextRunStartsAnother) {
    dm().Run("insert into t (id) values (30)", false); // pending
    EXPECT_EQ(Failure([&] { dm().Run("commit", true); }), "Transaction is not active");
    EXPECT_FALSE(dm().IBTransaction.Active());
    EXPECT_EQ(db_->Scalar("select count(*) from t where id = 30"), 1);

    dm().Run("insert into t (id) values (31)", true);
    EXPECT_TRUE(dm().IBTransaction.Active());
    EXPECT_EQ(db_->Scalar("select count(*) from t where id = 31"), 1);

    dm().Run("insert into t (id) values (32)", false);
    dm().Run("rollback", false);
    EXPECT_EQ(qry().StatementType(), 11);
    EXPECT_FALSE(dm().IBTransaction.Active());
    dm().Run("select id from t where id = 32", false);
    qry().FetchAll();
    EXPECT_EQ(qry().RecordCount(), 0u);
}

TEST_P(Query, LockConflictFailsAtOnceWithTheServersText) {
    Dm other(db_->ConnectionString());
    other.Run("update t set name = 'mine' where id = 1", false); // holds the row, uncommitted
    const auto start = std::chrono::steady_clock::now();
    const auto failure =
        Failure([&] { dm().Run("update t set name = 'yours' where id = 1", true); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("update conflicts with concurrent update"), std::string::npos)
        << *failure;
    EXPECT_FALSE(qry().Active());
    EXPECT_TRUE(dm().IBTransaction.Active());
}

TEST_P(Query, ServerRejectionLeavesTheQueryClosedAndNextRunClean) {
    dm().Run("select id from t", false);
    dm().events.clear();
    const auto failure = Failure([&] { dm().Run("select nothing from nowhere", false); });
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("NOWHERE"), std::string::npos) << *failure;
    EXPECT_FALSE(qry().Active());
    EXPECT_EQ(dm().events.back(), TDataEvent::StateChanged);
    dm().Run("select id from t", false);
    EXPECT_EQ(qry().FetchTo(1), 1u);

    // Cut at the NUL, this would delete every row.
    const std::string cut("delete from t\0 where id = 1", 27);
    EXPECT_EQ(Failure([&] { dm().Run(cut, true); }), "The statement text contains a NUL character");
    EXPECT_EQ(db_->Scalar("select count(*) from t"), 5);
}

TEST_P(Query, OutOfMemoryWhileFetchingKeepsTheRowsAndStops) {
    qry().BufferChunks = 2;
    dm().Run("select id, name from t order by id", false);
    EXPECT_EQ(qry().FetchTo(2), 2u);
    const auto calls = qry().FetchCalls();
    dm().events.clear();
    ibx::SetRowCacheAllocationProbe([](std::size_t) { throw std::bad_alloc(); });
    const auto failure = Failure([&] { qry().FetchTo(5); }); // the third row needs a new chunk
    ibx::SetRowCacheAllocationProbe(nullptr);
    EXPECT_EQ(failure, "Out of memory: the result's rows fetched so far stay shown");
    EXPECT_EQ(qry().RecordCount(), 2u);
    EXPECT_TRUE(qry().Eof());
    EXPECT_EQ(qry().FetchCalls(), calls + 1);
    EXPECT_EQ(dm().events, std::vector<TDataEvent>{TDataEvent::RowsAppended});
    qry().FetchAll(); // at its end: nothing more is asked
    EXPECT_EQ(qry().FetchCalls(), calls + 1);
    EXPECT_EQ(qry().Rows()->Cell(1, 1).IsNull, true);
    dm().Run("select id from t", false); // the cursor closes cleanly
    EXPECT_EQ(qry().FetchTo(10), 5u);
}

// A server of the test's own, so it can be killed under an open result.
class BrokenConnection : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = std::make_unique<testdb::PrivateServer>("qbreak");
        name_ = server_->Address() + ":" + server_->DataDir() + "/b.fdb";
        const std::string create =
            "create database '" + name_ + "' user 'SYSDBA' password 'quibolant'";
        ISC_STATUS_ARRAY status{};
        isc_db_handle db = 0;
        isc_tr_handle tr = 0;
        ASSERT_EQ(isc_dsql_execute_immediate(status, &db, &tr, 0, create.c_str(), 3, nullptr), 0);
        isc_detach_database(status, &db);
    }
    std::unique_ptr<testdb::PrivateServer> server_;
    std::string name_;
};

TEST_F(BrokenConnection, EveryLaterCallRaisesTheLibrarysText) {
    Dm dm(name_);
    dm.Run("create table big (id integer, pad varchar(100))", true);
    dm.Run("insert into big select row_number() over (), lpad('', 100, 'x') "
           "from rdb$fields a, rdb$fields b rows 5000",
           true);
    dm.Run("select id, pad from big", false);
    ASSERT_EQ(dm.qry.FetchTo(10), 10u);
    server_->Stop();

    const auto fetchFailure = Failure([&] { dm.qry.FetchAll(); });
    ASSERT_TRUE(fetchFailure);
    EXPECT_NE(fetchFailure->find("Error reading data from the connection"), std::string::npos)
        << *fetchFailure;
    EXPECT_GE(dm.qry.RecordCount(), 10u);
    EXPECT_TRUE(dm.qry.Eof());
    const auto calls = dm.qry.FetchCalls();
    dm.qry.FetchAll();
    EXPECT_EQ(dm.qry.FetchCalls(), calls);

    for (int run = 0; run < 3; ++run) {
        for (const bool execute : {false, true}) {
            SCOPED_TRACE(run);
            const auto failure = Failure([&] { dm.Run("select id from big", execute); });
            ASSERT_TRUE(failure);
            EXPECT_NE(failure->find("connection"), std::string::npos) << *failure;
            EXPECT_FALSE(dm.qry.Active());
        }
    }
}

} // namespace
