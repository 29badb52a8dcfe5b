#include "u_dm.h"

Tdm* dm = nullptr;

Tdm::Tdm(vcl::TComponent* /*owner*/) {
    IBDatabase.SetParams({"user_name=SYSDBA", "password=quibolant"});
    IBDatabase.LoginPrompt = false;
    IBDatabase.SetDefaultTransaction(&IBTransaction);
    IBDatabase.IdleTimer = 0;
    IBDatabase.SetSQLDialect(3);

    IBTransaction.SetParams({"read_committed", "rec_version", "nowait"});
    IBTransaction.AutoStopAction = ibx::TAutoStopAction::saNone;

    qry.Database = &IBDatabase;
    qry.Transaction = &IBTransaction;
    qry.BufferChunks = 1000;
    qry.CachedUpdates = false;

    DataSource1.SetDataSet(&qry);
    qry.SetDataSource(&DataSource1);
}
