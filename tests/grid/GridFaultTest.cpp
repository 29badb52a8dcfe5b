// A connection cut while the user scrolls: the failure reaches the error sink later, from the
// event loop, with the client library's text; the program goes on and keeps the rows it has.
#include "GridSession.h"

#include "PrivateServer.h"
#include "TestDb.h"
#include "controls/DBGrid.h"
#include "core/Exceptions.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

// A server of our own, since this test kills it.
using testdb::PrivateServer;

class EnvScope {
public:
    EnvScope(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvScope() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(5);
    }
}

TEST(GridFault, ConnectionCutWhileScrollingIsReportedLaterAndRowsStay) {
    testdb::Server(); // the environment must be there, as for every other grid test
    PrivateServer server{"gridfault"};
    EnvScope serverEnv("TAVOLIX_FB_SERVER", server.Address());
    EnvScope dirEnv("TAVOLIX_TEST_DIR", server.DataDir());
    testdb::ScratchDatabase scratch("grid-cut", testdb::Via::Server);
    scratch.Exec(std::vector<std::string>{
        "create table big (id integer not null, name varchar(40))",
        "execute block as declare i integer = 0; begin while (i < 20000) do begin "
        "insert into big values (:i, rpad('row ' || :i, 40, '.')); i = i + 1; end end"});

    std::vector<std::string> reported;
    vcl::SetFetchErrorSink([&](const std::exception& e) {
        const auto* own = dynamic_cast<const vcl::Exception*>(&e);
        reported.push_back(own ? own->Message() : e.what());
    });
    {
        GridSession s(scratch.ConnectionString());
        vcl::TDBGrid grid;
        grid.resize(860, 239);
        grid.SetDataSource(&s.source);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        s.Run("select id, name from big");
        Settle();
        const std::size_t shown = s.qry.RecordCount();
        ASSERT_GT(shown, 0u);
        grid.setCurrentIndex(grid.model()->index(0, 0));

        server.Stop();
        int presses = 0;
        while (reported.empty() && presses++ < 3000) {
            QTest::keyClick(&grid, Qt::Key_PageDown);
            ASSERT_TRUE(reported.empty()) << "the sink was called inside the key event";
            Settle();
        }
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_NE(reported[0].find("Error reading data from the connection"), std::string::npos)
            << reported[0];

        // The rows so far stay, the grid stops asking, and going on raises nothing more.
        const std::size_t kept = s.qry.RecordCount();
        EXPECT_GT(kept, shown);
        EXPECT_EQ(grid.model()->rowCount(), int(kept));
        EXPECT_FALSE(grid.model()->canFetchMore(QModelIndex()));
        QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
        Settle();
        EXPECT_EQ(reported.size(), 1u);
        EXPECT_EQ(grid.model()->data(grid.model()->index(0, 0)).toString(), "0");
        grid.SetDataSource(nullptr);
    }
    vcl::SetFetchErrorSink(nullptr);
    server.Restart(); // so the scratch database can be dropped
}

} // namespace
