#include "db/ParamScanner.h"
#include "db/IBErrors.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const std::string kParseError = "SQL Parse Error:\r\n\r\n";

struct ScanCase {
    const char* label;
    std::string sql;
    std::string text;                 // expected prepared text (when no error)
    std::vector<std::string> params;  // expected colon-marker names
    std::optional<std::string> error; // expected message tail instead
};

std::ostream& operator<<(std::ostream& os, const ScanCase& c) {
    return os << c.label;
}

class ScanTable : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanTable, TextParamsOrError) {
    const ScanCase& c = GetParam();
    if (c.error) {
        try {
            ibx::ScanParameterMarkers(c.sql);
            FAIL() << "no error for: " << c.sql;
        } catch (const ibx::EIBClientError& e) {
            EXPECT_EQ(e.Message(), kParseError + *c.error);
        }
        return;
    }
    const ibx::ScannedStatement s = ibx::ScanParameterMarkers(c.sql);
    EXPECT_EQ(s.Text, c.text);
    EXPECT_EQ(s.Params, c.params);
}

const char* const kNameExpected = "Parameter name expected";
const char* const kEofString = "EOF in string detected";
const char* const kEofComment = "EOF in comment detected";

INSTANTIATE_TEST_SUITE_P(
    Markers, ScanTable,
    testing::Values(
        ScanCase{"no_markers", "select * from t\r\n", "select * from t\r\n", {}, {}},
        ScanCase{"empty", "", "", {}, {}},
        ScanCase{"colon_name",
                 "select * from t where id = :id\r\n",
                 "select * from t where id = ?\r\n",
                 {"id"},
                 {}},
        ScanCase{"name_chars", "x = :a_B$9+1", "x = ?+1", {"a_B$9"}, {}},
        ScanCase{"several_in_order", ":b, :a, :b", "?, ?, ?", {"b", "a", "b"}, {}},
        ScanCase{"marker_at_end", "where x=:last", "where x=?", {"last"}, {}},
        ScanCase{"adjacent_markers", ":a:b", "??", {"a", "b"}, {}},
        ScanCase{"quoted_name", "x = :\"My Name\" and y", "x = ? and y", {"My Name"}, {}},
        ScanCase{"question_with_name_not_listed", "x = ?p", "x = ?", {}, {}},
        ScanCase{"colon_in_single_quotes",
                 "select '10:30' from rdb$database",
                 "select '10:30' from rdb$database",
                 {},
                 {}},
        ScanCase{
            "doubled_quote_stays_in_literal", "'it''s :x' || :y", "'it''s :x' || ?", {"y"}, {}},
        ScanCase{"colon_in_double_quotes",
                 "select 1 as \"a:b\" from t",
                 "select 1 as \"a:b\" from t",
                 {},
                 {}},
        ScanCase{"single_quote_inside_double", "\"it's\" :p", "\"it's\" ?", {"p"}, {}},
        ScanCase{"block_comment_untouched",
                 "select /* :x ? '' */ 1 from t",
                 "select /* :x ? '' */ 1 from t",
                 {},
                 {}},
        ScanCase{"line_comment_is_not_special",
                 "select 1 from t -- at 10:30\r\n",
                 "select 1 from t -- at 10?\r\n",
                 {"30"},
                 {}},
        ScanCase{"lone_question_mark", "select * from t where id = ?", "", {}, kNameExpected},
        ScanCase{"question_then_blank", "where id = ? and 1=1", "", {}, kNameExpected},
        ScanCase{"doubled_colon", "select a::int from t", "", {}, kNameExpected},
        ScanCase{"colon_then_blank", "x = : y", "", {}, kNameExpected},
        ScanCase{"colon_at_end", "x = :", "", {}, kNameExpected},
        ScanCase{"empty_quoted_name", "x = :\"\"", "", {}, kNameExpected},
        ScanCase{"open_single_quote", "select 'abc from t", "", {}, kEofString},
        ScanCase{"open_double_quote", "select \"abc from t", "", {}, kEofString},
        ScanCase{"open_quoted_name", "x = :\"abc", "", {}, kEofString},
        ScanCase{"open_comment", "select 1 /* from t", "", {}, kEofComment},
        ScanCase{"comment_star_slash_split", "/*/ :x", "", {}, kEofComment}),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.label); });

} // namespace
