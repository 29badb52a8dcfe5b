#include "IBDatabase.h"

#include "ClientLibrary.h"
#include "IBErrors.h"
#include "IBTransaction.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string_view>

namespace ibx {
namespace {

struct DpbName {
    std::string_view name;
    char tag;
};

// Only text-valued parameters: each is written as tag, length byte, value.
constexpr DpbName kDpbNames[] = {
    {"user_name", isc_dpb_user_name},
    {"password", isc_dpb_password},
    {"lc_ctype", isc_dpb_lc_ctype},
    {"sql_role_name", isc_dpb_sql_role_name},
};

std::string Lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isspace(c) != 0; });
}

} // namespace

TIBDatabase::TIBDatabase() {
    LoadClientLibrary();
}

TIBDatabase::~TIBDatabase() {
    Close();
    if (defaultTransaction_ && defaultTransaction_->database_ == this)
        defaultTransaction_->database_ = nullptr;
}

void TIBDatabase::SetDatabaseName(const std::string& name) {
    if (name == databaseName_)
        return;
    if (Connected())
        throw EIBClientError("Cannot perform operation -- DB is currently open");
    databaseName_ = name;
}

void TIBDatabase::SetParams(std::vector<std::string> params) {
    params_ = std::move(params);
    dpbStale_ = true;
}

void TIBDatabase::SetConnected(bool value) {
    if (value == Connected())
        return;
    if (value)
        Attach();
    else
        Close();
}

void TIBDatabase::Open() {
    SetConnected(true);
}

void TIBDatabase::Close() {
    if (!Connected())
        return;
    if (defaultTransaction_ && defaultTransaction_->database_ == this)
        defaultTransaction_->EndByDefaultAction();
    ISC_STATUS_ARRAY status{};
    // After a broken link the detach cannot reach the server; the attachment counts as closed.
    Api().isc_detach_database(status, &handle_);
    handle_ = 0;
}

void TIBDatabase::SetDefaultTransaction(TIBTransaction* transaction) {
    if (transaction == defaultTransaction_)
        return;
    if (defaultTransaction_ && defaultTransaction_->database_ == this)
        defaultTransaction_->database_ = nullptr;
    defaultTransaction_ = transaction;
    if (!transaction)
        return;
    // A transaction is registered with one connection at a time.
    if (transaction->database_ && transaction->database_ != this &&
        transaction->database_->defaultTransaction_ == transaction)
        transaction->database_->defaultTransaction_ = nullptr;
    transaction->database_ = this;
}

void TIBDatabase::BuildDPB() {
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    for (const std::string& line : params_) {
        if (IsBlank(line))
            continue;
        const std::size_t eq = line.find('=');
        std::string name = Lower(line.substr(0, eq));
        if (name.starts_with("isc_dpb_"))
            name.erase(0, 8);
        const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        const auto known = std::find_if(std::begin(kDpbNames), std::end(kDpbNames),
                                        [&](const DpbName& n) { return n.name == name; });
        if (known == std::end(kDpbNames))
            throw EIBClientError("Unknown database parameter \"" + line.substr(0, eq) + "\"");
        // The length travels in one byte.
        if (value.size() > UCHAR_MAX)
            throw EIBClientError("Value of database parameter \"" + line.substr(0, eq) +
                                 "\" is longer than 255 bytes");
        dpb += known->tag;
        dpb += static_cast<char>(value.size());
        dpb += value;
    }
    dpb_ = std::move(dpb);
    dpbStale_ = false;
}

void TIBDatabase::Attach() {
    if (databaseName_.empty())
        throw EIBClientError("Database name is missing");
    if (databaseName_.size() > SHRT_MAX)
        throw EIBClientError("Database name is too long");
    if (dpbStale_)
        BuildDPB();

    const ClientApi& api = Api();
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = 0;
    if (api.isc_attach_database(status, static_cast<short>(databaseName_.size()),
                                databaseName_.data(), &handle, static_cast<short>(dpb_.size()),
                                dpb_.data()) != 0)
        RaiseStatus(status);
    // Held from here on, even when the dialect query below fails.
    handle_ = handle;

    char item = isc_info_db_sql_dialect;
    char reply[512] = {};
    Check(api.isc_database_info(status, &handle_, 1, &item, sizeof reply, reply), status);
    int dialect = 1;
    if (reply[0] == isc_info_db_sql_dialect) {
        const int length = static_cast<int>(api.isc_vax_integer(reply + 1, 2));
        if (length > 0 && length <= 4)
            dialect = static_cast<int>(api.isc_vax_integer(reply + 3, static_cast<short>(length)));
    }
    dbSqlDialect_ = dialect;
    if (dialect < sqlDialect_)
        sqlDialect_ = dialect;
}

} // namespace ibx
