#include "IBTransaction.h"

#include "ClientLibrary.h"
#include "IBDatabase.h"
#include "IBErrors.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace ibx {
namespace {

struct TpbName {
    std::string_view name;
    char tag;
};

// Tags that stand alone; those that take a table name (lock_read, lock_write) are not offered.
constexpr TpbName kTpbNames[] = {
    {"consistency", isc_tpb_consistency},
    {"concurrency", isc_tpb_concurrency},
    {"shared", isc_tpb_shared},
    {"protected", isc_tpb_protected},
    {"exclusive", isc_tpb_exclusive},
    {"wait", isc_tpb_wait},
    {"nowait", isc_tpb_nowait},
    {"read", isc_tpb_read},
    {"write", isc_tpb_write},
    {"read_committed", isc_tpb_read_committed},
    {"rec_version", isc_tpb_rec_version},
    {"no_rec_version", isc_tpb_no_rec_version},
    {"ignore_limbo", isc_tpb_ignore_limbo},
    {"autocommit", isc_tpb_autocommit},
    {"restart_requests", isc_tpb_restart_requests},
    {"no_auto_undo", isc_tpb_no_auto_undo},
};

// Its own storage, so a report installed by one unit is seen while another unit's statics go.
TEndOfLifeReport& EndOfLifeReport() {
    static TEndOfLifeReport report;
    return report;
}

std::string Trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

// The text of a failed call, as a raised error would carry it.
std::string StatusText(const ISC_STATUS* status) {
    try {
        RaiseStatus(status);
    } catch (const EIBError& e) {
        return e.Message();
    }
}

// The layout isc_start_multiple reads for each connection. The length is a long: it fills the
// slot completely whether the library reads it as int or as long.
struct TransactionElement {
    isc_db_handle* database;
    long tpbLength;
    const char* tpb;
};

} // namespace

void SetEndOfLifeReport(TEndOfLifeReport report) {
    EndOfLifeReport() = std::move(report);
}

TIBTransaction::~TIBTransaction() {
    EndByDefaultAction();
    if (database_ && database_->DefaultTransaction() == this)
        database_->SetDefaultTransaction(nullptr);
}

void TIBTransaction::SetParams(std::vector<std::string> params) {
    params_ = std::move(params);
    tpbStale_ = true;
}

void TIBTransaction::SetActive(bool value) {
    if (value == Active())
        return;
    if (value)
        StartTransaction();
    else
        Rollback();
}

void TIBTransaction::BuildTPB() {
    std::string tpb(1, static_cast<char>(isc_tpb_version3));
    for (const std::string& line : params_) {
        const std::string trimmed = Trimmed(line);
        if (trimmed.empty())
            continue;
        std::string name = trimmed;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name.starts_with("isc_tpb_"))
            name.erase(0, 8);
        const auto known = std::find_if(std::begin(kTpbNames), std::end(kTpbNames),
                                        [&](const TpbName& n) { return n.name == name; });
        if (known == std::end(kTpbNames))
            throw EIBClientError("Unknown transaction parameter \"" + trimmed + "\"");
        tpb += known->tag;
    }
    tpb_ = std::move(tpb);
    tpbStale_ = false;
}

void TIBTransaction::StartTransaction() {
    if (Active())
        throw EIBClientError("Transaction is active");
    if (!database_)
        throw EIBClientError("No database is registered with the transaction");
    if (!database_->Connected())
        throw EIBClientError("Cannot perform operation -- DB is not open");
    if (tpbStale_)
        BuildTPB();

    TransactionElement element{database_->Handle(), static_cast<long>(tpb_.size()), tpb_.data()};
    ISC_STATUS_ARRAY status{};
    isc_tr_handle handle = 0;
    if (Api().isc_start_multiple(status, &handle, 1, &element) != 0)
        RaiseStatus(status);
    handle_ = handle;
}

void TIBTransaction::Commit() {
    if (!Active())
        throw EIBClientError("Transaction is not active");
    ISC_STATUS_ARRAY status{};
    Check(Api().isc_commit_transaction(status, &handle_), status);
    handle_ = 0;
}

void TIBTransaction::Rollback() {
    if (!Active())
        throw EIBClientError("Transaction is not active");
    ISC_STATUS_ARRAY status{};
    Check(Api().isc_rollback_transaction(status, &handle_), status);
    handle_ = 0;
}

void TIBTransaction::CommitRetaining() {
    if (!Active())
        throw EIBClientError("Transaction is not active");
    ISC_STATUS_ARRAY status{};
    Check(Api().isc_commit_retaining(status, &handle_), status);
}

void TIBTransaction::EndByDefaultAction() noexcept {
    if (!Active())
        return;
    const ClientApi& api = Api();
    ISC_STATUS_ARRAY status{};
    const bool commit = DefaultAction == TTransactionAction::TACommit ||
                        DefaultAction == TTransactionAction::TACommitRetaining;
    if (commit && api.isc_commit_transaction(status, &handle_) == 0) {
        handle_ = 0;
        return;
    }
    std::string failure;
    if (commit) {
        try {
            failure = StatusText(status);
        } catch (...) {
            failure = "The final commit failed; the work was rolled back.";
        }
    }
    ISC_STATUS_ARRAY rollbackStatus{};
    // A failed rollback leaves nothing else to try; the transaction counts as ended.
    api.isc_rollback_transaction(rollbackStatus, &handle_);
    handle_ = 0;
    if (!commit)
        return;
    try {
        if (const TEndOfLifeReport& report = EndOfLifeReport())
            report(failure);
    } catch (...) {
        // The report must not take the program down during clean-up.
    }
}

} // namespace ibx
