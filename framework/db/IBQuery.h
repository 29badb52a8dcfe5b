#pragma once
// The query that holds and runs the user's statement: its text, its parameters, opening a select
// and fetching its rows into the cache, executing anything else.

#include "DataSource.h"
#include "Fields.h"
#include "RowCache.h"

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ibx {

class TIBDatabase;
class TIBTransaction;
class TIBQuery {
public:
    TIBQuery();
    TIBQuery(const TIBQuery&) = delete;
    TIBQuery& operator=(const TIBQuery&) = delete;
    /// Releases like Release(), ignoring failures.
    ~TIBQuery();

    /// Closes the result and releases the prepared statement; raises when the server cannot be
    /// reached. The owner calls it before destruction so such a failure is not lost.
    void Release();

    TIBDatabase* Database = nullptr;
    TIBTransaction* Transaction = nullptr;
    /// Rows the cache is allocated and grown by; 0 or less means 1000.
    int BufferChunks = 1000;
    bool CachedUpdates = false;
    bool ParamCheck = true;
    bool UniDirectional = false;

    /// Every assignment, also of the same text: closes, releases the prepared statement and
    /// rebuilds the parameter list. The text is split into lines at CR, LF and CR LF.
    void SetSQLText(const std::string& text);
    /// Every line followed by CR LF.
    std::string SQLText() const;
    const std::vector<std::string>& SQLLines() const noexcept { return sqlLines_; }
    /// The names of the colon markers, in order of appearance.
    const std::vector<std::string>& Params() const noexcept { return params_; }

    /// Connects and starts if needed, prepares, and for a select opens the cursor (no row fetched).
    void Open();
    /// Executes a statement that is not a select; never commits.
    void ExecSQL();
    /// Closes the cursor and drops the cached rows and columns; nothing when closed.
    void Close();

    /// Open, with or without a result.
    bool Active() const noexcept { return active_; }
    /// The statement type the server reported at the last prepare (isc_info_sql_stmt_*), or 0.
    int StatementType() const noexcept { return statementType_; }

    /// The shown result columns; empty unless open with a result.
    const std::vector<TFieldDef>& Fields() const noexcept;
    /// The cached rows; null unless open with a result.
    const RowCache* Rows() const noexcept { return rows_.get(); }
    std::size_t RecordCount() const noexcept;
    /// The server has no more rows (or there is no result).
    bool Eof() const noexcept { return eof_; }

    /// Fetches one row at a time until `rowCount` rows are cached or the result ends.
    /// Returns the rows cached. A failure of the server raises with the client library's text;
    /// the rows fetched so far stay.
    std::size_t FetchTo(std::size_t rowCount);
    void FetchAll();

    /// isc_dsql_fetch calls made since the program started (for tests).
    std::uint64_t FetchCalls() const noexcept { return fetchCalls_; }

    /// Set by TDataSource::SetDataSet; the source is told when the query opens, closes or
    /// caches more rows.
    void SetDataSource(TDataSource* source) noexcept { dataSource_ = source; }
    TDataSource* DataSource() const noexcept { return dataSource_; }

private:
    struct Statement;
    void EnsureConnected();
    void Prepare();
    void Execute();
    /// Releases the prepared statement; its handle is forgotten even when the server fails.
    void FreeStatement();
    /// After a failure: closed, statement released, failures of the clean-up ignored.
    void Abandon() noexcept;
    void Notify(TDataEvent event);

    std::vector<std::string> sqlLines_;
    std::vector<std::string> params_;
    std::unique_ptr<Statement> statement_;
    std::unique_ptr<RowCache> rows_;
    TDataSource* dataSource_ = nullptr;
    int statementType_ = 0;
    bool active_ = false;
    bool eof_ = true;
    std::uint64_t fetchCalls_ = 0;
};

} // namespace ibx
