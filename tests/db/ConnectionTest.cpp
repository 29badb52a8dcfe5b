// The connection and the transaction against a real server and the embedded engine: attaching,
// the parameter buffers, dialect downgrade, guards, commit with retaining and end of life.

#include "RawSql.h"

#include "TestDb.h"
#include "db/IBDatabase.h"
#include "db/IBErrors.h"
#include "db/IBTransaction.h"

#include <gtest/gtest.h>

#include <memory>
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
using ibx::TIBDatabase;
using ibx::TIBTransaction;
using ibx::TTransactionAction;
using testdb::ScratchDatabase;
using testdb::Via;

const std::vector<std::string> kDbParams = {"user_name=SYSDBA", "password=quibolant"};
const std::vector<std::string> kTrParams = {"read_committed", "rec_version", "nowait"};

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

const std::string kFixedDpb = Bytes({isc_dpb_version1, isc_dpb_user_name, 6}) + "SYSDBA" +
                              Bytes({isc_dpb_password, 9}) + "quibolant";

std::string ViaName(Via via) {
    return via == Via::Server ? "Server" : "Embedded";
}

// Unique per test and per engine, for the scratch file's name.
std::string TestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("db-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name)
        if (c == '/')
            c = '-';
    return name;
}

// Expects `body` to raise exactly the layer's own error with `text`.
template <typename Body> void ExpectClientError(Body body, const std::string& text) {
    try {
        body();
        ADD_FAILURE() << "nothing raised; expected \"" << text << "\"";
    } catch (const EIBClientError& e) {
        EXPECT_EQ(e.Message(), text);
    }
}

// The program's pair: one connection with its default transaction, set up as the data module
// sets them.
struct Pair {
    TIBDatabase db;
    TIBTransaction tr;
    explicit Pair(const std::string& name) {
        db.SetParams(kDbParams);
        db.SetDefaultTransaction(&tr);
        tr.SetParams(kTrParams);
        db.SetDatabaseName(name);
    }
    void Exec(const std::string& sql) { rawsql::Exec(db.Handle(), tr.Handle(), sql); }
};

class Connection : public ::testing::TestWithParam<Via> {
protected:
    void SetUp() override {
        scratch_ = std::make_unique<ScratchDatabase>(TestName(), GetParam());
        pair_ = std::make_unique<Pair>(scratch_->ConnectionString());
    }
    void TearDown() override {
        ibx::SetEndOfLifeReport(nullptr);
        pair_.reset();
        scratch_.reset();
    }
    // User attachments to the scratch database other than the checking one.
    long long OtherAttachments() const {
        return scratch_->Scalar("select count(*) from mon$attachments where mon$system_flag = 0 "
                                "and mon$attachment_id <> current_connection");
    }

    std::unique_ptr<ScratchDatabase> scratch_;
    std::unique_ptr<Pair> pair_;
};

INSTANTIATE_TEST_SUITE_P(Engines, Connection, ::testing::Values(Via::Server, Via::Embedded),
                         [](const auto& info) { return ViaName(info.param); });

TEST_P(Connection, AttachesOnceWithTheFixedCredentials) {
    TIBDatabase& db = pair_->db;
    db.SetConnected(true);
    ASSERT_TRUE(db.Connected());
    const isc_db_handle handle = *db.Handle();
    EXPECT_EQ(db.DPB(), kFixedDpb);
    EXPECT_EQ(db.SQLDialect(), 3);
    EXPECT_EQ(db.DBSQLDialect(), 3);

    db.SetConnected(true);
    db.Open();
    EXPECT_EQ(*db.Handle(), handle);
    EXPECT_EQ(OtherAttachments(), 1);

    db.SetConnected(false);
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(OtherAttachments(), 0);
}

TEST_P(Connection, MissingDatabaseFailsWithTheLibrarysTextAndStaysClosed) {
    TIBDatabase& db = pair_->db;
    const std::string name = scratch_->ConnectionString() + ".missing";
    db.SetDatabaseName(name);
    try {
        db.SetConnected(true);
        FAIL() << "attached to a missing file";
    } catch (const EIBInterBaseError& e) {
        EXPECT_EQ(e.SQLCode(), -902);
        EXPECT_EQ(e.IBErrorCode(), 335544344);
        EXPECT_EQ(e.Message().rfind("I/O error during \"open\" operation for file \"", 0), 0u)
            << e.Message();
        EXPECT_NE(e.Message().find("\"\r\nError while trying to open file"), std::string::npos)
            << e.Message();
        EXPECT_NE(e.Message().back(), '.');
    }
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(db.DatabaseName(), name);
}

TEST_P(Connection, RenamingWhileConnectedIsRefusedUnlessTheNameIsTheSame) {
    TIBDatabase& db = pair_->db;
    const std::string name = db.DatabaseName();
    db.Open();
    const isc_db_handle handle = *db.Handle();
    EXPECT_NO_THROW(db.SetDatabaseName(name));
    ExpectClientError([&] { db.SetDatabaseName(name + "x"); },
                      "Cannot perform operation -- DB is currently open");
    EXPECT_EQ(db.DatabaseName(), name);
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(*db.Handle(), handle);

    db.Close();
    db.SetDatabaseName(name + "x");
    EXPECT_EQ(db.DatabaseName(), name + "x");
}

TEST_P(Connection, TransactionGuardsNeitherConnectNorStart) {
    TIBTransaction& tr = pair_->tr;
    ExpectClientError([&] { tr.SetActive(true); }, "Cannot perform operation -- DB is not open");
    EXPECT_FALSE(tr.Active());
    EXPECT_FALSE(pair_->db.Connected());
    ExpectClientError([&] { tr.CommitRetaining(); }, "Transaction is not active");
    EXPECT_EQ(OtherAttachments(), 0);
}

TEST_P(Connection, StartsOnceWithTheParameterBuffer) {
    Pair& p = *pair_;
    p.db.Open();
    p.tr.SetActive(true);
    ASSERT_TRUE(p.tr.Active());
    const isc_tr_handle handle = *p.tr.Handle();
    EXPECT_EQ(p.tr.TPB(), Bytes({isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version,
                                 isc_tpb_nowait}));
    p.tr.SetActive(true);
    EXPECT_EQ(*p.tr.Handle(), handle);
}

TEST_P(Connection, DialectOneDatabaseLowersTheClientDialect) {
    ScratchDatabase old(TestName() + "-d1", GetParam(), 1);
    Pair p(old.ConnectionString());
    p.db.Open();
    EXPECT_EQ(p.db.DBSQLDialect(), 1);
    EXPECT_EQ(p.db.SQLDialect(), 1);
    p.tr.SetActive(true);

    // In dialect 1 double quotes make a string; in dialect 3 they name a column.
    rawsql::Statement select(p.db.Handle(), p.tr.Handle(), "select \"abc\" from rdb$database",
                             p.db.SQLDialect());
    select.Execute();
    EXPECT_EQ(select.Fetch(), "abc");
    EXPECT_THROW(
        rawsql::Statement(p.db.Handle(), p.tr.Handle(), "select \"abc\" from rdb$database", 3),
        EIBInterBaseError);
}

TEST_P(Connection, CommitRetainingPublishesWorkAndKeepsHandleAndCursor) {
    scratch_->Exec({"create table t (id int)", "insert into t values (1)",
                    "insert into t values (2)", "insert into t values (3)"});
    Pair& p = *pair_;
    p.db.Open();
    p.tr.SetActive(true);
    const isc_tr_handle handle = *p.tr.Handle();

    rawsql::Statement cursor(p.db.Handle(), p.tr.Handle(), "select id from t order by id", 3);
    cursor.Execute();
    EXPECT_EQ(cursor.Fetch(), "1");
    p.Exec("insert into t values (4)");
    EXPECT_EQ(scratch_->Scalar("select count(*) from t"), 3);

    p.tr.CommitRetaining();
    EXPECT_TRUE(p.tr.Active());
    EXPECT_EQ(*p.tr.Handle(), handle);
    EXPECT_EQ(scratch_->Scalar("select count(*) from t"), 4);
    EXPECT_EQ(cursor.Fetch(), "2");
    EXPECT_EQ(cursor.Fetch(), "3");
}

TEST_P(Connection, TypedCommitEndsTheTransactionAndANewOneCanStart) {
    Pair& p = *pair_;
    p.db.Open();
    p.tr.SetActive(true);
    p.Exec("commit");
    EXPECT_FALSE(p.tr.Active());
    ExpectClientError([&] { p.tr.CommitRetaining(); }, "Transaction is not active");
    p.tr.SetActive(true);
    EXPECT_TRUE(p.tr.Active());
}

struct EndCase {
    const char* what;
    TTransactionAction action;
    bool closeDatabaseFirst;
    bool committed;
};

TEST_P(Connection, EndOfLifeEndsPendingWorkByTheDefaultAction) {
    const EndCase cases[] = {
        {"commit, transaction destroyed first", TTransactionAction::TACommit, false, true},
        {"commit, connection closed first", TTransactionAction::TACommit, true, true},
        {"commit retaining commits", TTransactionAction::TACommitRetaining, false, true},
        {"rollback", TTransactionAction::TARollback, false, false},
        {"rollback retaining rolls back", TTransactionAction::TARollbackRetaining, true, false},
    };
    scratch_->Exec("create table t (id int)");
    int reports = 0;
    ibx::SetEndOfLifeReport([&](const std::string&) { ++reports; });
    int id = 0;
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.what);
        ++id;
        {
            auto db = std::make_unique<TIBDatabase>();
            auto tr = std::make_unique<TIBTransaction>();
            db->SetParams(kDbParams);
            db->SetDefaultTransaction(tr.get());
            tr->SetParams(kTrParams);
            tr->DefaultAction = c.action;
            db->SetDatabaseName(scratch_->ConnectionString());
            db->Open();
            tr->StartTransaction();
            rawsql::Exec(db->Handle(), tr->Handle(),
                         "insert into t values (" + std::to_string(id) + ")");
            if (c.closeDatabaseFirst) {
                db->Close();
                EXPECT_FALSE(tr->Active());
                db.reset();
                EXPECT_EQ(tr->DefaultDatabase(), nullptr);
            }
        }
        EXPECT_EQ(scratch_->Scalar("select count(*) from t where id = " + std::to_string(id)),
                  c.committed ? 1 : 0);
        EXPECT_EQ(OtherAttachments(), 0);
    }
    EXPECT_EQ(reports, 0);
}

TEST_P(Connection, RefusedFinalCommitRollsBackAndHandsItsTextOver) {
    scratch_->Exec({"create table t (id int)", "create table marker (id int)",
                    "create exception e_refuse 'commit refused by the test'",
                    "create trigger t_refuse on transaction commit as begin "
                    "if (exists(select 1 from marker)) then exception e_refuse; end"});
    std::vector<std::string> reports;
    ibx::SetEndOfLifeReport([&](const std::string& text) { reports.push_back(text); });

    for (const bool closeDatabaseFirst : {false, true}) {
        SCOPED_TRACE(closeDatabaseFirst ? "connection closed first" : "transaction destroyed");
        reports.clear();
        std::string refusal;
        {
            Pair p(scratch_->ConnectionString());
            p.db.Open();
            p.tr.SetActive(true);
            p.Exec("insert into t values (1)");
            p.Exec("insert into marker values (1)");
            try {
                p.tr.CommitRetaining();
                ADD_FAILURE() << "the trigger did not refuse the commit";
            } catch (const EIBInterBaseError& e) {
                refusal = e.Message();
            }
            EXPECT_TRUE(p.tr.Active());
            if (closeDatabaseFirst) {
                EXPECT_NO_THROW(p.db.Close());
            }
        }
        EXPECT_NE(refusal.find("commit refused by the test"), std::string::npos) << refusal;
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0], refusal);
        EXPECT_EQ(scratch_->Scalar("select count(*) from t"), 0);
        EXPECT_EQ(scratch_->Scalar("select count(*) from marker"), 0);
        EXPECT_EQ(OtherAttachments(), 0);
    }
}

// Without a server: the checks that precede any client call.
TEST(ConnectionWithoutServer, EmptyNameFailsBeforeAnyClientCall) {
    TIBDatabase db;
    db.SetParams(kDbParams);
    ExpectClientError([&] { db.SetConnected(true); }, "Database name is missing");
    EXPECT_FALSE(db.Connected());
    // The parameter buffer is built just before the attach call; it was never reached.
    EXPECT_TRUE(db.DPB().empty());
}

TEST(ConnectionWithoutServer, NameOfBlanksReachesTheLibraryAndFailsThere) {
    TIBDatabase db;
    db.SetParams(kDbParams);
    db.SetDatabaseName("   ");
    try {
        db.SetConnected(true);
        FAIL() << "attached to a name of blanks";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(e.SQLCode(), 0);
        EXPECT_NE(e.IBErrorCode(), 0);
        EXPECT_FALSE(e.Message().empty());
    }
    EXPECT_EQ(db.DPB(), kFixedDpb);
    EXPECT_FALSE(db.Connected());
}

TEST(ConnectionWithoutServer, ParameterBuffersFollowTheParamsLines) {
    struct DpbCase {
        std::vector<std::string> params;
        std::string dpb; // empty: refused with `error`
        std::string error;
    };
    const DpbCase dpbCases[] = {
        {kDbParams, kFixedDpb, ""},
        {{"USER_NAME=SYSDBA", "isc_dpb_Password=quibolant"}, kFixedDpb, ""},
        {{"password=a=b", "", "user_name="},
         Bytes({isc_dpb_version1, isc_dpb_password, 3}) + "a=b" + Bytes({isc_dpb_user_name, 0}),
         ""},
        {{"lc_ctype=WIN1254"}, Bytes({isc_dpb_version1, isc_dpb_lc_ctype, 7}) + "WIN1254", ""},
        {{"user_name=SYSDBA", "bogus=1"}, "", "Unknown database parameter \"bogus\""},
        {{"password=" + std::string(256, 'x')},
         "",
         "Value of database parameter \"password\" is longer than 255 bytes"},
    };
    // One connection for all cases: a change of Params must rebuild the buffer.
    TIBDatabase db;
    db.SetDatabaseName(testdb::Dir() + "/no-such-database.fdb");
    for (const DpbCase& c : dpbCases) {
        SCOPED_TRACE(c.params.empty() ? "" : c.params.front());
        db.SetParams(c.params);
        if (c.dpb.empty()) {
            ExpectClientError([&] { db.SetConnected(true); }, c.error);
        } else {
            EXPECT_THROW(db.SetConnected(true), EIBInterBaseError);
            EXPECT_EQ(db.DPB(), c.dpb);
        }
        EXPECT_FALSE(db.Connected());
    }
}

TEST(ConnectionOnServer, RefusedCredentialsFailWithTheServersText) {
    ScratchDatabase scratch(TestName(), Via::Server);
    TIBDatabase db;
    db.SetParams({"user_name=SYSDBA", "password=wrong"});
    db.SetDatabaseName(scratch.ConnectionString());
    try {
        db.SetConnected(true);
        FAIL() << "attached with a wrong password";
    } catch (const ibx::EIBInterBaseRoleError&) {
        FAIL() << "a refused login is not a permission error";
    } catch (const EIBInterBaseError& e) {
        EXPECT_EQ(e.SQLCode(), -902);
        EXPECT_EQ(e.IBErrorCode(), 335544472);
        EXPECT_EQ(e.Message(), "Your user name and password are not defined. Ask your database "
                               "administrator to set up a Firebird login");
    }
    EXPECT_FALSE(db.Connected());
}

TEST(ConnectionOnServer, TransactionParametersAreCheckedAndBlankLinesSkipped) {
    ScratchDatabase scratch(TestName(), Via::Server);
    Pair p(scratch.ConnectionString());
    p.db.Open();
    struct TpbCase {
        std::vector<std::string> params;
        std::string tpb; // empty: refused with `error`
        std::string error;
    };
    const TpbCase cases[] = {
        {{"", "ISC_TPB_READ_COMMITTED", "  ", "Rec_Version", " nowait "},
         Bytes({isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait}),
         ""},
        {{"concurrency", "read", "wait"},
         Bytes({isc_tpb_version3, isc_tpb_concurrency, isc_tpb_read, isc_tpb_wait}),
         ""},
        {{"read_committed", "sometimes"}, "", "Unknown transaction parameter \"sometimes\""},
    };
    for (const TpbCase& c : cases) {
        SCOPED_TRACE(c.params.back());
        p.tr.SetParams(c.params);
        if (c.tpb.empty()) {
            ExpectClientError([&] { p.tr.SetActive(true); }, c.error);
            EXPECT_FALSE(p.tr.Active());
            continue;
        }
        p.tr.SetActive(true);
        EXPECT_TRUE(p.tr.Active());
        EXPECT_EQ(p.tr.TPB(), c.tpb);
        p.tr.SetActive(false);
        EXPECT_FALSE(p.tr.Active());
    }
}

// A user without rights on a table: the server's -551 arrives as the role error.
TEST(ConnectionOnServer, NoPermissionIsRaisedAsRoleError) {
    ScratchDatabase scratch(TestName(), Via::Server);
    const std::string user = "TVX_NOPRIV_" + std::to_string(::getpid());
    scratch.Exec({"create table t (id int)", "create user " + user + " password 'np1'"});
    struct DropUser {
        const ScratchDatabase& scratch;
        std::string user;
        ~DropUser() {
            try {
                scratch.Exec("drop user " + user);
            } catch (...) {
            }
        }
    } dropUser{scratch, user};

    TIBDatabase db;
    TIBTransaction tr;
    db.SetParams({"user_name=" + user, "password=np1"});
    db.SetDefaultTransaction(&tr);
    tr.SetParams(kTrParams);
    db.SetDatabaseName(scratch.ConnectionString());
    db.Open();
    tr.SetActive(true);
    try {
        rawsql::Statement select(db.Handle(), tr.Handle(), "select id from t", db.SQLDialect());
        select.Execute();
        FAIL() << "read a table without the right to";
    } catch (const ibx::EIBInterBaseRoleError& e) {
        EXPECT_EQ(e.SQLCode(), -551);
        EXPECT_EQ(e.IBErrorCode(), isc_no_priv);
        EXPECT_EQ(e.Message().rfind("no permission for SELECT access to TABLE T", 0), 0u)
            << e.Message();
    }
}

} // namespace
