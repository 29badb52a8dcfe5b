// The program's entry with a driver, for ending it from outside with a signal. Once the window
// is up the driver runs the given statements on the open path as the user would (the first
// leaves work pending in the transaction), prints the program's attachment number and "READY",
// and never closes the window itself. When the go file appears it presses Ctrl+End in the grid,
// so the parent can stall that fetch. An empty PENDING_SQL drives nothing. Every box is answered
// and printed, and so is each step of the start and the end.
//   signals_probe PENDING_SQL GO_FILE [LAST_SQL]

#include "BoxWatcher.h"
#include "app/Application.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>
#include <memory>

using vcl::Application;

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

int Rows() {
    return L_Tavolix->DBGrid1->ResultModel()->rowCount();
}

// A run as the user makes it: the text typed, the box left unticked, the button clicked.
void RunOpen(const QString& sql) {
    L_Tavolix->CheckBox1->setChecked(false);
    L_Tavolix->mSQL->setPlainText(sql);
    L_Tavolix->Button1->click();
    // The grid asks for its rows once it lays itself out.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000 && L_Tavolix->DBGrid1->ResultModel()->columnCount() > 0 &&
           Rows() == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QString FirstCell() {
    const auto* model = L_Tavolix->DBGrid1->ResultModel();
    return model->data(model->index(0, 0), Qt::DisplayRole).toString();
}

void Drive(const QString& pending, const QString& goFile, const QString& last) {
    new testgui::BoxWatcher([](const testgui::SeenBox& box) { Say(testgui::Describe(box)); }, qApp);
    auto* driver = new QTimer(qApp);
    auto ran = std::make_shared<bool>(false);
    QObject::connect(driver, &QTimer::timeout, [=] {
        // Once the loop has ended the window is about to go, and its global dangles after.
        if (Application->Terminated()) {
            driver->stop();
            return;
        }
        if (pending.isEmpty() || !L_Tavolix || !L_Tavolix->isVisible() ||
            QApplication::activeModalWidget())
            return;
        if (!*ran) {
            *ran = true;
            RunOpen(pending);
            RunOpen(QStringLiteral("select current_connection from rdb$database"));
            Say(QStringLiteral("CONNECTION %1").arg(FirstCell()));
            if (!last.isEmpty()) {
                RunOpen(last);
                Say(QStringLiteral("ROWS %1").arg(Rows()));
            }
            Say(QStringLiteral("READY"));
            return;
        }
        if (QFile::exists(goFile)) {
            driver->stop();
            Say(QStringLiteral("FETCHING"));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
            QCoreApplication::sendEvent(L_Tavolix->DBGrid1, &press);
            Say(QStringLiteral("FETCHED %1").arg(Rows()));
        }
    });
    driver->start(50);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PENDING_SQL GO_FILE [LAST_SQL]\n", argv[0]);
        return 2;
    }
    const QString pending = QString::fromLocal8Bit(argv[1]);
    const QString goFile = QString::fromLocal8Bit(argv[2]);
    const QString last = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    const int code = vcl::ProgramMain(argc, argv, [&] {
        Drive(pending, goFile, last);
        Application->Initialize();
        Application->CreateForm(dm);
        Say(QStringLiteral("MODULE"));
        Application->CreateForm(L_Tavolix);
        QObject::connect(L_Tavolix, &QObject::destroyed, [] { Say("WINDOW DESTROYED"); });
        Say(QStringLiteral("STARTED connected=%1 active=%2")
                .arg(int(dm->IBDatabase.Connected()))
                .arg(int(dm->IBTransaction.Active())));
        Application->Run();
        Say(QStringLiteral("LOOP ENDED"));
    });
    Say(QStringLiteral("EXIT %1").arg(code));
    return code;
}
