// The real program's start-up, the event loop aside: application, data module, window. The
// executable is stood in by a name in an empty folder, so the window's start-up finds no
// database list there and leaves the connection indicator hidden.

#include "BoxWatcher.h"
#include "app/Application.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    vcl::TApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 2;
    app.SetExeName((folder.path() + QStringLiteral("/Prg_Tavolix")).toLocal8Bit().toStdString());
    app.Initialize();
    {
        testgui::BoxWatcher startupBoxes; // answers whatever the create handler reports
        app.CreateForm(dm);
        app.CreateForm(L_Tavolix);
    }
    return RUN_ALL_TESTS();
}
