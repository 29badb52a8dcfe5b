#include "TestDb.h"

#include <ibase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace testdb {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v)
        throw std::runtime_error(std::string(name) +
                                 " is not set: start the private server (tests/rig/fbserver.sh)");
    return v;
}

std::string StatusText(const ISC_STATUS* status) {
    std::string text;
    char buf[1024];
    const ISC_STATUS* p = status;
    while (fb_interpret(buf, sizeof buf, &p) > 0) {
        if (!text.empty())
            text += " / ";
        text += buf;
    }
    return text;
}

void Check(ISC_STATUS rc, const ISC_STATUS* status, const std::string& what) {
    if (rc)
        throw std::runtime_error(what + ": " + StatusText(status));
}

std::string Dpb() {
    std::string dpb(1, isc_dpb_version1);
    auto add = [&](char tag, const std::string& v) {
        dpb += tag;
        dpb += static_cast<char>(v.size());
        dpb += v;
    };
    add(isc_dpb_user_name, kUser);
    add(isc_dpb_password, kPassword);
    return dpb;
}

// One attachment and one transaction for the lifetime of a check.
struct Session {
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    ISC_STATUS_ARRAY status{};

    explicit Session(const std::string& conn) {
        const std::string dpb = Dpb();
        Check(isc_attach_database(status, static_cast<short>(conn.size()), conn.c_str(), &db,
                                  static_cast<short>(dpb.size()), dpb.data()),
              status, "attach " + conn);
        static char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                             isc_tpb_rec_version, isc_tpb_nowait};
        Check(isc_start_transaction(status, &tr, 1, &db, sizeof tpb, tpb), status, "start");
    }
    ~Session() {
        if (tr)
            isc_rollback_transaction(status, &tr);
        if (db)
            isc_detach_database(status, &db);
    }
    void Commit() { Check(isc_commit_retaining(status, &tr), status, "commit"); }
};

} // namespace

std::string Server() {
    return Env("TAVOLIX_FB_SERVER");
}
std::string Dir() {
    return Env("TAVOLIX_TEST_DIR");
}

ScratchDatabase::ScratchDatabase(const std::string& name, Via via, int dialect)
    : path_(Dir() + "/" + name + "-" + std::to_string(::getpid()) + ".fdb"), via_(via) {
    ::unlink(path_.c_str());
    const std::string sql = "create database '" + ConnectionString() + "' user '" + kUser +
                            "' password '" + kPassword + "'";
    ISC_STATUS_ARRAY status{};
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    // A database created in dialect 1 is a dialect-1 database.
    Check(isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(),
                                     static_cast<unsigned short>(dialect), nullptr),
          status, "create database " + path_);
    isc_detach_database(status, &db);
}

ScratchDatabase::~ScratchDatabase() {
    try {
        const std::string conn = ConnectionString();
        const std::string dpb = Dpb();
        ISC_STATUS_ARRAY status{};
        isc_db_handle db = 0;
        if (isc_attach_database(status, static_cast<short>(conn.size()), conn.c_str(), &db,
                                static_cast<short>(dpb.size()), dpb.data()) == 0) {
            if (isc_drop_database(status, &db) != 0)
                isc_detach_database(status, &db);
        }
    } catch (...) {
    }
    ::unlink(path_.c_str());
}

std::string ScratchDatabase::ConnectionString() const {
    return via_ == Via::Server ? Server() + ":" + path_ : path_;
}

void ScratchDatabase::Exec(const std::vector<std::string>& statements) const {
    Session s(ConnectionString());
    for (const std::string& sql : statements) {
        Check(isc_dsql_execute_immediate(s.status, &s.db, &s.tr, 0, sql.c_str(), 3, nullptr),
              s.status, sql);
        s.Commit();
    }
}

std::vector<std::vector<std::optional<std::string>>>
ScratchDatabase::Query(const std::string& select) const {
    Session s(ConnectionString());
    isc_stmt_handle stmt = 0;
    Check(isc_dsql_allocate_statement(s.status, &s.db, &stmt), s.status, "alloc");
    std::vector<char> daBuf(XSQLDA_LENGTH(64));
    auto* da = reinterpret_cast<XSQLDA*>(daBuf.data());
    da->version = SQLDA_VERSION1;
    da->sqln = 64;
    Check(isc_dsql_prepare(s.status, &s.tr, &stmt, 0, select.c_str(), 3, da), s.status, select);
    if (da->sqld > da->sqln)
        throw std::runtime_error("too many columns for the test helper");
    // Every column is cast to text by the server would be simpler, but the helper must accept any
    // select; so describe each column as VARCHAR(400) and let the server convert.
    std::vector<std::vector<char>> data(da->sqld);
    std::vector<short> ind(da->sqld);
    for (int i = 0; i < da->sqld; ++i) {
        XSQLVAR& v = da->sqlvar[i];
        v.sqltype = SQL_VARYING + 1;
        v.sqllen = 400;
        v.sqlscale = 0;
        v.sqlsubtype = 0;
        data[i].resize(402);
        v.sqldata = data[i].data();
        v.sqlind = &ind[i];
    }
    Check(isc_dsql_execute(s.status, &s.tr, &stmt, 3, nullptr), s.status, "execute " + select);
    std::vector<std::vector<std::optional<std::string>>> rows;
    ISC_STATUS rc;
    while ((rc = isc_dsql_fetch(s.status, &stmt, 3, da)) == 0) {
        auto& row = rows.emplace_back();
        for (int i = 0; i < da->sqld; ++i) {
            if (ind[i] < 0) {
                row.emplace_back(std::nullopt);
            } else {
                unsigned short len;
                std::memcpy(&len, data[i].data(), 2);
                row.emplace_back(std::string(data[i].data() + 2, len));
            }
        }
    }
    if (rc != 100)
        Check(rc, s.status, "fetch " + select);
    isc_dsql_free_statement(s.status, &stmt, DSQL_drop);
    return rows;
}

long long ScratchDatabase::Scalar(const std::string& select) const {
    auto rows = Query(select);
    if (rows.empty() || rows[0].empty() || !rows[0][0])
        throw std::runtime_error("no value from " + select);
    return std::stoll(*rows[0][0]);
}

} // namespace testdb
