// The fault tests' entry: one application object for the process, and the private server that
// every scratch database of these tests lives on, stopped when the tests end.
#include "FaultRig.h"

#include <cstdlib>

namespace faults {
namespace {

std::unique_ptr<PrivateServer> g_server;

class StopServer : public testing::Environment {
public:
    void TearDown() override { g_server.reset(); }
};

} // namespace

PrivateServer& Server() {
    if (!g_server) {
        testdb::Server(); // the shared environment must be there, as for every server test
        g_server = std::make_unique<PrivateServer>("faults");
        ::setenv("TAVOLIX_FB_SERVER", g_server->Address().c_str(), 1);
        ::setenv("TAVOLIX_TEST_DIR", g_server->DataDir().c_str(), 1);
    }
    return *g_server;
}

} // namespace faults

int main(int argc, char** argv) {
    // The list of tests is read at build time, when no display settings are given.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new faults::StopServer);
    vcl::TApplication application(argc, argv);
    application.Initialize();
    return RUN_ALL_TESTS();
}
