// The result grid over a real query: column kinds and texts from the server, rows fetched only as
// the view needs them, and a result that no key can change.
#include "GridSession.h"

#include "TestDb.h"
#include "controls/DBGrid.h"
#include "db/FieldText.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using testdb::ScratchDatabase;
using testdb::Via;

// Regional settings fixed for the test, with a comma so the separator is visibly regional.
struct RegionalSettingsScope {
    vcl::TFormatSettings saved = vcl::FormatSettings();
    RegionalSettingsScope() {
        vcl::TFormatSettings& fs = vcl::FormatSettings();
        fs.ShortDateFormat = "dd.MM.yyyy";
        fs.TimeSeparator = ":";
        fs.TimeLeadingZero = true;
        fs.TwentyFourHour = true;
        fs.DecimalSeparator = ',';
    }
    ~RegionalSettingsScope() { vcl::FormatSettings() = saved; }
};

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(5);
    }
}

QString Text(const QAbstractItemModel& m, int row, int column) {
    return m.data(m.index(row, column)).toString();
}

// ---------------------------------------------------------------------------------------------
// Every kind of column, once through the server and once through the embedded engine.

class GridKinds : public testing::TestWithParam<Via> {};

TEST_P(GridKinds, ShowsEachKindsTextAndLeavesOutArrayAndKey) {
    RegionalSettingsScope regional;
    const Via via = GetParam();
    ScratchDatabase scratch(via == Via::Server ? "grid-kinds-srv" : "grid-kinds-emb", via);
    const std::string calisir = "\xC7\x61l\xFD\xFEt\xFDr"; // 8-bit text, never converted
    scratch.Exec({"create table kinds (id integer, s varchar(20), c char(5), si smallint, "
                  "bi bigint, n92 numeric(9,2), n186 numeric(18,6), f float, d double precision, "
                  "dt date, tm time, ts timestamp, ts2 timestamp, memo blob sub_type 1, "
                  "bl blob sub_type 0, arr integer[3])",
                  "insert into kinds values (1, '" + calisir +
                      "', 'ab', -7, 9007199254740993, 2.5, 1234.567891, 1.1, 0.1, "
                      "'2024-02-29', '13:05:09', '2024-02-29 00:00:00', '2024-02-29 23:59:59', "
                      "'x', 'y', null)",
                  "insert into kinds (id, n92) values (2, 3)"});

    GridSession s(scratch.ConnectionString());
    vcl::TDBGrid grid;
    grid.SetDataSource(&s.source);
    s.Run("select k.*, k.rdb$db_key as ibx_internal_dbkey from kinds k order by id");
    s.qry.FetchAll();
    vcl::TResultModel& m = *grid.ResultModel();

    const std::vector<std::string> titles = {"ID", "S",  "C",  "SI", "BI",  "N92",  "N186", "F",
                                             "D",  "DT", "TM", "TS", "TS2", "MEMO", "BL"};
    const std::vector<std::vector<std::string>> rows = {
        {"1", calisir, "ab   ", "-7", "9007199254740993", "2,5", "1234,567891", "1,1", "0,1",
         "29.02.2024", "13:05:09", "29.02.2024", "29.02.2024 23:59:59", "(MEMO)", "(BLOB)"},
        {"2", "", "", "", "", "3", "", "", "", "", "", "", "", "(Memo)", "(Blob)"}};

    ASSERT_EQ(m.columnCount(), int(titles.size()));
    ASSERT_EQ(m.rowCount(), 2);
    for (int c = 0; c < m.columnCount(); ++c)
        EXPECT_EQ(m.headerData(c, Qt::Horizontal).toString().toStdString(), titles[c]);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < m.columnCount(); ++c) {
            SCOPED_TRACE(titles[c] + " row " + std::to_string(r));
            // The bytes exactly as the server gave them, and the same text at the widget.
            const ibx::CellView cell = s.qry.Rows()->Cell(std::size_t(r), std::size_t(c));
            EXPECT_EQ(ibx::CellText(s.qry.Fields()[std::size_t(c)], cell), rows[r][c]);
            EXPECT_EQ(Text(m, r, c), QString::fromLocal8Bit(rows[r][c]));
        }
}

INSTANTIATE_TEST_SUITE_P(ServerAndEmbedded, GridKinds, testing::Values(Via::Server, Via::Embedded),
                         [](const auto& info) {
                             return info.param == Via::Server ? "Server" : "Embedded";
                         });

// ---------------------------------------------------------------------------------------------
// A grid of the window's size over a large table.

constexpr int kBigRows = 10000;

class GridOverBigTable : public testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<ScratchDatabase>("grid-big", Via::Server);
        scratch_->Exec({"create table big (id integer not null primary key, name varchar(40), "
                        "amount numeric(9,2))",
                        "execute block as declare i integer = 0; begin while (i < " +
                            std::to_string(kBigRows) +
                            ") do begin insert into big values (:i, 'row ' || :i, :i / 4.0); "
                            "i = i + 1; end end"});
    }
    static void TearDownTestSuite() { scratch_.reset(); }

    void SetUp() override {
        session_ = std::make_unique<GridSession>(scratch_->ConnectionString());
        window_.resize(860, 239); // the grid's size in the statement window
        auto* layout = new QVBoxLayout(&window_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(before_ = new QLineEdit);
        layout->addWidget(grid_ = new vcl::TDBGrid);
        before_->setFixedHeight(0);
        grid_->SetDataSource(&session_->source);
        grid_->SetBeep([this] { ++beeps_; });
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
        QApplication::setActiveWindow(&window_);
        grid_->setFocus();
        Settle();
    }
    void TearDown() override {
        grid_->SetDataSource(nullptr);
        session_.reset();
    }

    std::size_t Cached() const { return session_->qry.RecordCount(); }
    std::uint64_t Calls() const { return session_->qry.FetchCalls(); }
    // Rows that meet the viewport at the top, plus the one below that tells the view more exist.
    std::size_t ScreenRows() const {
        const int h = grid_->viewport()->height(),
                  rh = grid_->verticalHeader()->defaultSectionSize();
        return std::size_t((h + rh - 1) / rh + 1);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid_;
        QTest::keyClick(target, Qt::Key(key), mods);
        Settle();
    }
    void Type(char ch) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid_;
        QTest::keyClick(target, ch);
        Settle();
    }
    QLineEdit* Editor() const {
        for (QLineEdit* e : grid_->findChildren<QLineEdit*>())
            if (e->isVisible())
                return e;
        return nullptr;
    }

    static std::unique_ptr<ScratchDatabase> scratch_;
    std::unique_ptr<GridSession> session_;
    QWidget window_;
    QLineEdit* before_ = nullptr;
    vcl::TDBGrid* grid_ = nullptr;
    int beeps_ = 0;
};

std::unique_ptr<ScratchDatabase> GridOverBigTable::scratch_;

TEST_F(GridOverBigTable, FetchesOnlyWhatTheViewShowsAndNothingTwice) {
    const std::string select = "select id, name, amount from big order by id";
    const auto start = Calls();
    session_->Run(select);
    EXPECT_EQ(Cached(), 0u) << "opening fetches no row";
    Settle();

    const std::size_t screen = ScreenRows();
    ASSERT_GT(screen, 3u);
    EXPECT_EQ(Cached(), screen);
    EXPECT_EQ(Calls() - start, screen) << "one isc_dsql_fetch per row";
    EXPECT_EQ(grid_->ResultModel()->rowCount(), int(screen));

    // Moving and scrolling fetch as far as the move needs, not a batch beyond it.
    grid_->setCurrentIndex(grid_->model()->index(0, 0));
    for (int i = 0; i < 3; ++i) {
        const std::size_t cached = Cached();
        const auto calls = Calls();
        const int before = grid_->currentIndex().row();
        Key(Qt::Key_PageDown);
        const int row = grid_->currentIndex().row();
        EXPECT_GT(Cached(), cached);
        EXPECT_GE(row - before, int(screen) - 3) << "a page down moves a page";
        EXPECT_GE(Cached(), grid_->RowsWanted()) << "the screen is filled";
        EXPECT_LE(Cached(), std::size_t(row) + 2 * screen + 2);
        EXPECT_EQ(Calls() - calls, Cached() - cached);
    }
    {
        const std::size_t cached = Cached();
        QScrollBar* bar = grid_->verticalScrollBar();
        bar->setValue(bar->maximum());
        Settle();
        EXPECT_GT(Cached(), cached);
        EXPECT_LE(Cached(), cached + screen + 1);
    }

    // Ctrl+End fetches the rest and goes to the last row.
    const std::size_t beforeEnd = Cached();
    const auto callsBeforeEnd = Calls();
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Cached(), std::size_t(kBigRows));
    EXPECT_TRUE(session_->qry.Eof());
    EXPECT_FALSE(grid_->model()->canFetchMore(QModelIndex()));
    EXPECT_EQ(grid_->currentIndex().row(), kBigRows - 1);
    EXPECT_EQ(Calls() - callsBeforeEnd, kBigRows - beforeEnd + 1) << "the last call finds the end";
    EXPECT_EQ(Text(*grid_->model(), kBigRows - 1, 1), QString("row %1").arg(kBigRows - 1));

    // Moving back costs no server call.
    const auto callsAtEnd = Calls();
    Key(Qt::Key_Home, Qt::ControlModifier);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_Up);
    grid_->verticalScrollBar()->setValue(grid_->verticalScrollBar()->maximum() / 2);
    Settle();
    EXPECT_EQ(Calls(), callsAtEnd);

    // The same select again fetches its rows anew.
    const auto callsBeforeRerun = Calls();
    session_->Run(select);
    EXPECT_EQ(Cached(), 0u);
    EXPECT_EQ(grid_->model()->rowCount(), 0);
    Settle();
    EXPECT_EQ(Cached(), ScreenRows());
    EXPECT_EQ(Calls() - callsBeforeRerun, Cached());
    EXPECT_EQ(Text(*grid_->model(), 0, 1), "row 0");
}

TEST_F(GridOverBigTable, BlankWhenClosedOrWithoutResultAndTitlesWithoutRows) {
    vcl::TResultModel& m = *grid_->ResultModel();
    EXPECT_EQ(m.columnCount(), 0);

    session_->Run("select id, name as \"Ad\" from big where id < 0");
    Settle();
    ASSERT_EQ(m.columnCount(), 2);
    EXPECT_EQ(m.headerData(0, Qt::Horizontal).toString(), "ID");
    EXPECT_EQ(m.headerData(1, Qt::Horizontal).toString(), "Ad");
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_FALSE(m.canFetchMore(QModelIndex()));
    EXPECT_FALSE(grid_->horizontalHeader()->isHidden());
    EXPECT_GE(grid_->columnWidth(1), grid_->fontMetrics().horizontalAdvance("Ad"));

    session_->Run("update big set name = name where id < 0");
    Settle();
    EXPECT_TRUE(session_->qry.Active());
    EXPECT_EQ(m.columnCount(), 0);
    EXPECT_EQ(m.rowCount(), 0);

    session_->Run("select id from big");
    Settle();
    EXPECT_GT(m.rowCount(), 0);
    session_->qry.Close();
    EXPECT_EQ(m.columnCount(), 0);
    EXPECT_EQ(m.rowCount(), 0);
}

TEST_F(GridOverBigTable, NoKeyChangesTheResult) {
    session_->Run("select id, name, amount from big where id < 3 order by id");
    Settle();
    const QAbstractItemModel& m = *grid_->model();
    ASSERT_EQ(m.rowCount(), 3);
    const auto snapshot = [&] {
        std::vector<QString> cells;
        for (int r = 0; r < m.rowCount(); ++r)
            for (int c = 0; c < m.columnCount(); ++c)
                cells.push_back(Text(m, r, c));
        return cells;
    };
    const auto original = snapshot();

    // A letter in a number column opens the read-only editor, takes nothing and beeps.
    grid_->setCurrentIndex(m.index(1, 0));
    Type('x');
    QLineEdit* editor = Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_EQ(editor->text(), "1");
    EXPECT_EQ(beeps_, 1);
    Type('7'); // a digit could be a number: no beep, still taken by nothing
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(editor->text(), "1");
    Key(Qt::Key_Escape);

    // F2 and Enter open it as well; in a text column no character beeps.
    grid_->setCurrentIndex(m.index(1, 1));
    Key(Qt::Key_F2);
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->text(), "row 1");
    Type('q');
    EXPECT_EQ(Editor()->text(), "row 1");
    Key(Qt::Key_Return);
    EXPECT_EQ(Editor(), nullptr);
    Key(Qt::Key_Return);
    ASSERT_NE(Editor(), nullptr);
    Type(',');
    Key(Qt::Key_Return);
    EXPECT_EQ(beeps_, 1);

    // Insert, Ctrl+Delete and moving down from the last row add, delete and ask nothing.
    Key(Qt::Key_Insert);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    Key(Qt::Key_End, Qt::ControlModifier);
    const QModelIndex last = grid_->currentIndex();
    Key(Qt::Key_Down);
    EXPECT_EQ(grid_->currentIndex(), last);
    EXPECT_EQ(m.rowCount(), 3);
    EXPECT_EQ(snapshot(), original);
    EXPECT_EQ(scratch_->Scalar("select count(*) from big"), kBigRows);
    EXPECT_EQ(scratch_->Scalar("select count(*) from big where name <> 'row ' || id"), 0);

    // Tab moves between cells, on to the next row, and never leaves the grid.
    grid_->setCurrentIndex(m.index(0, 0));
    Key(Qt::Key_Tab);
    EXPECT_EQ(grid_->currentIndex(), m.index(0, 1));
    Key(Qt::Key_Tab);
    Key(Qt::Key_Tab);
    EXPECT_EQ(grid_->currentIndex(), m.index(1, 0));
    EXPECT_EQ(QApplication::focusWidget(), grid_);
}

} // namespace
