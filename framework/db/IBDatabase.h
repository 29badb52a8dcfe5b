#pragma once
// The connection: one attachment to a database, with the parameters it attaches with.

#include <ibase.h>

#include <string>
#include <vector>

namespace ibx {

class TIBTransaction;

/// One connection to a database server. Constructing it loads the client library.
class TIBDatabase {
public:
    TIBDatabase();
    TIBDatabase(const TIBDatabase&) = delete;
    TIBDatabase& operator=(const TIBDatabase&) = delete;
    /// Closes the connection; failures are ignored.
    ~TIBDatabase();

    /// The connection string, passed unchanged to the attach call.
    const std::string& DatabaseName() const noexcept { return databaseName_; }
    /// The same value is a no-op; another value while connected fails and changes nothing.
    void SetDatabaseName(const std::string& name);

    /// "name=value" lines ("user_name", "password") that make the database parameter buffer.
    const std::vector<std::string>& Params() const noexcept { return params_; }
    void SetParams(std::vector<std::string> params);

    bool LoginPrompt = false;
    /// No idle disconnection is supported; kept for the settings table.
    int IdleTimer = 0;

    /// The client SQL dialect; lowered at connect time to the database's own when that is lower.
    int SQLDialect() const noexcept { return sqlDialect_; }
    void SetSQLDialect(int dialect) { sqlDialect_ = dialect; }
    /// The database's own dialect, as asked at connect time.
    int DBSQLDialect() const noexcept { return dbSqlDialect_; }

    bool Connected() const noexcept { return handle_ != 0; }
    /// true connects (idempotent), false closes.
    void SetConnected(bool value);
    void Open();
    /// Ends a registered active transaction by its default action, then detaches.
    void Close();

    /// Registers the transaction with this connection and the connection with the transaction.
    void SetDefaultTransaction(TIBTransaction* transaction);
    TIBTransaction* DefaultTransaction() const noexcept { return defaultTransaction_; }

    /// The attachment handle; 0 while not connected.
    isc_db_handle* Handle() noexcept { return &handle_; }
    /// The database parameter buffer of the last connect (for tests).
    const std::string& DPB() const noexcept { return dpb_; }

private:
    void Attach();
    void BuildDPB();

    std::string databaseName_;
    std::vector<std::string> params_;
    std::string dpb_;
    bool dpbStale_ = true;
    int sqlDialect_ = 3;
    int dbSqlDialect_ = 0;
    isc_db_handle handle_ = 0;
    TIBTransaction* defaultTransaction_ = nullptr;
};

} // namespace ibx
