// The window's start-up handler against the real server and the embedded engine: what it reads,
// what it connects to, which box it shows and what the status bar says afterwards.

#include "BoxWatcher.h"
#include "TestDb.h"
#include "app/Application.h"
#include "core/DateTimeText.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testdb::Via;

namespace {

const std::string kTurkish = "Database ba\xC4\x9Flant\xC4\xB1s\xC4\xB1n\xC4\xB1 kontrol ediniz!";

// The boxes the handler showed, with when each came up and when it was answered.
struct Box : testgui::SeenBox {
    QDateTime shown, dismissed;
};

// Answers each box after `holdMs`, so a test can see what was done while it stood.
class Boxes {
public:
    explicit Boxes(int holdMs = 0)
        : watcher_([this, holdMs](const testgui::SeenBox& seen) {
              Box box{seen, QDateTime::currentDateTime(), {}};
              // Events are not served meanwhile: the watcher would see the same box again.
              std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
              box.dismissed = QDateTime::currentDateTime();
              seen_.push_back(box);
          }) {}
    const std::vector<Box>& Seen() const { return seen_; }

private:
    std::vector<Box> seen_;
    testgui::BoxWatcher watcher_;
};

QString Q(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string Unique(const std::string& stem) {
    return stem + "_" + std::to_string(::getpid());
}

class StartUp : public testing::Test {
protected:
    static void SetUpTestSuite() {
        serverDb_ = std::make_unique<testdb::ScratchDatabase>(Unique("startup_srv"), Via::Server);
        embeddedDb_ =
            std::make_unique<testdb::ScratchDatabase>(Unique("startup_emb"), Via::Embedded);
    }
    static void TearDownTestSuite() {
        serverDb_.reset();
        embeddedDb_.reset();
    }

    void SetUp() override {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        dir_ = fs::temp_directory_path() / Unique("tavolix_startup_" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        vcl::TFormatSettings& f = vcl::FormatSettings();
        f = vcl::TFormatSettings{};
        f.ShortDateFormat = "yyyy-MM-dd";
        f.TimeLeadingZero = true;
    }
    void TearDown() override {
        vcl::Application->DestroyComponents();
        dm = nullptr;
        L_Tavolix = nullptr;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    void WriteList(const std::string& bytes) {
        std::ofstream(dir_ / "database.txt", std::ios::binary) << bytes;
    }

    // The program's start: the data module, then the window whose creation runs the handler.
    std::vector<Box> Start(int holdMs = 0) {
        vcl::Application->SetExeName((dir_ / "Prg_Tavolix").string());
        Boxes boxes(holdMs);
        vcl::Application->CreateForm(dm);
        vcl::Application->CreateForm(L_Tavolix);
        return boxes.Seen();
    }

    static std::string Substitute(std::string text) {
        for (auto [key, value] :
             {std::pair<std::string, std::string>{"{srv}", serverDb_->ConnectionString()},
              {"{emb}", embeddedDb_->ConnectionString()}}) {
            for (size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, key.size(), value);
        }
        return text;
    }

    fs::path dir_;
    static inline std::unique_ptr<testdb::ScratchDatabase> serverDb_, embeddedDb_;
};

enum class Shown { Nothing, Turkish, FileError };

struct Outcome {
    const char* name;
    std::optional<std::string> list; // nullopt: no file; "<dir>": a directory of that name
    Shown shown;
    std::vector<std::string> items;
    bool connected;
};

void PrintTo(const Outcome& c, std::ostream* os) {
    *os << c.name;
}

const Outcome kOutcomes[] = {
    {"ServerSuccess", "{srv}\r\nsecond\r\n", Shown::Nothing, {"{srv}", "second"}, true},
    {"EmbeddedSuccess", "{emb}\n", Shown::Nothing, {"{emb}"}, true},
    {"NoSuchDatabase",
     "127.0.0.1/30555:/nonexistent/startup.fdb\n{srv}",
     Shown::Turkish,
     {"127.0.0.1/30555:/nonexistent/startup.fdb", "{srv}"},
     false},
    {"NothingListening",
     "127.0.0.1/1:startup.fdb",
     Shown::Turkish,
     {"127.0.0.1/1:startup.fdb"},
     false},
    {"EmptyFile", "", Shown::Turkish, {}, false},
    {"EmptyFirstLine", "\r\n{srv}\r\n", Shown::Turkish, {"", "{srv}"}, false},
    {"MissingFile", std::nullopt, Shown::FileError, {}, false},
    {"DirectoryFile", "<dir>", Shown::FileError, {}, false},
};

class StartUpOutcome : public StartUp, public testing::WithParamInterface<Outcome> {};

TEST_P(StartUpOutcome, LeavesTheWindowAndTheModuleAsExpected) {
    const Outcome& c = GetParam();
    if (c.list == "<dir>")
        fs::create_directory(dir_ / "database.txt");
    else if (c.list)
        WriteList(Substitute(*c.list));

    const std::vector<Box> boxes = Start();

    ASSERT_TRUE(L_Tavolix);
    EXPECT_EQ(vcl::Application->MainForm(), L_Tavolix) << "the window opens in every outcome";
    QStringList items;
    for (const std::string& item : c.items)
        items << Q(Substitute(item));
    QStringList shownItems;
    for (int i = 0; i < L_Tavolix->ComboBox1->count(); ++i)
        shownItems << L_Tavolix->ComboBox1->itemText(i);
    EXPECT_EQ(shownItems, items);
    EXPECT_EQ(L_Tavolix->ComboBox1->currentText(), items.value(0));
    EXPECT_EQ(dm->IBDatabase.DatabaseName(), items.isEmpty() ? "" : Substitute(c.items[0]));
    EXPECT_EQ(dm->IBDatabase.Connected(), c.connected);
    EXPECT_EQ(dm->IBTransaction.Active(), c.connected);
    EXPECT_EQ(L_Tavolix->Image1->isVisibleTo(L_Tavolix), c.connected);

    const QString status = L_Tavolix->StatusBar1->Panel(0)->text();
    if (c.shown == Shown::FileError) {
        EXPECT_EQ(status, QString());
    } else {
        QDateTime at = QDateTime::fromString(status, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!at.isValid()) // exactly midnight shows the date alone
            at = QDateTime::fromString(status, QStringLiteral("yyyy-MM-dd"));
        ASSERT_TRUE(at.isValid()) << status.toStdString();
        EXPECT_LE(std::abs(at.secsTo(QDateTime::currentDateTime())), 5);
    }

    switch (c.shown) {
    case Shown::Nothing:
        EXPECT_TRUE(boxes.empty()) << boxes[0].text.toStdString();
        break;
    case Shown::Turkish:
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, QString::fromUtf8(kTurkish));
        EXPECT_EQ(boxes[0].caption, QString());
        EXPECT_EQ(boxes[0].icon, QMessageBox::NoIcon);
        EXPECT_EQ(boxes[0].buttons, QStringList{QStringLiteral("OK")});
        EXPECT_EQ(boxes[0].visibleWindows, 0);
        break;
    case Shown::FileError: {
        ASSERT_EQ(boxes.size(), 1u);
        const std::string path = (dir_ / "database.txt").string();
        const std::string reason = c.list ? "Is a directory" : "No such file or directory";
        EXPECT_EQ(boxes[0].text, Q("Cannot open file \"" + path + "\". " + reason + "."));
        EXPECT_EQ(boxes[0].caption, QStringLiteral("Prg_tavolix"));
        EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes[0].buttons, QStringList{QStringLiteral("OK")});
        EXPECT_EQ(boxes[0].visibleWindows, 0) << "the box comes before the window";
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, StartUpOutcome, testing::ValuesIn(kOutcomes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartUp, SuccessIsAnAttachmentToTheFirstEntry) {
    WriteList(serverDb_->ConnectionString() + "\n");
    ASSERT_TRUE(Start().empty());
    EXPECT_GE(serverDb_->Scalar("select count(*) from mon$attachments "
                                "where mon$attachment_id <> current_connection "
                                "and mon$remote_pid = " +
                                std::to_string(::getpid())),
              1);
}

// The entry's bytes go to the connection untouched, whatever the widget makes of them.
TEST_F(StartUp, FirstEntryReachesTheConnectionByteForByte) {
    for (const std::string& first :
         {serverDb_->ConnectionString() + " ", "\xEF\xBB\xBF" + serverDb_->ConnectionString(),
          std::string("\tdb \xF0\xFD")}) {
        WriteList(first + "\r\nother\r\n");
        Start();
        EXPECT_EQ(dm->IBDatabase.DatabaseName(), first);
        EXPECT_EQ(L_Tavolix->ComboBox1->itemText(0), Q(first));
        vcl::Application->DestroyComponents();
        dm = nullptr;
        L_Tavolix = nullptr;
    }
}

TEST_F(StartUp, StatusTimeIsTakenAfterTheBoxIsDismissed) {
    WriteList("127.0.0.1/1:startup.fdb\n");
    const std::vector<Box> boxes = Start(1500);
    ASSERT_EQ(boxes.size(), 1u);
    ASSERT_TRUE(boxes[0].dismissed.isValid());
    const QDateTime status = QDateTime::fromString(L_Tavolix->StatusBar1->Panel(0)->text(),
                                                   QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    ASSERT_TRUE(status.isValid());
    // The status text counts whole seconds.
    const auto wholeSeconds = [](QDateTime t) {
        t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
        return t;
    };
    EXPECT_GE(status, wholeSeconds(boxes[0].dismissed))
        << status.toString().toStdString() << " before "
        << boxes[0].dismissed.toString().toStdString();
    EXPECT_GE(wholeSeconds(boxes[0].shown).secsTo(status), 1);
}

TEST_F(StartUp, TransactionFailureAfterConnectingShowsTheMessageAndStaysConnected) {
    WriteList(serverDb_->ConnectionString() + "\n");
    // A parameter the client library refuses makes only the transaction start fail.
    vcl::Application->SetExeName((dir_ / "Prg_Tavolix").string());
    vcl::Application->CreateForm(dm);
    dm->IBTransaction.SetParams({"read_committed", "no_such_parameter"});
    Boxes boxes;
    vcl::Application->CreateForm(L_Tavolix);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, QString::fromUtf8(kTurkish));
    EXPECT_TRUE(dm->IBDatabase.Connected());
    EXPECT_FALSE(dm->IBTransaction.Active());
    EXPECT_FALSE(L_Tavolix->Image1->isVisibleTo(L_Tavolix));
    EXPECT_FALSE(L_Tavolix->StatusBar1->Panel(0)->text().isEmpty());
}

// The real program, copied next to its own list, started from a folder that holds another one.
TEST_F(StartUp, RealProgramReadsTheListNextToItsExecutable) {
    testdb::ScratchDatabase decoy(Unique("startup_decoy"), Via::Server);
    fs::copy_file(PRG_TAVOLIX_PATH, dir_ / "Prg_Tavolix");
    WriteList(serverDb_->ConnectionString() + "\n");
    fs::create_directory(dir_ / "elsewhere");
    std::ofstream(dir_ / "elsewhere" / "database.txt") << decoy.ConnectionString() << "\n";

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString((dir_ / "elsewhere").string()));
    program.start(QString::fromStdString((dir_ / "Prg_Tavolix").string()), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    const std::string attachedByProgram =
        "select count(*) from mon$attachments where mon$remote_pid = " +
        std::to_string(program.processId());
    long long attached = 0;
    for (int i = 0; i < 150 && attached == 0 && program.state() == QProcess::Running; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        attached = serverDb_->Scalar(attachedByProgram);
    }
    EXPECT_EQ(attached, 1);
    EXPECT_EQ(decoy.Scalar(attachedByProgram), 0);
    EXPECT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
    program.kill();
    program.waitForFinished(10000);
}

} // namespace

int main(int argc, char** argv) {
    // The list of tests is read at build time, when no display settings are given.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    vcl::TApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
