#pragma once
// The data module: the program's one connection, transaction, query and data source.

#include "core/Component.h"
#include "db/DataSource.h"
#include "db/IBDatabase.h"
#include "db/IBQuery.h"
#include "db/IBTransaction.h"

class Tdm : public vcl::TDataModule {
public:
    explicit Tdm(vcl::TComponent* owner);
    /// The query goes first; releasing it is the one step that can fail when the server is gone.
    void BeforeDestruction() override { qry.Release(); }

    // Declared in creation order, so they are released in reverse: DataSource1 first.
    ibx::TIBDatabase IBDatabase;
    ibx::TIBTransaction IBTransaction;
    ibx::TIBQuery qry;
    ibx::TDataSource DataSource1;
};

extern Tdm* dm;
