#pragma once
// The transaction every statement runs in.

#include <ibase.h>

#include <functional>
#include <string>
#include <vector>

namespace ibx {

class TIBDatabase;

enum class TTransactionAction { TARollback, TACommit, TARollbackRetaining, TACommitRetaining };
enum class TAutoStopAction { saNone, saRollback, saCommit, saRollbackRetaining, saCommitRetaining };

/// Told when ending a transaction by its default action failed at the end of its life and the
/// work was rolled back instead: the client library's text, so the user can learn of lost work.
using TEndOfLifeReport = std::function<void(const std::string& message)>;
void SetEndOfLifeReport(TEndOfLifeReport report);

class TIBTransaction {
public:
    TIBTransaction() = default;
    TIBTransaction(const TIBTransaction&) = delete;
    TIBTransaction& operator=(const TIBTransaction&) = delete;
    /// Ends an active transaction by DefaultAction (commit, rolling back when that fails);
    /// raises nothing.
    ~TIBTransaction();

    /// Lines such as "read_committed", "rec_version", "nowait" that make the parameter buffer.
    const std::vector<std::string>& Params() const noexcept { return params_; }
    void SetParams(std::vector<std::string> params);

    TTransactionAction DefaultAction = TTransactionAction::TACommit;
    TAutoStopAction AutoStopAction = TAutoStopAction::saNone;
    int IdleTimer = 0;

    /// The connection this transaction is registered with (set by its DefaultTransaction).
    TIBDatabase* DefaultDatabase() const noexcept { return database_; }

    bool Active() const noexcept { return handle_ != 0; }
    /// true starts (idempotent), false ends by rolling back.
    void SetActive(bool value);
    void StartTransaction();
    void Commit();
    void Rollback();
    void CommitRetaining();

    /// Ends an active transaction by DefaultAction without raising; used at end of life and
    /// when the connection closes.
    void EndByDefaultAction() noexcept;

    /// The transaction handle; 0 while not active. A statement such as a typed commit may
    /// clear it through this pointer, which makes the transaction inactive.
    isc_tr_handle* Handle() noexcept { return &handle_; }
    /// The transaction parameter buffer of the last start (for tests).
    const std::string& TPB() const noexcept { return tpb_; }

private:
    friend class TIBDatabase;
    void BuildTPB();

    std::vector<std::string> params_;
    std::string tpb_;
    bool tpbStale_ = true;
    isc_tr_handle handle_ = 0;
    TIBDatabase* database_ = nullptr;
};

} // namespace ibx
