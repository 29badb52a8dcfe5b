// Fetch benchmark: the grid's fetch path (TIBQuery + RowCache + TResultModel) against a bare
// isc_dsql_fetch loop and against Qt's own Firebird driver, over the remote protocol and the
// embedded engine. Prints one line per figure with its target and PASS or MISS.
//
//   fetch_bench [server] [data folder] [--rows N]
//
// server defaults to TAVOLIX_FB_SERVER (host/port), the folder to TAVOLIX_TEST_DIR. The
// databases are created on the first run and reused afterwards (one per row count).
#include "controls/ResultModel.h"
#include "db/ClientLibrary.h"
#include "db/DataSource.h"
#include "db/FieldText.h"
#include "db/IBDatabase.h"
#include "db/IBErrors.h"
#include "db/IBQuery.h"
#include "db/IBTransaction.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>

#include <ibase.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr const char* kUser = "SYSDBA";
constexpr const char* kPassword = "quibolant";
constexpr int kScreenRows = 40;

using Clock = std::chrono::steady_clock;

double Time(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Best(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, Time(work));
    return best;
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void Figure(const std::string& where, const std::string& what, const std::string& measured,
            const std::string& target, bool pass) {
    std::printf("%-8s %-62s %s  (target %s)  %s\n", where.c_str(), what.c_str(), measured.c_str(),
                target.c_str(), pass ? "PASS" : "MISS");
    std::fflush(stdout);
}

std::string Fmt(const char* format, double a, double b = 0, double c = 0) {
    char buf[200];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

// The data module's components on one connection string.
struct Session {
    ibx::TIBDatabase db;
    ibx::TIBTransaction tr;
    ibx::TIBQuery qry;
    ibx::TDataSource source;

    explicit Session(const std::string& connection) {
        db.SetParams({std::string("user_name=") + kUser, std::string("password=") + kPassword});
        db.SetDefaultTransaction(&tr);
        db.SetDatabaseName(connection);
        tr.SetParams({"read_committed", "rec_version", "nowait"});
        qry.Database = &db;
        qry.Transaction = &tr;
        source.SetDataSet(&qry);
        db.SetConnected(true);
        tr.SetActive(true);
    }
    void Run(const std::string& sql) {
        qry.Close();
        qry.SetSQLText("");
        qry.SetSQLText(sql);
        qry.Open();
    }
    void Exec(const std::string& sql) {
        qry.Close();
        qry.ParamCheck = false; // PSQL variables are written with colons
        qry.SetSQLText(sql);
        qry.ExecSQL();
        tr.CommitRetaining();
        qry.SetSQLText("");
        qry.ParamCheck = true;
    }
};

void CreateDatabase(const std::string& connection) {
    const std::string sql = "create database '" + connection + "' user '" + kUser + "' password '" +
                            kPassword + "' page_size 16384";
    ISC_STATUS_ARRAY status{};
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), 3, nullptr) != 0)
        ibx::RaiseStatus(status);
    isc_detach_database(status, &db);
}

const char* kBigColumns = "(id integer not null, name varchar(40), amount numeric(12,2), "
                          "ts timestamp, val double precision)";

std::string FillBig(const char* table, long rows) {
    return std::string("execute block as declare i integer = 0; begin while (i < ") +
           std::to_string(rows) + ") do begin insert into " + table +
           " values (:i, 'customer ' || :i || ' ' || substring('abcdefghijklmnopqrstuvwxyz' "
           "from 1 for mod(:i, 24)), iif(mod(:i, 17) = 0, null, :i * 0.37), "
           "dateadd(:i second to timestamp '2020-01-01 00:00:00'), :i / 7.0e0); "
           "i = i + 1; end end";
}

const char* kWideColumns =
    "(id integer not null, v200 varchar(200), memo blob sub_type 1, s1 smallint, i1 integer, "
    "b1 bigint, n1 numeric(9,2), n2 numeric(18,4), n3 numeric(18,6), f1 float, "
    "d1 double precision, dt date, tm time, ts timestamp, ch char(10), v20 varchar(20), "
    "v60 varchar(60), i2 integer, d2 double precision, n4 numeric(4,1))";

std::string FillWide(long rows) {
    return "execute block as declare i integer = 0; begin while (i < " + std::to_string(rows) +
           ") do begin insert into wide values (:i, rpad('wide row ' || :i, 20 + mod(:i, 180), "
           "'x'), iif(mod(:i, 3) = 0, null, 'memo ' || :i), mod(:i, 30000), :i, "
           ":i * 1000003, :i * 0.01, :i * 0.0001, :i * 0.000001, :i / 3.0e0, :i / 9.0e0, "
           "dateadd(mod(:i, 20000) day to date '1990-01-01'), "
           "dateadd(mod(:i, 86400) second to time '00:00:00'), "
           "dateadd(:i second to timestamp '2020-01-01 00:00:00'), 'c' || mod(:i, 1000), "
           "'v' || :i, iif(mod(:i, 5) = 0, null, 'sixty ' || :i), mod(:i, 97), :i * 1.5e0, "
           "mod(:i, 999) / 10.0); i = i + 1; end end";
}

bool Ready(Session& s) {
    s.Run("select count(*) from rdb$relations where rdb$relation_name = 'BENCH_DONE'");
    s.qry.FetchAll();
    const bool ready = s.qry.RecordCount() == 1 &&
                       ibx::CellText(s.qry.Fields()[0], s.qry.Rows()->Cell(0, 0)) == "1";
    s.qry.Close();
    return ready;
}

void PrepareDatabase(const std::string& path, const std::string& connection, long rows,
                     long wideRows, long smallRows) {
    if (::access(path.c_str(), F_OK) == 0) {
        try {
            Session s(connection);
            if (Ready(s))
                return;
        } catch (const std::exception&) {
        }
        ::unlink(path.c_str());
    }
    std::printf("creating %s (%ld + %ld + %ld rows) ...\n", path.c_str(), rows, wideRows,
                smallRows);
    std::fflush(stdout);
    CreateDatabase(connection);
    Session s(connection);
    s.Exec(std::string("create table big ") + kBigColumns);
    s.Exec(std::string("create table small ") + kBigColumns);
    s.Exec(std::string("create table wide ") + kWideColumns);
    s.Exec(FillBig("big", rows));
    s.Exec(FillBig("small", smallRows));
    s.Exec(FillWide(wideRows));
    s.Exec("create table bench_done (x integer)");
}

// The reference: one statement, one buffer, isc_dsql_fetch until the end.
std::size_t BareFetch(Session& s, const std::string& sql) {
    const ibx::ClientApi& api = ibx::Api();
    ISC_STATUS_ARRAY status{};
    isc_stmt_handle stmt = 0;
    auto check = [&](ISC_STATUS rc) {
        if (rc != 0)
            ibx::RaiseStatus(status);
    };
    check(api.isc_dsql_alloc_statement2(status, s.db.Handle(), &stmt));
    std::vector<char> daBlock(XSQLDA_LENGTH(1));
    auto* da = reinterpret_cast<XSQLDA*>(daBlock.data());
    da->version = SQLDA_VERSION1;
    da->sqln = 1;
    check(api.isc_dsql_prepare(status, s.tr.Handle(), &stmt, 0, sql.c_str(), 3, da));
    if (da->sqld > da->sqln) {
        const short n = da->sqld;
        daBlock.assign(XSQLDA_LENGTH(n), 0);
        da = reinterpret_cast<XSQLDA*>(daBlock.data());
        da->version = SQLDA_VERSION1;
        da->sqln = n;
        check(api.isc_dsql_describe(status, &stmt, 1, da));
    }
    std::size_t size = 0;
    std::vector<std::size_t> offsets;
    for (int i = 0; i < da->sqld; ++i) {
        const XSQLVAR& v = da->sqlvar[i];
        size = (size + 7) & ~std::size_t(7);
        offsets.push_back(size);
        size += std::size_t(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
    }
    std::vector<char> buffer(size + 8);
    std::vector<short> nulls(std::size_t(da->sqld));
    for (int i = 0; i < da->sqld; ++i) {
        da->sqlvar[i].sqldata = buffer.data() + offsets[std::size_t(i)];
        da->sqlvar[i].sqlind = &nulls[std::size_t(i)];
    }
    check(api.isc_dsql_execute(status, s.tr.Handle(), &stmt, 1, nullptr));
    std::size_t rows = 0;
    ISC_STATUS rc;
    while ((rc = api.isc_dsql_fetch(status, &stmt, 1, da)) == 0)
        ++rows;
    if (rc != 100)
        ibx::RaiseStatus(status);
    api.isc_dsql_free_statement(status, &stmt, DSQL_drop);
    return rows;
}

std::size_t ReadAllTexts(const QAbstractItemModel& m, int firstRow, int rowCount) {
    std::size_t chars = 0;
    const int columns = m.columnCount();
    const int end = std::min(m.rowCount(), firstRow + rowCount);
    for (int r = firstRow; r < end; ++r)
        for (int c = 0; c < columns; ++c)
            chars += std::size_t(m.data(m.index(r, c)).toString().size());
    return chars;
}

struct Target {
    std::string name;       // "remote" or "embedded"
    std::string connection; // what TIBDatabase is given
    std::string host;       // for QIBASE; empty when embedded
    int port = -1;
    std::string path;
};

void RunFigures(const Target& t, long rows, long wideRows) {
    Session s(t.connection);
    const std::string big = "select * from big";
    const std::string wide = "select * from wide";

    for (const auto& [table, sql, expected] :
         {std::tuple{"big", big, rows}, std::tuple{"wide", wide, wideRows}}) {
        // (1) fetch-all through the query and its cache against a bare loop.
        std::size_t bareRows = 0;
        const double bare = Best(2, [&] { bareRows = BareFetch(s, sql); });
        const double ours = Best(2, [&] {
            s.Run(sql);
            s.qry.FetchAll();
        });
        if (bareRows != std::size_t(expected) || s.qry.RecordCount() != std::size_t(expected))
            throw std::runtime_error(std::string("row count mismatch on ") + table);
        const double ratio = ours / bare;
        Figure(t.name,
               std::string("(1) fetch-all TIBQuery+RowCache / bare isc_dsql_fetch, ") + table,
               Fmt("%.3f s / %.3f s = %.3f", ours, bare, ratio) +
                   Fmt(" [%.0f rows/s]", double(expected) / ours),
               "<= 1.15", ratio <= 1.15);

        // (3) bytes per cached row against the row's own data.
        const ibx::RowCache& cache = *s.qry.Rows();
        const std::size_t fields = cache.Fields().size();
        std::size_t data = 0;
        for (std::size_t r = 0; r < cache.RowCount(); ++r) {
            data += (fields + 7) / 8;
            for (std::size_t f = 0; f < fields; ++f) {
                const ibx::CellView cell = cache.Cell(r, f);
                if (!cell.IsNull)
                    data += cell.Bytes.size();
            }
        }
        const double perRow = double(cache.BytesAllocated()) / double(cache.RowCount());
        const double dataPerRow = double(data) / double(cache.RowCount());
        Figure(t.name, std::string("(3) bytes per cached row / row's own data bytes, ") + table,
               Fmt("%.1f / %.1f = %.3f", perRow, dataPerRow, perRow / dataPerRow) +
                   Fmt(", peak RSS %.0f MB", double(PeakRssKb()) / 1024),
               "<= 1.5", perRow / dataPerRow <= 1.5);

        // (5) one screen of display texts deep in the fully cached result.
        {
            vcl::TResultModel model;
            model.SetDataSource(&s.source);
            const int at = int(expected * 9 / 10);
            const int repeats = 1000;
            std::size_t chars = 0;
            const double t5 = Time([&] {
                for (int i = 0; i < repeats; ++i)
                    chars += ReadAllTexts(model, at, kScreenRows);
            });
            const double us = t5 / repeats * 1e6;
            Figure(t.name,
                   std::string("(5) display texts of 40 rows at row ") + std::to_string(at) + ", " +
                       table,
                   Fmt("%.1f us per screen", us), "<= 1000 us", us <= 1000 && chars > 0);
            model.SetDataSource(nullptr);
        }
        s.qry.Close();

        // (2) Qt's own driver against our model: fetch all, read every cell's text once.
        {
            double qt = 0;
            bool qtOk = false;
            QString qtError;
            {
                QSqlDatabase qdb = QSqlDatabase::addDatabase("QIBASE", "bench");
                if (!t.host.empty()) {
                    qdb.setHostName(QString::fromStdString(t.host));
                    qdb.setPort(t.port);
                }
                qdb.setDatabaseName(QString::fromStdString(t.path));
                qdb.setUserName(kUser);
                qdb.setPassword(kPassword);
                if (qdb.open()) {
                    QSqlQueryModel qm;
                    std::size_t chars = 0;
                    qt = Time([&] {
                        qm.setQuery(QSqlQuery(QString::fromStdString(sql), qdb));
                        while (qm.canFetchMore())
                            qm.fetchMore();
                        chars = ReadAllTexts(qm, 0, qm.rowCount());
                    });
                    qtOk = qm.rowCount() == expected && chars > 0;
                    if (!qtOk)
                        qtError = qm.lastError().text();
                    qm.clear();
                    qdb.close();
                } else {
                    qtError = qdb.lastError().text();
                }
            }
            QSqlDatabase::removeDatabase("bench");
            vcl::TResultModel model;
            model.SetDataSource(&s.source);
            std::size_t chars = 0;
            const double ours2 = Time([&] {
                s.Run(sql);
                model.FetchAll();
                chars = ReadAllTexts(model, 0, model.rowCount());
            });
            if (!qtOk) {
                Figure(t.name, std::string("(2) QSqlQueryModel(QIBASE) vs ours, ") + table,
                       "Qt driver failed: " + qtError.toStdString(), "ours faster", false);
            } else {
                Figure(t.name,
                       std::string("(2) our model / QSqlQueryModel(QIBASE), fetch+texts, ") + table,
                       Fmt("%.3f s / %.3f s = %.3f", ours2, qt, ours2 / qt), "< 1", ours2 < qt);
            }
            model.SetDataSource(nullptr);
            s.qry.Close();
        }
    }

    // (4) Open to the first screen: a large table against a small one.
    auto firstScreen = [&](const std::string& sql) {
        vcl::TResultModel model;
        model.SetDataSource(&s.source);
        std::vector<double> times;
        for (int i = 0; i < 15; ++i) {
            s.qry.Close(); // closing the previous cursor is not part of opening
            times.push_back(Time([&] {
                s.Run(sql);
                model.FetchTo(kScreenRows);
                ReadAllTexts(model, 0, kScreenRows);
            }));
        }
        model.SetDataSource(nullptr);
        s.qry.Close();
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double large = firstScreen("select * from big");
    const double small = firstScreen("select * from small");
    Figure(t.name, "(4) Open to first 40 rows: big / small (1,000 rows), median of 15",
           Fmt("%.2f ms / %.2f ms = %.3f", large * 1e3, small * 1e3, large / small), "<= 1.2",
           large / small <= 1.2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> positional;
    long rows = 1000000;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rows" && i + 1 < argc) {
            rows = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "-h" || a == "--help") {
            std::printf("usage: %s [server host/port] [data folder] [--rows N]\n", argv[0]);
            return 0;
        } else {
            positional.push_back(a);
        }
    }
    const char* envServer = std::getenv("TAVOLIX_FB_SERVER");
    const char* envDir = std::getenv("TAVOLIX_TEST_DIR");
    const std::string server = positional.size() > 0 ? positional[0] : envServer ? envServer : "";
    const std::string dir = positional.size() > 1 ? positional[1] : envDir ? envDir : "";
    if (server.empty() || dir.empty() || rows < 100) {
        std::fprintf(stderr, "fetch_bench: need a server (host/port or TAVOLIX_FB_SERVER), a data "
                             "folder (or TAVOLIX_TEST_DIR) and --rows of at least 100\n");
        return 2;
    }
    const long wideRows = std::max(1L, rows / 5);
    const long smallRows = std::min(1000L, rows);

    try {
        ibx::LoadClientLibrary();
        std::vector<Target> targets(2);
        const auto slash = server.find('/');
        targets[0].name = "remote";
        targets[0].path = dir + "/fetch_bench_remote_" + std::to_string(rows) + ".fdb";
        targets[0].connection = server + ":" + targets[0].path;
        targets[0].host = server.substr(0, slash);
        targets[0].port = slash == std::string::npos ? -1 : std::atoi(server.c_str() + slash + 1);
        targets[1].name = "embedded";
        targets[1].path = dir + "/fetch_bench_embedded_" + std::to_string(rows) + ".fdb";
        targets[1].connection = targets[1].path;
        for (const Target& t : targets)
            PrepareDatabase(t.path, t.connection, rows, wideRows, smallRows);
        std::printf("rows: big %ld, wide %ld (20 columns), small %ld\n", rows, wideRows, smallRows);
        for (const Target& t : targets)
            RunFigures(t, rows, wideRows);
    } catch (const vcl::Exception& e) {
        std::fprintf(stderr, "fetch_bench: %s\n", e.Message().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fetch_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
