// Composing the client library's message lines, and the error kind chosen by SQL code.

#include "db/ClientLibrary.h"
#include "db/IBErrors.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct ComposeCase {
    const char* what;
    std::vector<std::string> lines;
    std::string text;
};

void PrintTo(const ComposeCase& c, std::ostream* os) {
    *os << c.what;
}

class ComposeErrorText : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(ComposeErrorText, JoinsLinesAndDropsOneFinalFullStop) {
    EXPECT_EQ(ibx::ComposeErrorText(GetParam().lines), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComposeErrorText,
    ::testing::Values(
        ComposeCase{"no lines", {}, ""},
        ComposeCase{"one line with full stop", {"only one."}, "only one"},
        ComposeCase{"second line ends in full stop", {"first", "second."}, "first\r\nsecond"},
        ComposeCase{"two full stops lose one", {"ends in two.."}, "ends in two."},
        ComposeCase{"a line ending in LF is followed directly", {"line\n", "next"}, "line\nnext"},
        ComposeCase{"full stop inside is kept", {"a. b", "c"}, "a. b\r\nc"},
        ComposeCase{"empty first line adds no break", {"", "x."}, "x"},
        ComposeCase{"a lone full stop leaves nothing", {"."}, ""},
        ComposeCase{"three lines", {"a", "b", "c."}, "a\r\nb\r\nc"}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

struct StatusCase {
    const char* what;
    std::vector<ISC_STATUS> status;
    bool roleError;
    int sqlCode;
    std::string text;
};

ISC_STATUS Arg(const char* text) {
    return reinterpret_cast<ISC_STATUS>(text);
}

TEST(RaiseStatus, ChoosesTheKindBySqlCodeAndCarriesTheCodes) {
    const StatusCase cases[] = {
        {"no permission is a role error",
         {isc_arg_gds, isc_no_priv, isc_arg_string, Arg("SELECT"), isc_arg_string, Arg("TABLE"),
          isc_arg_string, Arg("T"), isc_arg_end},
         true,
         -551,
         "no permission for SELECT access to TABLE T"},
        {"anything else is an InterBase error, text composed the same way",
         {isc_arg_gds, isc_random, isc_arg_string, Arg("two words."), isc_arg_end},
         false,
         -901,
         "two words"},
        {"two lines",
         {isc_arg_gds, isc_io_error, isc_arg_string, Arg("open"), isc_arg_string, Arg("/x.fdb"),
          isc_arg_gds, isc_io_open_err, isc_arg_end},
         false,
         -902,
         "I/O error during \"open\" operation for file \"/x.fdb\"\r\nError while trying to open "
         "file"},
    };
    ibx::LoadClientLibrary();
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            ibx::RaiseStatus(c.status.data());
        } catch (const ibx::EIBInterBaseRoleError& e) {
            EXPECT_TRUE(c.roleError);
            EXPECT_EQ(e.SQLCode(), c.sqlCode);
            EXPECT_EQ(e.IBErrorCode(), c.status[1]);
            EXPECT_EQ(e.Message(), c.text);
        } catch (const ibx::EIBInterBaseError& e) {
            EXPECT_FALSE(c.roleError);
            EXPECT_EQ(e.SQLCode(), c.sqlCode);
            EXPECT_EQ(e.IBErrorCode(), c.status[1]);
            EXPECT_EQ(e.Message(), c.text);
        }
    }
}

} // namespace
