#include "db/Fields.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using ibx::TFieldKind;

struct KindCase {
    short type, scale, subType;
    std::string name;
    std::optional<TFieldKind> kind;
};

TEST(KindOf, TableOfServerTypes) {
    const KindCase cases[] = {
        {SQL_TEXT, 0, 0, "C", TFieldKind::Text},
        {SQL_VARYING, 0, 0, "V", TFieldKind::Text},
        {SQL_VARYING + 1, 0, 0, "NULLABLE_V", TFieldKind::Text},
        {SQL_SHORT, 0, 0, "S", TFieldKind::Integer},
        {SQL_LONG, 0, 0, "L", TFieldKind::Integer},
        {SQL_INT64, 0, 0, "B", TFieldKind::Integer},
        {SQL_SHORT, -1, 0, "S1", TFieldKind::FixedPoint},
        {SQL_SHORT, -6, 0, "S6", TFieldKind::FixedPoint},
        {SQL_LONG, -1, 0, "L1", TFieldKind::FixedPoint},
        {SQL_LONG, -4, 0, "L4", TFieldKind::FixedPoint},
        {SQL_LONG, -5, 0, "L5", TFieldKind::Float},
        {SQL_INT64, -2, 0, "B2", TFieldKind::FixedPoint},
        {SQL_INT64, -4, 0, "B4", TFieldKind::FixedPoint},
        {SQL_INT64, -5, 0, "B5", TFieldKind::Float},
        {SQL_INT64, -18, 0, "B18", TFieldKind::Float},
        {SQL_FLOAT, 0, 0, "F", TFieldKind::Float},
        {SQL_DOUBLE, 0, 0, "D", TFieldKind::Float},
        {SQL_D_FLOAT, 0, 0, "DF", TFieldKind::Float},
        {SQL_TYPE_DATE, 0, 0, "DT", TFieldKind::Date},
        {SQL_TYPE_TIME, 0, 0, "TM", TFieldKind::Time},
        {SQL_TIMESTAMP, 0, 0, "TS", TFieldKind::DateTime},
        {SQL_BLOB, 0, 1, "MEMO", TFieldKind::Memo},
        {SQL_BLOB, 0, 0, "BIN", TFieldKind::Blob},
        {SQL_BLOB, 0, 2, "BLR", TFieldKind::Blob},
        {SQL_ARRAY, 0, 0, "ARR", std::nullopt},
        {SQL_BOOLEAN, 0, 0, "BOOL", std::nullopt},
        {SQL_NULL, 0, 0, "NUL", std::nullopt},
        {12345, 0, 0, "ODD", std::nullopt},
        {SQL_LONG, 0, 0, "IBX_INTERNAL_DBKEY", std::nullopt},
        {SQL_TEXT, 0, 0, "IBX_INTERNAL_DBKEY", std::nullopt},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ibx::KindOf(c.type, c.scale, c.subType, c.name), c.kind);
    }
}

} // namespace
