// The program's entry with a driver, for watching its end from outside. Once the window is up
// the driver runs the given statements on the open path (the first leaves work pending in the
// transaction), prints the program's attachment number, and closes the window when the go file
// appears; the parent meanwhile refuses the final commit or takes the server away. Every box is
// answered and printed, and so is the exit code.
//   faults_probe PENDING_SQL GO_FILE [LAST_SQL]

#include "BoxWatcher.h"
#include "app/Application.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>

using vcl::Application;

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
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
           L_Tavolix->DBGrid1->ResultModel()->rowCount() == 0)
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
        if (!L_Tavolix || !L_Tavolix->isVisible() || QApplication::activeModalWidget())
            return;
        if (!*ran) {
            *ran = true;
            RunOpen(pending);
            RunOpen(QStringLiteral("select current_connection from rdb$database"));
            Say(QStringLiteral("CONNECTION %1").arg(FirstCell()));
            if (!last.isEmpty()) {
                RunOpen(last);
                Say(QStringLiteral("ROWS %1").arg(L_Tavolix->DBGrid1->ResultModel()->rowCount()));
            }
            return;
        }
        if (QFile::exists(goFile)) {
            driver->stop();
            Say(QStringLiteral("CLOSING"));
            L_Tavolix->close();
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
        Application->CreateForm(L_Tavolix);
        Application->Run();
    });
    Say(QStringLiteral("EXIT %1").arg(code));
    return code;
}
