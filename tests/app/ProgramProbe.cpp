// A child process for the exit-code tests: ProgramMain with the body a scenario names. Every
// message box is answered and written to stdout, so the parent sees what the user would have.
//   program          the program's own four steps (with the real data module and window)
//   create-handler   a window whose create handler fails, then runs normally
//   create-fails     a data module whose construction fails

#include "BoxWatcher.h"
#include "app/Application.h"
#include "app/Form.h"
#include "core/Exceptions.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QTimer>

#include <cstdio>
#include <cstring>

using vcl::Application;

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Answers boxes and closes the main window once it is up, as a user would.
void Watch() {
    new testgui::BoxWatcher([](const testgui::SeenBox& box) { Say(testgui::Describe(box)); }, qApp);
    auto* closer = new QTimer(qApp);
    QObject::connect(closer, &QTimer::timeout, [closer] {
        vcl::TForm* main = Application ? Application->MainForm() : nullptr;
        if (!main || !main->isVisible() || QApplication::activeModalWidget())
            return;
        Say(QStringLiteral("SHOWN %1").arg(main->windowTitle()));
        closer->stop();
        main->close();
    });
    closer->start(50);
}

struct FailingForm;
FailingForm* failingForm = nullptr;

struct FailingForm : vcl::TForm {
    explicit FailingForm(vcl::TComponent* owner) : vcl::TForm(owner) {
        setWindowTitle(QStringLiteral("Failing create"));
        OnCreate = [this] { FormCreate(); };
    }
    void FormCreate() {
        throw vcl::EFOpenError("Cannot open file \"database.txt\". No such file or directory");
        // nothing after the failure runs
    }
};

struct FailingModule;
FailingModule* failingModule = nullptr;

struct FailingModule : vcl::TDataModule {
    explicit FailingModule(vcl::TComponent*) { throw vcl::EDatabaseError("module refused"); }
};

} // namespace

int main(int argc, char** argv) {
    const char* scenario = argc > 1 ? argv[1] : "program";
    int code = 2;
    if (std::strcmp(scenario, "program") == 0) {
        code = vcl::ProgramMain(argc, argv, [] {
            Watch();
            Application->Initialize();
            Application->CreateForm(dm);
            Application->CreateForm(L_Tavolix);
            Application->Run();
        });
    } else if (std::strcmp(scenario, "create-handler") == 0) {
        code = vcl::ProgramMain(argc, argv, [] {
            Watch();
            Application->Initialize();
            Application->CreateForm(failingForm);
            Application->Run();
        });
    } else if (std::strcmp(scenario, "create-fails") == 0) {
        code = vcl::ProgramMain(argc, argv, [] {
            Watch();
            Application->Initialize();
            try {
                Application->CreateForm(failingModule);
            } catch (...) {
                Say(QStringLiteral("REF %1").arg(failingModule ? "set" : "null"));
                throw;
            }
        });
    }
    Say(QStringLiteral("EXIT %1").arg(code));
    return code;
}
