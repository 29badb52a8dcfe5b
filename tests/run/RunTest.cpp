// The run button against the real server and the embedded engine: what the grid shows, which
// box comes up, and what a second connection sees committed afterwards.

#include "BoxWatcher.h"
#include "TestDb.h"
#include "app/Application.h"
#include "db/IBDatabase.h"
#include "db/IBQuery.h"
#include "db/IBTransaction.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;
using testdb::Via;

namespace testdb {
void PrintTo(Via via, std::ostream* os) {
    *os << (via == Via::Server ? "Server" : "Embedded");
}
} // namespace testdb

namespace {

const char* const kSchema[] = {
    "create table t (id integer not null primary key, name varchar(20), qty integer)",
    "create table t2 (id integer, name varchar(20))",
    "create table n (id integer not null, v varchar(60))",
    "create table log (x integer)",
    "create procedure p_add returns (total integer) as begin insert into log values (1); "
    "total = 5; end",
};

std::string Unique(const std::string& stem) {
    return stem + "_" + std::to_string(::getpid());
}

// One database per way of reaching it, shared by the tests; the rows are reset before each.
testdb::ScratchDatabase& Database(Via via) {
    static std::map<Via, std::unique_ptr<testdb::ScratchDatabase>> dbs;
    auto& db = dbs[via];
    if (!db) {
        db = std::make_unique<testdb::ScratchDatabase>(
            Unique(via == Via::Server ? "run_srv" : "run_emb"), via);
        db->Exec(std::vector<std::string>(std::begin(kSchema), std::end(kSchema)));
    }
    return *db;
}

// What the second connection reads: the first value of the first row, NULL as "<null>".
std::string FirstValue(const testdb::ScratchDatabase& db, const std::string& select) {
    const auto rows = db.Query(select);
    if (rows.empty() || rows[0].empty())
        return "<no row>";
    return rows[0][0].value_or("<null>");
}

class Run : public testing::Test {
protected:
    void TearDown() override { Close(); }

    void ResetRows(const testdb::ScratchDatabase& db) {
        db.Exec({"delete from t", "delete from t2", "delete from n", "delete from log",
                 "insert into t values (1, 'one', 10)", "insert into t values (2, 'two', 20)",
                 "insert into t values (3, 'three', 30)", "insert into t2 values (1, 'uno')"});
    }

    // The program's start with `list` as database.txt; returns the boxes start-up showed.
    std::vector<testgui::SeenBox> Start(const std::string& list) {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        dir_ = fs::temp_directory_path() / Unique("tavolix_run_" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "database.txt", std::ios::binary) << list;
        vcl::Application->SetExeName((dir_ / "Prg_Tavolix").string());
        testgui::BoxWatcher boxes;
        vcl::Application->CreateForm(dm);
        vcl::Application->CreateForm(L_Tavolix);
        L_Tavolix->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(L_Tavolix));
        return boxes.Boxes();
    }

    void Close() {
        // The window first, then the module, whose end commits what is still pending.
        vcl::Application->DestroyComponents();
        dm = nullptr;
        L_Tavolix = nullptr;
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }

    // Types the text, sets the tick by clicking the box and clicks the run button.
    std::vector<testgui::SeenBox> Click(const std::string& sql, bool ticked) {
        L_Tavolix->mSQL->setPlainText(QString::fromLocal8Bit(sql.data(), qsizetype(sql.size())));
        if (L_Tavolix->CheckBox1->isChecked() != ticked)
            QTest::mouseClick(L_Tavolix->CheckBox1, Qt::LeftButton);
        EXPECT_EQ(L_Tavolix->CheckBox1->isChecked(), ticked);
        testgui::BoxWatcher boxes;
        QTest::mouseClick(L_Tavolix->Button1, Qt::LeftButton);
        // The view asks for its rows when it lays itself out, a little later.
        auto* model = L_Tavolix->DBGrid1->ResultModel();
        for (int i = 0; i < 100 && model->canFetchMore(QModelIndex()) &&
                        std::size_t(model->rowCount()) < L_Tavolix->DBGrid1->RowsWanted();
             ++i)
            QTest::qWait(5);
        QApplication::processEvents();
        return boxes.Boxes();
    }

    static QStringList Titles() {
        const auto* model = L_Tavolix->DBGrid1->ResultModel();
        QStringList titles;
        for (int c = 0; c < model->columnCount(); ++c)
            titles << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        return titles;
    }
    static QStringList Row(int row) {
        const auto* model = L_Tavolix->DBGrid1->ResultModel();
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->data(model->index(row, c), Qt::DisplayRole).toString();
        return cells;
    }
    static int Rows() { return L_Tavolix->DBGrid1->ResultModel()->rowCount(); }

    // After any run, failed or not, the window runs the next statement normally.
    void ExpectUsable() {
        const auto boxes = Click("select count(*) as n from rdb$database", false);
        EXPECT_TRUE(boxes.empty()) << testgui::Describe(boxes.at(0)).toStdString();
        EXPECT_EQ(Titles(), QStringList{QStringLiteral("N")});
        EXPECT_EQ(Row(0), QStringList{QStringLiteral("1")});
    }

    fs::path dir_;
};

// A box text: exact, or when it starts with '~' a part the text must contain.
void ExpectBox(const std::vector<testgui::SeenBox>& boxes, const char* expected,
               const std::string& what) {
    if (!expected) {
        EXPECT_TRUE(boxes.empty()) << what << ": " << testgui::Describe(boxes.at(0)).toStdString();
        return;
    }
    ASSERT_EQ(boxes.size(), 1u) << what;
    const std::string text = boxes[0].text.toLocal8Bit().toStdString();
    if (expected[0] == '~')
        EXPECT_NE(text.find(expected + 1), std::string::npos) << what << ": " << text;
    else
        EXPECT_EQ(text, expected) << what;
}

struct Step {
    const char* sql;
    bool ticked;
    const char* box = nullptr;   ///< null: no box
    const char* check = nullptr; ///< a select on the second connection after the step
    const char* expect = nullptr;
};

struct RunCase {
    const char* name;
    std::vector<Step> steps;
    QStringList titles; ///< what the grid shows after the last step
    std::vector<QStringList> firstRows;
    bool embeddedToo = false;
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

const char* const kNoName = "SQL Parse Error:\r\n\r\nParameter name expected.";
const char* const kEmpty = "Empty SQL Statement.";
const char* const kQty1 = "select qty from t where id = 1";

const RunCase kCases[] = {
    {"SelectFillsTheGrid",
     {{"select id, name, qty from t order by id", false}},
     {"ID", "NAME", "QTY"},
     {{"1", "one", "10"}, {"2", "two", "20"}, {"3", "three", "30"}},
     true},
    {"UpdateOpenSeenByProgramNotByOthers",
     {{"update t set qty = 99 where id = 1", false, nullptr, kQty1, "10"},
      {"select qty from t where id = 1", false, nullptr, kQty1, "10"}},
     {"QTY"},
     {{"99"}},
     true},
    {"UpdateOpenCommittedByLaterTickedRun",
     {{"update t set qty = 99 where id = 1", false, nullptr, kQty1, "10"},
      {"update t set qty = 7 where id = 2", true, nullptr, "select sum(qty) from t", "136"}},
     {},
     {}},
    {"UpdateTickedCommitsAtOnce",
     {{"update t set qty = 5 where id = 3", true, nullptr, "select qty from t where id = 3", "5"}},
     {},
     {},
     true},
    {"SelectTickedRefusedCommitsNothing",
     {{"update t set qty = 99 where id = 1", false},
      {"select id from t", false},
      {"select id from t", true, "use Open for a Select Statement.", kQty1, "10"}},
     {},
     {},
     true},
    {"MarkerIdGivesTitlesNoRows",
     {{"select id, name from t where id = :id", false}},
     {"ID", "NAME"},
     {}},
    {"InsertMarkerPutsNull",
     {{"insert into n (id, v) values (1, :v)", true, nullptr,
       "select coalesce(v, '<was null>') from n where id = 1", "<was null>"}},
     {},
     {},
     true},
    {"InsertMarkerIntoNotNullFails",
     {{"insert into n (id, v) values (:id, 'x')", true, "~validation error for column",
       "select count(*) from n", "0"}},
     {},
     {}},
    {"LoneQuestionMarkOpen", {{"select id from t where id = ?", false, kNoName}}, {}, {}},
    {"LoneQuestionMarkTicked", {{"select id from t where id = ?", true, kNoName}}, {}, {}},
    {"DoubledColonOpen", {{"select id from t where id = ::id", false, kNoName}}, {}, {}},
    {"DoubledColonTicked",
     {{"update t set qty = 1 where id = ::id", true, kNoName, kQty1, "10"}},
     {},
     {}},
    {"ColonInLiteralUnchanged",
     {{"select '10:30' as tm, 'it''s :x' as q from rdb$database", false}},
     {"TM", "Q"},
     {{"10:30", "it's :x"}},
     true},
    // The marker in the comment becomes a question mark there; the statement still runs.
    {"ColonInLineCommentIsAMarker",
     {{"select id from t -- at 10:30\nwhere id = 2", false}},
     {"ID"},
     {{"2"}}},
    {"LineCommentMarkerWithoutNameFails",
     {{"select id from t -- at 10: 30\nwhere id = 2", false, kNoName}},
     {},
     {}},
    {"AlikeColumnsOpen",
     {{"select t.id, t2.id from t join t2 on t2.id = t.id", false,
       "A component named ID already exists."}},
     {},
     {}},
    {"AlikeColumnsTicked",
     {{"select t.id, t2.id from t join t2 on t2.id = t.id", true,
       "A component named ID already exists."}},
     {},
     {}},
    {"SelectForUpdateShowsNothing", {{"select id from t for update", false}}, {}, {}},
    {"ExecuteProcedureOpenShowsNothingCommitsNothing",
     {{"execute procedure p_add", false, nullptr, "select count(*) from log", "0"}},
     {},
     {}},
    {"ExecuteProcedureTickedCommits",
     {{"execute procedure p_add", true, nullptr, "select count(*) from log", "1"}},
     {},
     {},
     true},
    {"SetTransactionOpen", {{"set transaction", false, "Not permitted."}}, {}, {}},
    {"SetTransactionTicked", {{"set transaction", true, "Not permitted."}}, {}, {}},
    {"EmptyOpen", {{"", false, kEmpty}}, {}, {}},
    {"EmptyTicked", {{"", true, kEmpty}}, {}, {}},
    {"LineBreaksOpen", {{"\n\n", false, kEmpty}}, {}, {}},
    {"LineBreaksTicked", {{"\n\n", true, kEmpty}}, {}, {}},
    {"BlanksAndTabsOpen", {{" \t \n  ", false, kEmpty}}, {}, {}},
    {"BlanksAndTabsTicked", {{" \t \n  ", true, kEmpty}}, {}, {}},
    {"ServerRejectsTheStatement", {{"select nope from t", false, "~Column unknown"}}, {}, {}},
    {"FailedTickedRunCommitsNothing",
     {{"update t set qty = 99 where id = 1", false},
      {"insert into t values (1, 'dup', 0)", true, "~violation of PRIMARY or UNIQUE KEY", kQty1,
       "10"},
      {"update t set qty = qty where id = 2", true, nullptr, kQty1, "99"}},
     {},
     {}},
    // A typed commit ends the transaction; the ticked run's own commit then finds none, and
    // the next runs work in a fresh one.
    {"TypedCommitThenMoreRuns",
     {{"update t set qty = 1 where id = 1", false, nullptr, kQty1, "10"},
      {"commit", false, nullptr, kQty1, "1"},
      {"update t set qty = 2 where id = 2", false, nullptr, "select qty from t where id = 2", "20"},
      {"commit", true, "Transaction is not active.", "select qty from t where id = 2", "2"},
      {"update t set qty = 3 where id = 3", true, nullptr, "select sum(qty) from t", "6"},
      {"select sum(qty) as total from t", false}},
     {"TOTAL"},
     {{"6"}},
     true},
};

class RunThroughWindow : public Run,
                         public testing::WithParamInterface<std::tuple<Via, RunCase>> {};

TEST_P(RunThroughWindow, ShowsAndCommitsWhatItShould) {
    const auto& [via, c] = GetParam();
    const testdb::ScratchDatabase& db = Database(via);
    ResetRows(db);
    ASSERT_TRUE(Start(db.ConnectionString() + "\n").empty());

    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        const std::string what = "step " + std::to_string(i + 1) + " [" + step.sql + "]";
        ExpectBox(Click(step.sql, step.ticked), step.box, what);
        if (step.check) {
            EXPECT_EQ(FirstValue(db, step.check), step.expect) << what;
        }
    }
    EXPECT_EQ(Titles(), c.titles);
    ASSERT_EQ(Rows(), static_cast<int>(c.firstRows.size()));
    for (std::size_t r = 0; r < c.firstRows.size(); ++r)
        EXPECT_EQ(Row(static_cast<int>(r)), c.firstRows[r]) << "row " << r;
    EXPECT_TRUE(dm->IBDatabase.Connected());
    ExpectUsable();
}

std::vector<RunCase> EmbeddedCases() {
    std::vector<RunCase> cases;
    for (const RunCase& c : kCases)
        if (c.embeddedToo)
            cases.push_back(c);
    return cases;
}

std::string CaseName(const testing::TestParamInfo<std::tuple<Via, RunCase>>& info) {
    return std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Server, RunThroughWindow,
                         testing::Combine(testing::Values(Via::Server), testing::ValuesIn(kCases)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Embedded, RunThroughWindow,
                         testing::Combine(testing::Values(Via::Embedded),
                                          testing::ValuesIn(EmbeddedCases())),
                         CaseName);

// What the server receives is the editor's text: line breaks as CR LF, every line ended by one,
// blanks, tabs and a statement terminator kept, only the markers replaced.
TEST_F(Run, TextReachesTheServerAsTyped) {
    const testdb::ScratchDatabase& db = Database(Via::Server);
    ResetRows(db);
    ASSERT_TRUE(Start(db.ConnectionString() + "\n").empty());

    // The server lists the running statement with its own text; the replaces make the line
    // breaks visible in the cell.
    const std::string typed =
        "  select replace(replace(cast(mon$sql_text as varchar(2000)), ascii_char(13), '<CR>'),\n"
        "\tascii_char(10), '<LF>') as sent from mon$statements\n"
        "where mon$attachment_id = current_connection and mon$state = 1 and '1:2' = '1:2' "
        "-- at 10:30  \n"
        "; \t ";
    std::string sent;
    for (char ch : typed)
        sent += ch == '\n' ? std::string("<CR><LF>") : std::string(1, ch);
    sent += "<CR><LF>";
    sent.replace(sent.find("10:30"), 5, "10?");
    ExpectBox(Click(typed, false), nullptr, "monitoring select");
    EXPECT_EQ(Titles(), QStringList{QStringLiteral("SENT")});
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0).value(0).toStdString(), sent);

    // Bytes beyond ASCII, a non-breaking space and a line break inside a literal.
    const std::string literal = "a\xC2\xA0\xC3\xA7\t \nb ";
    ExpectBox(Click("insert into n (id, v) values (7, '" + literal + "')", true), nullptr,
              "insert of the literal");
    EXPECT_EQ(FirstValue(db, "select v from n where id = 7"), "a\xC2\xA0\xC3\xA7\t \r\nb ");

    ExpectUsable();
}

// Another connection holds the row; under nowait the run fails at once with the server's text,
// and succeeds once the row is free.
TEST_F(Run, LockConflictFailsAtOnceAndLaterSucceeds) {
    const testdb::ScratchDatabase& db = Database(Via::Server);
    ResetRows(db);
    ASSERT_TRUE(Start(db.ConnectionString() + "\n").empty());

    ibx::TIBDatabase holderDb;
    ibx::TIBTransaction holderTr;
    ibx::TIBQuery holder;
    holderDb.SetParams({"user_name=SYSDBA", "password=quibolant"});
    holderDb.SetDefaultTransaction(&holderTr);
    holderDb.SetDatabaseName(db.ConnectionString());
    holderDb.SetConnected(true);
    holderTr.StartTransaction();
    holder.Database = &holderDb;
    holder.Transaction = &holderTr;
    holder.SetSQLText("update t set qty = qty + 1 where id = 1");
    holder.ExecSQL();

    for (bool ticked : {false, true}) {
        QElapsedTimer clock;
        clock.start();
        ExpectBox(Click("update t set qty = 0 where id = 1", ticked),
                  "~update conflicts with concurrent update", ticked ? "ticked" : "open");
        EXPECT_LT(clock.elapsed(), 5000);
    }
    ExpectUsable();
    EXPECT_EQ(FirstValue(db, kQty1), "10");

    holderTr.Rollback();
    ExpectBox(Click("update t set qty = 0 where id = 1", true), nullptr, "after the release");
    EXPECT_EQ(FirstValue(db, kQty1), "0");
}

// Start-up found no database; the file is created afterwards and the first run connects to
// the same name. The indicator stays hidden.
TEST_F(Run, FailedStartUpConnectionIsRetriedByTheFirstRun) {
    const std::string name = Unique("run_late");
    const std::string later = testdb::Server() + ":" + testdb::Dir() + "/" + name + "-" +
                              std::to_string(::getpid()) + ".fdb";
    const auto startBoxes = Start(later + "\n");
    ASSERT_EQ(startBoxes.size(), 1u);
    ASSERT_FALSE(dm->IBDatabase.Connected());

    auto db = std::make_unique<testdb::ScratchDatabase>(name, Via::Server);
    ASSERT_EQ(db->ConnectionString(), later);
    db->Exec(std::vector<std::string>{"create table r (x varchar(10))",
                                      "insert into r values ('late')"});

    ExpectBox(Click("select x from r", false), nullptr, "first run");
    EXPECT_EQ(Titles(), QStringList{QStringLiteral("X")});
    EXPECT_EQ(Row(0), QStringList{QStringLiteral("late")});
    EXPECT_TRUE(dm->IBDatabase.Connected());
    EXPECT_TRUE(dm->IBTransaction.Active());
    EXPECT_TRUE(L_Tavolix->Image1->isHidden());
    Close(); // detach before the file is dropped
    db.reset();
}

// Without a connection: the ticked empty run never tries to connect, the open one tries first.
TEST_F(Run, EmptyEditorWithoutAConnection) {
    ASSERT_EQ(Start("127.0.0.1/1:nowhere.fdb\n").size(), 1u);
    ExpectBox(Click("", true), kEmpty, "ticked");
    EXPECT_FALSE(dm->IBDatabase.Connected());
    ExpectBox(Click("", false), "~Unable to complete network request", "open");
    ExpectBox(Click("select 1 from rdb$database", true), "~Unable to complete network request",
              "ticked select");
    EXPECT_FALSE(dm->IBDatabase.Connected());
    EXPECT_FALSE(dm->IBTransaction.Active());
    Close();

    // A list beginning with an empty line leaves no name at all.
    ASSERT_EQ(Start("\n" + Database(Via::Server).ConnectionString() + "\n").size(), 1u);
    for (bool ticked : {false, true}) {
        ExpectBox(Click("select 1 from rdb$database", ticked), "Database name is missing.",
                  ticked ? "ticked" : "open");
    }
    ExpectBox(Click("", true), kEmpty, "ticked empty");
    EXPECT_FALSE(dm->IBDatabase.Connected());
}

} // namespace

int main(int argc, char** argv) {
    // The list of tests is read at build time, when no display settings are given.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    vcl::TApplication application(argc, argv);
    application.Initialize();
    return RUN_ALL_TESTS();
}
