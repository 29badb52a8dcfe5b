// The data module's fixed settings, and its end of life through the real module: pending work
// committed, the connection detached.

#include "RawSql.h"

#include "TestDb.h"
#include "u_dm.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using ibx::TAutoStopAction;
using ibx::TTransactionAction;

TEST(DataModule, HoldsTheFixedSettings) {
    Tdm module(nullptr);

    const ibx::TIBDatabase& db = module.IBDatabase;
    EXPECT_EQ(db.Params(), (std::vector<std::string>{"user_name=SYSDBA", "password=quibolant"}));
    EXPECT_FALSE(db.LoginPrompt);
    EXPECT_EQ(db.DefaultTransaction(), &module.IBTransaction);
    EXPECT_EQ(db.IdleTimer, 0);
    EXPECT_EQ(db.SQLDialect(), 3);
    EXPECT_EQ(db.DatabaseName(), "");
    EXPECT_FALSE(db.Connected());

    const ibx::TIBTransaction& tr = module.IBTransaction;
    EXPECT_EQ(tr.Params(), (std::vector<std::string>{"read_committed", "rec_version", "nowait"}));
    EXPECT_EQ(tr.AutoStopAction, TAutoStopAction::saNone);
    EXPECT_EQ(tr.DefaultAction, TTransactionAction::TACommit);
    EXPECT_EQ(tr.IdleTimer, 0);
    EXPECT_EQ(tr.DefaultDatabase(), &module.IBDatabase);
    EXPECT_FALSE(tr.Active());

    const ibx::TIBQuery& qry = module.qry;
    EXPECT_EQ(qry.Database, &module.IBDatabase);
    EXPECT_EQ(qry.Transaction, &module.IBTransaction);
    EXPECT_EQ(qry.BufferChunks, 1000);
    EXPECT_FALSE(qry.CachedUpdates);
    EXPECT_TRUE(qry.ParamCheck);
    EXPECT_FALSE(qry.UniDirectional);
    EXPECT_TRUE(qry.SQLLines().empty());

    EXPECT_EQ(module.DataSource1.DataSet(), &module.qry);
}

TEST(DataModule, DestructionCommitsPendingWorkAndDetaches) {
    testdb::ScratchDatabase scratch("db-DataModule-end", testdb::Via::Server);
    scratch.Exec("create table t (id int)");

    auto module = std::make_unique<Tdm>(nullptr);
    module->IBDatabase.SetDatabaseName(scratch.ConnectionString());
    module->IBDatabase.SetConnected(true);
    module->IBTransaction.SetActive(true);
    rawsql::Exec(module->IBDatabase.Handle(), module->IBTransaction.Handle(),
                 "insert into t values (1)");
    EXPECT_EQ(scratch.Scalar("select count(*) from t"), 0);

    // As the owner frees it.
    module->BeforeDestruction();
    module.reset();
    EXPECT_EQ(scratch.Scalar("select count(*) from t"), 1);
    EXPECT_EQ(scratch.Scalar("select count(*) from mon$attachments where mon$system_flag = 0 "
                             "and mon$attachment_id <> current_connection"),
              0);
}

} // namespace
