// Bad input through the window: statements of megabytes, NUL bytes and bytes that are not
// UTF-8 in the editor, database lists of a million lines or of binary junk, and connection
// strings far longer than any name. Each works or gives a clear error; nothing is lost and the
// window goes on.
#include "FaultRig.h"

#include <QClipboard>
#include <QMimeData>

#include <random>

namespace faults {
namespace {

using testdb::Via;

const QString kTurkish = QString::fromUtf8("Database bağlantısını kontrol ediniz!");

class BadInput : public Window {
protected:
    void SetUp() override {
        Window::SetUp();
        db_ = std::make_unique<testdb::ScratchDatabase>(Unique("badinput"), Via::Server);
        db_->Exec(std::vector<std::string>{"create table n (id integer, v varchar(200))"});
    }
    void TearDown() override {
        Window::TearDown();
        db_.reset();
    }

    void ExpectUsable() {
        const auto boxes = Click(std::string("select count(*) from rdb$database"), false);
        EXPECT_TRUE(boxes.empty()) << Text(boxes);
        EXPECT_EQ(Cell(0, 0), "1");
    }

    std::unique_ptr<testdb::ScratchDatabase> db_;
};

// --- Statements of several megabytes ---------------------------------------------------------

struct Huge {
    const char* name;
    std::string sql;
    const char* box; ///< part of the box's text; null when the server accepts it
};

void PrintTo(const Huge& h, std::ostream* os) {
    *os << h.name;
}

const std::size_t kFiveMB = 5u << 20;

// Lines of pasted text: the editor lays out one line of megabytes far too slowly (about 7 s for
// half a megabyte, growing with the square of the length), so the megabytes come in lines.
std::string Lines(const std::string& stem) {
    std::string lines;
    while (lines.size() < kFiveMB)
        lines += stem + std::to_string(lines.size()) + "\n";
    return lines;
}

std::vector<Huge> HugeCases() {
    const std::string text = Lines("a pasted line of text that says nothing at all, ");
    return {
        {"LineComments",
         Lines("-- a pasted line of text that says nothing at all, ") +
             "select 1 as x from rdb$database",
         nullptr},
        {"BlockComment", "select 1 as x from rdb$database /* " + text + " */", nullptr},
        {"Literal", "select '" + text + "' as x from rdb$database", "exceeds the maximum length"},
    };
}

class HugeStatement : public BadInput, public testing::WithParamInterface<Huge> {};

TEST_P(HugeStatement, ReachesTheServerWhichJudgesIt) {
    const Huge& c = GetParam();
    ASSERT_TRUE(Start(db_->ConnectionString() + "\n").empty());
    QElapsedTimer clock;
    clock.start();
    const auto boxes = Click(c.sql, false);
    std::cout << "[ " << c.name << " ] " << clock.elapsed()
              << " ms: " << (boxes.empty() ? std::string("no box") : Text(boxes).substr(0, 300))
              << "\n";
    if (c.box) {
        EXPECT_TRUE(OneBoxWith(boxes, c.box));
    } else {
        EXPECT_TRUE(boxes.empty()) << Text(boxes).substr(0, 300);
        EXPECT_EQ(Cell(0, 0), "1");
    }
    ExpectUsable();
}

INSTANTIATE_TEST_SUITE_P(BadInput, HugeStatement, testing::ValuesIn(HugeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- NUL bytes and text that is not UTF-8 ----------------------------------------------------

// A NUL typed or pasted into the editor would cut the statement short at the server; the run
// refuses it instead and the database is untouched.
TEST_F(BadInput, NulInTheEditorIsRefused) {
    ASSERT_TRUE(Start(db_->ConnectionString() + "\n").empty());
    const QString typed = QStringLiteral("insert into n values (1, 'a')") + QChar(0) +
                          QStringLiteral("; delete from n");
    for (bool ticked : {true, false}) {
        EXPECT_TRUE(
            OneBoxWith(Click(typed, ticked), "The statement text contains a NUL character."));
        EXPECT_EQ(Rows(), 0);
    }

    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/plain"), QByteArray("insert into n values (2, 'b\0c')", 32));
    QGuiApplication::clipboard()->setMimeData(mime);
    L_Tavolix->mSQL->clear();
    L_Tavolix->mSQL->paste();
    if (L_Tavolix->mSQL->toPlainText().isEmpty()) {
        std::cout << "[ paste ] the platform has no clipboard; typed NUL only\n";
    } else {
        testgui::BoxWatcher boxes;
        L_Tavolix->CheckBox1->setChecked(true);
        QTest::mouseClick(L_Tavolix->Button1, Qt::LeftButton);
        boxes.WaitFor(1, 200);
        EXPECT_TRUE(OneBoxWith(boxes.Boxes(), "The statement text contains a NUL character."))
            << L_Tavolix->mSQL->toPlainText().toStdString();
    }
    EXPECT_EQ(db_->Scalar("select count(*) from n"), 0);
    ExpectUsable();
}

// Bytes that are not UTF-8 cannot reach the editor as such: pasted, they become U+FFFD, and a
// lone surrogate typed becomes a question mark on the way to the server. Either way the run does
// what the text now says, and the database holds exactly that.
TEST_F(BadInput, InvalidUtf8InTheEditorIsSentAsReplacementCharacters) {
    ASSERT_TRUE(Start(db_->ConnectionString() + "\n").empty());

    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/plain"), QByteArray("insert into n values (1, 'a\xFF\xFE"
                                                           "b\xC3')"));
    QGuiApplication::clipboard()->setMimeData(mime);
    L_Tavolix->mSQL->clear();
    L_Tavolix->mSQL->paste();
    const QString pasted = L_Tavolix->mSQL->toPlainText();
    if (!pasted.isEmpty()) {
        testgui::BoxWatcher boxes;
        L_Tavolix->CheckBox1->setChecked(true);
        QTest::mouseClick(L_Tavolix->Button1, Qt::LeftButton);
        boxes.WaitFor(1, 200);
        EXPECT_TRUE(boxes.Boxes().empty()) << Text(boxes.Boxes());
        const auto v = db_->Query("select v from n where id = 1");
        ASSERT_EQ(v.size(), 1u);
        const qsizetype open = pasted.indexOf('\''), close = pasted.lastIndexOf('\'');
        EXPECT_EQ(v[0][0].value_or("<null>"),
                  pasted.mid(open + 1, close - open - 1).toLocal8Bit().toStdString());
        std::cout << "[ pasted ] stored as [" << v[0][0].value_or("<null>") << "]\n";
    }

    const QString typed =
        QStringLiteral("insert into n values (2, 'x") + QChar(0xD800) + QStringLiteral("y')");
    const auto boxes = Click(typed, true);
    EXPECT_TRUE(boxes.empty()) << Text(boxes);
    const auto v = db_->Query("select v from n where id = 2");
    ASSERT_EQ(v.size(), 1u);
    std::cout << "[ lone surrogate ] stored as [" << v[0][0].value_or("<null>") << "]\n";
    const QString literal = QStringLiteral("x") + QChar(0xD800) + QStringLiteral("y");
    EXPECT_EQ(v[0][0].value_or("<null>"), literal.toLocal8Bit().toStdString());
    ASSERT_TRUE(v[0][0].has_value());
    EXPECT_EQ(v[0][0]->front(), 'x');
    EXPECT_EQ(v[0][0]->back(), 'y');
    ExpectUsable();
}

// --- Database lists ------------------------------------------------------------------------------

// A million entries (a tenth under the sanitizers, which make every allocation slow): the first
// is used, all are listed, and the window opens.
#ifdef TAVOLIX_SANITIZED
constexpr int kLongListLines = 100000;
#else
constexpr int kLongListLines = 1000000;
#endif

TEST_F(BadInput, AVeryLongListOpensTheWindow) {
    std::string list = db_->ConnectionString() + "\n";
    list.reserve(40u << 20);
    for (int i = 1; i < kLongListLines; ++i)
        list += "127.0.0.1/1:/nowhere/db" + std::to_string(i) + ".fdb\n";
    QElapsedTimer clock;
    clock.start();
    const auto boxes = Start(list);
    const auto opened = clock.elapsed();
    std::cout << "[ " << kLongListLines << " lines ] window open after " << opened << " ms\n";
    RecordProperty("long_list_ms", static_cast<int>(opened));
    EXPECT_TRUE(boxes.empty()) << Text(boxes);
    EXPECT_EQ(L_Tavolix->ComboBox1->count(), kLongListLines);
    EXPECT_EQ(L_Tavolix->ComboBox1->currentText().toStdString(), db_->ConnectionString());
    EXPECT_TRUE(dm->IBDatabase.Connected());
    ExpectUsable();
}

// Junk bytes: the first "line" names no database, so start-up shows the Turkish message and a
// run shows the client library's text.
TEST_F(BadInput, AListOfBinaryJunkGivesTheStartUpMessage) {
    std::mt19937 random(20240611);
    std::string junk;
    for (int i = 0; i < 256 * 1024; ++i)
        junk += static_cast<char>(random() % 255 + 1); // a NUL would end the list at once
    junk[0] = 'X';
    QElapsedTimer clock;
    clock.start();
    const auto boxes = Start(junk);
    std::cout << "[ junk ] window open after " << clock.elapsed() << " ms, "
              << L_Tavolix->ComboBox1->count() << " entries\n";
    ASSERT_EQ(boxes.size(), 1u) << Text(boxes);
    EXPECT_EQ(boxes[0].text, kTurkish);
    EXPECT_FALSE(dm->IBDatabase.Connected());
    EXPECT_GT(L_Tavolix->ComboBox1->count(), 1);
    const auto run = Click(std::string("select 1 from rdb$database"), false);
    ASSERT_EQ(run.size(), 1u);
    std::cout << "[ junk ] run: " << Text(run) << "\n";
    EXPECT_FALSE(run[0].text.isEmpty());
    EXPECT_EQ(run[0].icon, QMessageBox::Critical);
}

// --- Connection strings of kilobytes -------------------------------------------------------------

struct LongName {
    std::size_t length;
    const char* box; ///< part of a later run's box
};

void PrintTo(const LongName& n, std::ostream* os) {
    *os << n.length << " bytes";
}

class LongConnectionString : public BadInput, public testing::WithParamInterface<LongName> {};

TEST_P(LongConnectionString, GivesTheStartUpMessageAndAClearError) {
    const LongName& c = GetParam();
    std::string name = Server().Address() + ":" + Server().DataDir() + "/";
    name += std::string(c.length - name.size() - 4, 'a') + ".fdb";
    ASSERT_EQ(name.size(), c.length);
    const auto boxes = Start(name + "\n");
    ASSERT_EQ(boxes.size(), 1u) << Text(boxes);
    EXPECT_EQ(boxes[0].text, kTurkish);
    EXPECT_FALSE(dm->IBDatabase.Connected());
    const auto run = Click(std::string("select 1 from rdb$database"), false);
    std::cout << "[ " << c.length << " bytes ] run: " << Text(run).substr(0, 300) << "\n";
    EXPECT_TRUE(OneBoxWith(run, c.box));
    EXPECT_FALSE(dm->IBDatabase.Connected());
}

INSTANTIATE_TEST_SUITE_P(BadInput, LongConnectionString,
                         testing::Values(LongName{4096, "I/O error"},
                                         LongName{40960, "Database name is too long."}),
                         [](const auto& info) { return std::to_string(info.param.length); });

} // namespace
} // namespace faults
