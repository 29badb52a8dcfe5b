// Loading the client library: a missing library, a missing required entry point, and an older
// library whose newer entry points fail only when called.

#include "db/ClientLibrary.h"
#include "db/IBErrors.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using ibx::ClientApi;

TEST(Loader, MissingLibraryRaisesTheInstallText) {
    try {
        ibx::LoadClientLibraryFrom("libtavolix-no-such-client.so.2");
        FAIL() << "loaded a library that does not exist";
    } catch (const ibx::EIBClientError& e) {
        EXPECT_EQ(e.Message(), "InterBase library gds32.dll not found in the path. Please install "
                               "InterBase to use this functionality");
    }
}

TEST(Loader, MissingRequiredEntryPointRaisesSystemError) {
    try {
        ibx::LoadClientLibraryFrom(FAKE_CLIENT_PARTIAL_PATH);
        FAIL() << "accepted a library without isc_database_info";
    } catch (const vcl::EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), 127);
        const std::string head = std::string("System Error.  Code: 127.") + vcl::sLineBreak;
        EXPECT_EQ(e.Message().substr(0, head.size()), head) << e.Message();
        // The first required name the stand-in lacks, in the order they are resolved.
        EXPECT_NE(e.Message().find("isc_database_info"), std::string::npos) << e.Message();
    }
}

struct OptionalEntry {
    const char* name;
    std::function<void(const ClientApi&)> call;
};

const OptionalEntry kOptionalEntries[] = {
    {"isc_rollback_retaining",
     [](const ClientApi& api) {
         ISC_STATUS_ARRAY status{};
         isc_tr_handle tr = 0;
         api.isc_rollback_retaining(status, &tr);
     }},
    {"fb_shutdown_callback",
     [](const ClientApi& api) {
         ISC_STATUS_ARRAY status{};
         api.fb_shutdown_callback(status, nullptr, fb_shut_confirmation, nullptr);
     }},
};

TEST(Loader, OlderLibraryLoadsAndItsMissingNewerEntryPointsRaiseWhenCalled) {
    const ClientApi api = ibx::LoadClientLibraryFrom(FAKE_CLIENT_OLD_PATH);
    EXPECT_NE(api.isc_attach_database, nullptr);
    EXPECT_NE(api.isc_dsql_fetch, nullptr);
    for (const OptionalEntry& entry : kOptionalEntries) {
        SCOPED_TRACE(entry.name);
        try {
            entry.call(api);
            FAIL() << "the stand-in for a missing entry point returned";
        } catch (const ibx::EIBClientError& e) {
            EXPECT_EQ(e.Message(), std::string(entry.name) +
                                       " is an InterBase 6 function. Please upgrade to "
                                       "InterBase 6 to use this functonality");
        }
    }
}

TEST(Loader, RealLibraryResolvesTheNewerEntryPointsToo) {
    const ClientApi& api = ibx::LoadClientLibrary();
    EXPECT_EQ(&api, &ibx::Api());
    // The real function reports the bad handle through the status vector instead of raising.
    ISC_STATUS_ARRAY status{};
    isc_tr_handle tr = 0;
    EXPECT_NE(api.isc_rollback_retaining(status, &tr), 0);
    EXPECT_NE(api.fb_shutdown_callback, nullptr);
}

} // namespace
