#pragma once
// The rig the fault tests share: a private server of this test process (so it may be killed and
// restarted), a proxy in front of it that can drop or stall the program's link, and the real
// window started on a database list of the test's choice.

#include "BoxWatcher.h"
#include "PrivateServer.h"
#include "Proxy.h"
#include "TestDb.h"
#include "app/Application.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace faults {

namespace fs = std::filesystem;

inline std::string Unique(const std::string& stem) {
    return stem + "_" + std::to_string(::getpid());
}

using testdb::PrivateServer;

/// The server of this process, started on first use; testdb's scratch databases and second
/// connections go to it from then on.
PrivateServer& Server();

using testdb::Proxy;

/// The real window over a database list, as the program starts it; closed by the fixture.
class Window : public testing::Test {
protected:
    void SetUp() override { Server(); }
    void TearDown() override {
        Close();
        Server().EnsureRunning();
    }

    /// Starts dm and L_Tavolix with `list` as database.txt; returns the boxes start-up showed.
    std::vector<testgui::SeenBox> Start(const std::string& list) {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        dir_ = fs::temp_directory_path() / Unique("tavolix_faults_" + name);
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

    /// Ends the program's part as the program does: the window, then the module. A failure of
    /// the module's release (the server gone) is returned; boxes shown meanwhile are kept.
    std::string Close() {
        std::string failure;
        testgui::BoxWatcher boxes;
        try {
            vcl::Application->DestroyComponents();
        } catch (const std::exception& e) {
            failure = vcl::ExceptionMessage(e);
            // The module stays unfreed after a failed release; the test frees it so no handle
            // outlives it. Its transaction's end may report again, through a box.
            std::unique_ptr<Tdm> leftover(dm);
            leftover.reset();
        }
        closeBoxes_ = boxes.Boxes();
        dm = nullptr;
        L_Tavolix = nullptr;
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
        dir_.clear();
        return failure;
    }

    /// Types the text, sets the tick and clicks the run button; the boxes it brought up.
    std::vector<testgui::SeenBox> Click(const QString& sql, bool ticked) {
        L_Tavolix->mSQL->setPlainText(sql);
        if (L_Tavolix->CheckBox1->isChecked() != ticked)
            QTest::mouseClick(L_Tavolix->CheckBox1, Qt::LeftButton);
        testgui::BoxWatcher boxes;
        QTest::mouseClick(L_Tavolix->Button1, Qt::LeftButton);
        QApplication::processEvents(); // the grid asks for its rows
        boxes.WaitFor(1, 50);
        return boxes.Boxes();
    }
    std::vector<testgui::SeenBox> Click(const std::string& sql, bool ticked) {
        return Click(QString::fromLocal8Bit(sql.data(), qsizetype(sql.size())), ticked);
    }

    static int Rows() { return L_Tavolix->DBGrid1->ResultModel()->rowCount(); }
    static QString Cell(int row, int column) {
        const auto* model = L_Tavolix->DBGrid1->ResultModel();
        return model->data(model->index(row, column), Qt::DisplayRole).toString();
    }

    /// The program's own attachment, as the server numbers it.
    std::string ProgramConnection() {
        const auto boxes =
            Click(std::string("select current_connection as c from rdb$database"), false);
        EXPECT_TRUE(boxes.empty());
        return Cell(0, 0).toStdString();
    }

    fs::path dir_;
    std::vector<testgui::SeenBox> closeBoxes_;
};

/// One box whose text contains `part`; the message says what was shown instead.
inline testing::AssertionResult OneBoxWith(const std::vector<testgui::SeenBox>& boxes,
                                           const std::string& part) {
    if (boxes.size() != 1) {
        auto failure = testing::AssertionFailure() << boxes.size() << " boxes";
        for (const auto& b : boxes)
            failure << "; " << testgui::Describe(b).toStdString();
        return failure;
    }
    const std::string text = boxes[0].text.toStdString();
    if (text.find(part) == std::string::npos)
        return testing::AssertionFailure() << "box text [" << text << "] lacks [" << part << "]";
    if (boxes[0].icon != QMessageBox::Critical)
        return testing::AssertionFailure() << "box without the stop icon: " << text;
    return testing::AssertionSuccess() << text;
}

inline std::string Text(const std::vector<testgui::SeenBox>& boxes) {
    std::string all;
    for (const auto& b : boxes)
        all += (all.empty() ? "" : " | ") + b.text.toStdString();
    return all;
}

} // namespace faults
