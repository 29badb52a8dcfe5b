#pragma once
// The data module's four components as the grid tests need them, on a given connection string.
#include "db/DataSource.h"
#include "db/IBDatabase.h"
#include "db/IBQuery.h"
#include "db/IBTransaction.h"

#include <string>

struct GridSession {
    ibx::TIBDatabase db;
    ibx::TIBTransaction tr;
    ibx::TIBQuery qry;
    ibx::TDataSource source;

    explicit GridSession(const std::string& connection) {
        db.SetParams({"user_name=SYSDBA", "password=quibolant"});
        db.SetDefaultTransaction(&tr);
        db.SetDatabaseName(connection);
        tr.SetParams({"read_committed", "rec_version", "nowait"});
        qry.Database = &db;
        qry.Transaction = &tr;
        source.SetDataSet(&qry);
        db.SetConnected(true);
        tr.SetActive(true);
    }

    /// A run on the open path: close, empty the text, set the text, open.
    void Run(const std::string& sql) {
        qry.Close();
        qry.SetSQLText("");
        qry.SetSQLText(sql);
        qry.Open();
    }
};
