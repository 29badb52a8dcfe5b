#pragma once
// Statements run through the layer's own handles with bare client calls, so connection and
// transaction tests need not wait for the query component.

#include "db/ClientLibrary.h"
#include "db/IBErrors.h"

#include <ibase.h>

#include <optional>
#include <string>
#include <vector>

namespace rawsql {

/// One statement handle, freed on destruction.
class Statement {
public:
    Statement(isc_db_handle* db, isc_tr_handle* tr, const std::string& sql, int dialect)
        : tr_(tr), out_(XSQLDA_LENGTH(1)) {
        ISC_STATUS_ARRAY status{};
        ibx::Check(ibx::Api().isc_dsql_alloc_statement2(status, db, &handle_), status);
        auto* da = Out();
        da->version = SQLDA_VERSION1;
        da->sqln = 1;
        ibx::Check(ibx::Api().isc_dsql_prepare(status, tr, &handle_, 0, sql.c_str(),
                                               static_cast<unsigned short>(dialect), da),
                   status);
        if (da->sqld >= 1) {
            // One text column is all these tests read; the server converts.
            XSQLVAR& v = da->sqlvar[0];
            v.sqltype = SQL_VARYING + 1;
            v.sqllen = 200;
            v.sqlscale = 0;
            v.sqldata = data_;
            v.sqlind = &null_;
        }
    }
    ~Statement() {
        ISC_STATUS_ARRAY status{};
        if (handle_)
            ibx::Api().isc_dsql_free_statement(status, &handle_, DSQL_drop);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    /// The type and length the server described for the first result column.
    const XSQLVAR* Column() const { return Out()->sqld >= 1 ? &Out()->sqlvar[0] : nullptr; }
    /// Runs the statement; for a select this opens the cursor.
    void Execute() {
        ISC_STATUS_ARRAY status{};
        ibx::Check(ibx::Api().isc_dsql_execute(status, tr_, &handle_, SQLDA_VERSION1, nullptr),
                   status);
    }
    /// The next row's first column as text; nullopt at the end of the result.
    std::optional<std::string> Fetch() {
        ISC_STATUS_ARRAY status{};
        const ISC_STATUS rc = ibx::Api().isc_dsql_fetch(status, &handle_, SQLDA_VERSION1, Out());
        if (rc == 100)
            return std::nullopt;
        ibx::Check(rc, status);
        const auto length = *reinterpret_cast<const unsigned short*>(data_);
        return null_ < 0 ? std::string("<null>") : std::string(data_ + 2, length);
    }

private:
    XSQLDA* Out() { return reinterpret_cast<XSQLDA*>(out_.data()); }
    const XSQLDA* Out() const { return reinterpret_cast<const XSQLDA*>(out_.data()); }

    isc_tr_handle* tr_;
    isc_stmt_handle handle_ = 0;
    std::vector<char> out_;
    alignas(short) char data_[202] = {};
    short null_ = 0;
};

/// Prepares and executes a statement that returns no rows.
inline void Exec(isc_db_handle* db, isc_tr_handle* tr, const std::string& sql, int dialect = 3) {
    Statement(db, tr, sql, dialect).Execute();
}

} // namespace rawsql
