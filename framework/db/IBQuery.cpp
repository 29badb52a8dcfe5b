#include "IBQuery.h"

#include "ClientLibrary.h"
#include "DataSource.h"
#include "IBDatabase.h"
#include "IBErrors.h"
#include "IBTransaction.h"
#include "ParamScanner.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

namespace ibx {
namespace {

// Statement types as isc_info_sql_stmt_type reports them.
constexpr int kSelect = isc_info_sql_stmt_select;                  // 1
constexpr int kExecProcedure = isc_info_sql_stmt_exec_procedure;   // 8
constexpr int kSelectForUpdate = isc_info_sql_stmt_select_for_upd; // 12
constexpr int kLastDescribed = isc_info_sql_stmt_set_generator;    // 13

[[noreturn]] void Raise(const char* text) {
    throw EIBClientError(text);
}

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' '; });
}

std::string Lower(const std::string& text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Handles the client library failed to free; it may still write to them, so they live on.
void KeepForTheClientLibrary(std::unique_ptr<isc_stmt_handle> handle) noexcept {
    static auto* kept = new std::vector<std::unique_ptr<isc_stmt_handle>>();
    try {
        kept->push_back(std::move(handle));
    } catch (const std::bad_alloc&) {
        (void)handle.release();
    }
}

std::string NextCursorName() {
    static std::atomic<unsigned> counter{0};
    return "TAVOLIX_CURSOR_" + std::to_string(++counter);
}

// A descriptor area with the value and null-flag buffers the client library reads and writes.
class SqlDa {
public:
    XSQLDA* get() noexcept { return reinterpret_cast<XSQLDA*>(raw_.get()); }
    short Count() const noexcept {
        return raw_ ? reinterpret_cast<const XSQLDA*>(raw_.get())->sqld : 0;
    }

    /// Room for `columns` described columns, none described yet.
    void Reset(short columns) {
        const short n = columns > 0 ? columns : 1;
        const std::size_t bytes = XSQLDA_LENGTH(n);
        raw_.reset(new char[bytes]);
        std::memset(raw_.get(), 0, bytes);
        get()->version = SQLDA_VERSION1;
        get()->sqln = n;
        data_.reset();
        ind_.clear();
    }

    /// A buffer for every described column; with `allNull` each is marked NULL.
    void AllocateBuffers(bool allNull) {
        XSQLDA* da = get();
        std::size_t total = 0;
        for (short i = 0; i < da->sqld; ++i)
            total += Aligned(BufferSize(da->sqlvar[i]));
        data_.reset(new char[total ? total : 1]);
        std::memset(data_.get(), 0, total ? total : 1);
        ind_.assign(static_cast<std::size_t>(da->sqld), allNull ? -1 : 0);
        std::size_t offset = 0;
        for (short i = 0; i < da->sqld; ++i) {
            XSQLVAR& v = da->sqlvar[i];
            v.sqldata = data_.get() + offset;
            v.sqlind = &ind_[static_cast<std::size_t>(i)];
            if (allNull)
                v.sqltype = static_cast<short>(v.sqltype | 1); // makes the server read sqlind
            offset += Aligned(BufferSize(v));
        }
    }

private:
    static std::size_t BufferSize(const XSQLVAR& v) noexcept {
        std::size_t size = v.sqllen > 0 ? static_cast<std::size_t>(v.sqllen) : 0;
        if ((v.sqltype & ~1) == SQL_VARYING)
            size += sizeof(short);
        return size ? size : 1;
    }
    static std::size_t Aligned(std::size_t n) noexcept { return (n + 7) & ~std::size_t{7}; }

    std::unique_ptr<char[]> raw_;
    std::unique_ptr<char[]> data_;
    std::vector<short> ind_;
};

} // namespace

struct TIBQuery::Statement {
    // On its own block: the client library keeps the handle's address and clears it when the
    // attachment ends, so a handle it could not free must outlive this statement.
    std::unique_ptr<isc_stmt_handle> handle = std::make_unique<isc_stmt_handle>(0);
    SqlDa in;
    SqlDa out;
    std::vector<TFieldDef> fields;
    bool cursorOpen = false;
    bool fetchFailed = false; // the failure was reported already; closing need not repeat it
};

TIBQuery::TIBQuery() = default;

TIBQuery::~TIBQuery() {
    try {
        Release();
    } catch (...) {
        // The owner calls Release() first when it wants to hear of this.
    }
    if (dataSource_)
        dataSource_->DataSetDestroyed(this);
}

void TIBQuery::Release() {
    std::exception_ptr first;
    try {
        Close();
    } catch (...) {
        first = std::current_exception();
    }
    try {
        FreeStatement();
    } catch (...) {
        if (!first)
            first = std::current_exception();
    }
    if (first)
        std::rethrow_exception(first);
}

void TIBQuery::SetSQLText(const std::string& text) {
    Close();
    FreeStatement();

    sqlLines_.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        sqlLines_.emplace_back(text, start, i - start);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        sqlLines_.emplace_back(text, start);

    // A text with a bad marker is kept as it is; preparing it reports the fault.
    params_.clear();
    if (ParamCheck) {
        try {
            params_ = ScanParameterMarkers(SQLText()).Params;
        } catch (const EIBClientError&) {
        }
    }
}

std::string TIBQuery::SQLText() const {
    std::string text;
    for (const std::string& line : sqlLines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

const std::vector<TFieldDef>& TIBQuery::Fields() const noexcept {
    static const std::vector<TFieldDef> none;
    return rows_ ? rows_->Fields() : none;
}

std::size_t TIBQuery::RecordCount() const noexcept {
    return rows_ ? rows_->RowCount() : 0;
}

void TIBQuery::EnsureConnected() {
    if (!Database)
        Raise("Database not assigned");
    if (!Transaction)
        Raise("Transaction not assigned");
    if (!Database->Connected())
        Database->Open();
    if (!Transaction->Active())
        Transaction->StartTransaction();
}

void TIBQuery::FreeStatement() {
    if (!statement_)
        return;
    std::unique_ptr<Statement> statement = std::move(statement_);
    statementType_ = 0;
    if (!*statement->handle)
        return;
    // The handle is forgotten even when the server cannot be told: it is never used again.
    ISC_STATUS_ARRAY status{};
    if (Api().isc_dsql_free_statement(status, statement->handle.get(), DSQL_drop) != 0) {
        KeepForTheClientLibrary(std::move(statement->handle));
        RaiseStatus(status);
    }
}

void TIBQuery::Prepare() {
    const std::string text = SQLText();
    if (IsBlank(text))
        Raise("Empty SQL Statement");
    // The text goes to the server zero-terminated; a NUL inside would silently cut it short.
    if (text.find('\0') != std::string::npos)
        Raise("The statement text contains a NUL character");
    std::string sent = text;
    if (ParamCheck) {
        ScannedStatement scanned = ScanParameterMarkers(text);
        sent = std::move(scanned.Text);
        params_ = std::move(scanned.Params);
    }

    FreeStatement();
    const ClientApi& api = Api();
    ISC_STATUS_ARRAY status{};
    statement_ = std::make_unique<Statement>();
    Statement& st = *statement_;
    Check(api.isc_dsql_alloc_statement2(status, Database->Handle(), st.handle.get()), status);
    Check(api.isc_dsql_prepare(status, Transaction->Handle(), st.handle.get(), 0, sent.c_str(),
                               static_cast<unsigned short>(Database->SQLDialect()), nullptr),
          status);

    const char item = isc_info_sql_stmt_type;
    char info[16] = {};
    Check(api.isc_dsql_sql_info(status, st.handle.get(), 1, &item, sizeof info, info), status);
    if (info[0] != isc_info_sql_stmt_type)
        Raise("Cannot determine the statement type");
    const short length = static_cast<short>(api.isc_vax_integer(info + 1, 2));
    if (length < 1 || length > 4)
        Raise("Cannot determine the statement type");
    statementType_ = static_cast<int>(api.isc_vax_integer(info + 3, length));

    if (statementType_ == isc_info_sql_stmt_get_segment ||
        statementType_ == isc_info_sql_stmt_put_segment ||
        statementType_ == isc_info_sql_stmt_start_trans) {
        FreeStatement();
        Raise("Not permitted");
    }
    if (statementType_ == 0 || statementType_ > kLastDescribed)
        return;

    // Asked with room for one column first, and again with room for all when there are more.
    auto describe = [&](SqlDa& da, bool input) {
        da.Reset(1);
        auto call = [&] {
            const ISC_STATUS rc =
                input
                    ? api.isc_dsql_describe_bind(status, st.handle.get(), SQLDA_VERSION1, da.get())
                    : api.isc_dsql_describe(status, st.handle.get(), SQLDA_VERSION1, da.get());
            Check(rc, status);
        };
        call();
        if (da.get()->sqld > da.get()->sqln) {
            da.Reset(da.get()->sqld);
            call();
        }
        da.AllocateBuffers(input);
    };
    describe(st.in, true);
    if (statementType_ != kSelect && statementType_ != kExecProcedure &&
        statementType_ != kSelectForUpdate)
        return;
    describe(st.out, false);

    XSQLDA* out = st.out.get();
    std::vector<std::string> seen;
    for (short i = 0; i < out->sqld; ++i) {
        const XSQLVAR& v = out->sqlvar[i];
        TFieldDef field;
        field.Name.assign(v.aliasname, static_cast<std::size_t>(std::clamp<short>(
                                           v.aliasname_length, 0, short(sizeof v.aliasname))));
        field.SqlType = static_cast<short>(v.sqltype & ~1);
        field.SqlScale = v.sqlscale;
        field.SqlSubType = v.sqlsubtype;
        field.SqlLen = v.sqllen;
        field.Index = i;
        const auto kind = KindOf(field.SqlType, field.SqlScale, field.SqlSubType, field.Name);
        if (!kind)
            continue;
        field.Kind = *kind;
        if (!field.Name.empty()) {
            std::string key = Lower(field.Name);
            if (std::find(seen.begin(), seen.end(), key) != seen.end())
                throw vcl::EComponentError("A component named " + field.Name + " already exists");
            seen.push_back(std::move(key));
        }
        st.fields.push_back(std::move(field));
    }
}

void TIBQuery::Execute() {
    const ClientApi& api = Api();
    Statement& st = *statement_;
    XSQLDA* in = st.in.Count() > 0 ? st.in.get() : nullptr;
    ISC_STATUS_ARRAY status{};
    if (statementType_ == kExecProcedure)
        Check(api.isc_dsql_execute2(status, Transaction->Handle(), st.handle.get(), SQLDA_VERSION1,
                                    in, st.out.Count() > 0 ? st.out.get() : nullptr),
              status);
    else
        // A typed commit or rollback clears the transaction's handle here, which makes it
        // inactive; the next run then starts a fresh one.
        Check(api.isc_dsql_execute(status, Transaction->Handle(), st.handle.get(), SQLDA_VERSION1,
                                   in),
              status);
}

void TIBQuery::Open() {
    if (active_)
        return;
    EnsureConnected();
    if (sqlLines_.empty())
        Raise("Empty SQL Statement");
    try {
        Prepare();
        if (statementType_ == kSelect) {
            Statement& st = *statement_;
            rows_ = std::make_unique<RowCache>(st.fields, BufferChunks);
            active_ = true;
            eof_ = false;
            Notify(TDataEvent::StateChanged);

            const ClientApi& api = Api();
            ISC_STATUS_ARRAY status{};
            XSQLDA* in = st.in.Count() > 0 ? st.in.get() : nullptr;
            Check(api.isc_dsql_execute2(status, Transaction->Handle(), st.handle.get(),
                                        SQLDA_VERSION1, in, nullptr),
                  status);
            st.cursorOpen = true;
            const std::string name = NextCursorName();
            Check(api.isc_dsql_set_cursor_name(status, st.handle.get(), name.c_str(), 0), status);
        } else {
            Execute();
            active_ = true;
            eof_ = true;
            Notify(TDataEvent::StateChanged);
        }
    } catch (...) {
        Abandon();
        throw;
    }
}

void TIBQuery::ExecSQL() {
    if (sqlLines_.empty())
        Raise("Empty SQL Statement");
    Close();
    EnsureConnected();
    try {
        Prepare();
        if (statementType_ == kSelect)
            Raise("use Open for a Select Statement");
        Execute();
    } catch (...) {
        Abandon();
        throw;
    }
}

void TIBQuery::Close() {
    if (!active_)
        return;
    std::exception_ptr failure;
    if (statement_ && statement_->cursorOpen) {
        statement_->cursorOpen = false;
        ISC_STATUS_ARRAY status{};
        if (Api().isc_dsql_free_statement(status, statement_->handle.get(), DSQL_close) != 0 &&
            !statement_->fetchFailed) {
            try {
                RaiseStatus(status);
            } catch (...) {
                failure = std::current_exception();
            }
        }
    }
    rows_.reset();
    active_ = false;
    eof_ = true;
    Notify(TDataEvent::StateChanged);
    if (failure)
        std::rethrow_exception(failure);
}

void TIBQuery::Abandon() noexcept {
    rows_.reset();
    active_ = false;
    eof_ = true;
    if (statement_) {
        statement_->cursorOpen = false;
        try {
            FreeStatement();
        } catch (...) {
            // The failure that brought us here is the one to report.
        }
    }
    statementType_ = 0;
    try {
        Notify(TDataEvent::StateChanged);
    } catch (...) {
    }
}

void TIBQuery::Notify(TDataEvent event) {
    if (dataSource_)
        dataSource_->Notify(event);
}

std::size_t TIBQuery::FetchTo(std::size_t rowCount) {
    // Nothing to fetch, or asked while the cursor is still being opened.
    if (!active_ || !rows_ || eof_ || !statement_ || !statement_->cursorOpen)
        return RecordCount();
    const ClientApi& api = Api();
    Statement& st = *statement_;
    XSQLDA* out = st.out.get();
    bool fetched = false;
    std::exception_ptr failure;
    while (rows_->RowCount() < rowCount) {
        ISC_STATUS_ARRAY status{};
        const ISC_STATUS rc = api.isc_dsql_fetch(status, st.handle.get(), SQLDA_VERSION1, out);
        ++fetchCalls_;
        fetched = true;
        if (rc == 100) {
            eof_ = true;
            break;
        }
        if (rc != 0) {
            // A dead cursor is not asked again: the rows so far stay, the result is at its end.
            eof_ = true;
            st.fetchFailed = true;
            try {
                RaiseStatus(status);
            } catch (...) {
                failure = std::current_exception();
            }
            break;
        }
        try {
            rows_->AppendRow(*out);
        } catch (const std::bad_alloc&) {
            eof_ = true;
            failure = std::make_exception_ptr(
                vcl::Exception("Out of memory: the result's rows fetched so far stay shown"));
            break;
        }
    }
    if (fetched)
        Notify(TDataEvent::RowsAppended);
    if (failure)
        std::rethrow_exception(failure);
    return rows_->RowCount();
}

void TIBQuery::FetchAll() {
    FetchTo(std::numeric_limits<std::size_t>::max());
}

} // namespace ibx
