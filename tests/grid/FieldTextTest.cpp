// Cell texts by column kind from hand-built values, no server involved.
#include "db/FieldText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>

using ibx::CellText;
using ibx::TFieldDef;
using ibx::TFieldKind;

namespace {

template <typename T> std::string Raw(T v) {
    std::string s(sizeof v, '\0');
    std::memcpy(s.data(), &v, sizeof v);
    return s;
}

ISC_TIMESTAMP Stamp(ISC_DATE d, ISC_TIME t) {
    ISC_TIMESTAMP ts;
    ts.timestamp_date = d;
    ts.timestamp_time = t;
    return ts;
}

TFieldDef Def(TFieldKind kind, short sqlType, short scale = 0) {
    TFieldDef f;
    f.Name = "F";
    f.Kind = kind;
    f.SqlType = sqlType;
    f.SqlScale = scale;
    return f;
}

vcl::TFormatSettings Settings(char separator) {
    vcl::TFormatSettings fs;
    fs.ShortDateFormat = "dd.MM.yyyy";
    fs.TimeSeparator = ":";
    fs.TimeLeadingZero = true;
    fs.TwentyFourHour = true;
    fs.DecimalSeparator = separator;
    return fs;
}

constexpr ISC_TIME kHour = 3600u * 10000u;
constexpr ISC_DATE kDate2024_02_29 = 60369; // days since 17 Nov 1858

struct Case {
    const char* what;
    TFieldDef field;
    bool isNull;
    std::string bytes;
    char separator;
    std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.what;
}

class CellTextTable : public testing::TestWithParam<Case> {};

TEST_P(CellTextTable, ShowsTheKindsText) {
    const Case& c = GetParam();
    // Exactly sized heap copy, so a read past the value shows up under the sanitizer.
    auto heap = std::make_unique<char[]>(c.bytes.size() + 1);
    std::memcpy(heap.get(), c.bytes.data(), c.bytes.size());
    ibx::CellView cell{c.isNull, std::string_view(heap.get(), c.bytes.size())};
    EXPECT_EQ(CellText(c.field, cell, Settings(c.separator)), c.expected);
}

const TFieldDef kText = Def(TFieldKind::Text, SQL_VARYING);
const TFieldDef kShort = Def(TFieldKind::Integer, SQL_SHORT);
const TFieldDef kLong = Def(TFieldKind::Integer, SQL_LONG);
const TFieldDef kInt64 = Def(TFieldKind::Integer, SQL_INT64);
const TFieldDef kNum9_2 = Def(TFieldKind::FixedPoint, SQL_LONG, -2);
const TFieldDef kNum18_4 = Def(TFieldKind::FixedPoint, SQL_INT64, -4);
const TFieldDef kSmallScale5 = Def(TFieldKind::FixedPoint, SQL_SHORT, -5);
const TFieldDef kNum18_6 = Def(TFieldKind::Float, SQL_INT64, -6);
const TFieldDef kFloat = Def(TFieldKind::Float, SQL_FLOAT);
const TFieldDef kDouble = Def(TFieldKind::Float, SQL_DOUBLE);
const TFieldDef kDate = Def(TFieldKind::Date, SQL_TYPE_DATE);
const TFieldDef kTime = Def(TFieldKind::Time, SQL_TYPE_TIME);
const TFieldDef kStamp = Def(TFieldKind::DateTime, SQL_TIMESTAMP);
const TFieldDef kMemo = Def(TFieldKind::Memo, SQL_BLOB);
const TFieldDef kBlob = Def(TFieldKind::Blob, SQL_BLOB);

INSTANTIATE_TEST_SUITE_P(
    Kinds, CellTextTable,
    testing::Values(
        Case{"text as stored", kText, false, "abc  ", '.', "abc  "},
        Case{"8-bit text untouched", kText, false, "\xC7\x61l\xFD\xFEt\xFDr", '.',
             "\xC7\x61l\xFD\xFEt\xFDr"},
        Case{"empty text", kText, false, "", '.', ""}, Case{"null text", kText, true, "", '.', ""},
        Case{"smallint minimum", kShort, false, Raw<std::int16_t>(-32768), '.', "-32768"},
        Case{"integer zero", kLong, false, Raw<std::int32_t>(0), '.', "0"},
        Case{"integer, no thousands separator", kLong, false, Raw<std::int32_t>(1234567), ',',
             "1234567"},
        Case{"bigint minimum", kInt64, false, Raw(std::numeric_limits<std::int64_t>::min()), '.',
             "-9223372036854775808"},
        Case{"null integer", kLong, true, "", '.', ""},
        Case{"numeric(9,2) 2.5", kNum9_2, false, Raw<std::int32_t>(250), '.', "2.5"},
        Case{"numeric(9,2) 3", kNum9_2, false, Raw<std::int32_t>(300), '.', "3"},
        Case{"numeric(9,2) 2.5 regional", kNum9_2, false, Raw<std::int32_t>(250), ',', "2,5"},
        Case{"numeric(9,2) -0.05", kNum9_2, false, Raw<std::int32_t>(-5), '.', "-0.05"},
        Case{"numeric(18,4) full", kNum18_4, false, Raw<std::int64_t>(-123456789), '.',
             "-12345.6789"},
        Case{"numeric(18,4) maximum", kNum18_4, false,
             Raw(std::numeric_limits<std::int64_t>::max()), '.', "922337203685477.5807"},
        Case{"smallint scale 5 rounds to 4", kSmallScale5, false, Raw<std::int16_t>(12345), '.',
             "0.1235"},
        Case{"smallint scale 5 rounds up to whole", kSmallScale5, false, Raw<std::int16_t>(29999),
             '.', "0.3"},
        Case{"smallint scale 5 rounds to zero, no sign", kSmallScale5, false, Raw<std::int16_t>(-4),
             '.', "0"},
        Case{"numeric(18,6) as floating point", kNum18_6, false, Raw<std::int64_t>(1234567891), '.',
             "1234.567891"},
        Case{"numeric(18,6) whole", kNum18_6, false, Raw<std::int64_t>(2500000), ',', "2,5"},
        Case{"numeric(18,6) tiny", kNum18_6, false, Raw<std::int64_t>(-1), '.', "-1e-06"},
        Case{"float 1.1 as typed", kFloat, false, Raw(1.1f), '.', "1.1"},
        Case{"float regional", kFloat, false, Raw(-0.25f), ',', "-0,25"},
        Case{"double 15 digits", kDouble, false, Raw(1.0 / 3), '.', "0.333333333333333"},
        Case{"double whole", kDouble, false, Raw(42.0), '.', "42"},
        Case{"double large", kDouble, false, Raw(1e20), '.', "1e+20"},
        Case{"date epoch", kDate, false, Raw<ISC_DATE>(0), '.', "17.11.1858"},
        Case{"date leap day", kDate, false, Raw<ISC_DATE>(kDate2024_02_29), '.', "29.02.2024"},
        Case{"null date", kDate, true, "", '.', ""},
        Case{"time", kTime, false, Raw<ISC_TIME>(13 * kHour + 5 * 600000 + 9 * 10000 + 5000), '.',
             "13:05:09"},
        Case{"timestamp at midnight shows the date alone", kStamp, false,
             Raw(Stamp(kDate2024_02_29, 0)), '.', "29.02.2024"},
        Case{"timestamp with time", kStamp, false,
             Raw(Stamp(kDate2024_02_29, 23 * kHour + 59 * 600000 + 59 * 10000)), '.',
             "29.02.2024 23:59:59"},
        Case{"memo", kMemo, false, "", '.', "(MEMO)"},
        Case{"null memo", kMemo, true, "", '.', "(Memo)"},
        Case{"blob", kBlob, false, "", '.', "(BLOB)"},
        Case{"null blob", kBlob, true, "", '.', "(Blob)"},
        // Values too short for their type, or outside it, show nothing.
        Case{"short integer value", kLong, false, std::string(2, '\1'), '.', ""},
        Case{"short double value", kDouble, false, std::string(4, '\1'), '.', ""},
        Case{"short timestamp value", kStamp, false, Raw<ISC_DATE>(0), '.', ""},
        Case{"date past year 9999", kDate, false, Raw<ISC_DATE>(3000000), '.', ""},
        Case{"time past the day", kTime, false, Raw<ISC_TIME>(24 * kHour), '.', ""},
        Case{"integer kind of a text column", Def(TFieldKind::Integer, SQL_TEXT), false, "12", '.',
             ""}));

TEST(IsValidChar, NumbersRefuseLettersOthersTakeAll) {
    const auto fs = Settings(',');
    EXPECT_TRUE(ibx::IsValidChar(TFieldKind::Integer, U'7', fs));
    EXPECT_TRUE(ibx::IsValidChar(TFieldKind::Integer, U'-', fs));
    EXPECT_FALSE(ibx::IsValidChar(TFieldKind::Integer, U'a', fs));
    EXPECT_FALSE(ibx::IsValidChar(TFieldKind::Integer, U',', fs));
    EXPECT_TRUE(ibx::IsValidChar(TFieldKind::FixedPoint, U',', fs));
    EXPECT_FALSE(ibx::IsValidChar(TFieldKind::FixedPoint, U'.', fs));
    EXPECT_FALSE(ibx::IsValidChar(TFieldKind::FixedPoint, U'e', fs));
    EXPECT_TRUE(ibx::IsValidChar(TFieldKind::Float, U'E', fs));
    EXPECT_TRUE(ibx::IsValidChar(TFieldKind::Text, U'\u00E7', fs));
    EXPECT_TRUE(ibx::IsValidChar(TFieldKind::Date, U'x', fs));
}

// Arbitrary descriptions and bytes: never a crash, never a read past the value.
TEST(CellTextFuzz, AnyDescriptionAndBytesGiveSomeText) {
    std::mt19937 rng(20240229);
    const short types[] = {SQL_TEXT,   SQL_VARYING,   SQL_SHORT,     SQL_LONG,  SQL_FLOAT,
                           SQL_DOUBLE, SQL_D_FLOAT,   SQL_TIMESTAMP, SQL_BLOB,  SQL_ARRAY,
                           SQL_QUAD,   SQL_TYPE_TIME, SQL_TYPE_DATE, SQL_INT64, 0};
    for (int i = 0; i < 200000; ++i) {
        TFieldDef f;
        f.Kind = TFieldKind(rng() % 9);
        f.SqlType = types[rng() % std::size(types)];
        f.SqlScale = short(rng() % 4 == 0 ? int(rng()) : -int(rng() % 25));
        const std::size_t len = rng() % 12;
        auto heap = std::make_unique<char[]>(len ? len : 1);
        for (std::size_t j = 0; j < len; ++j)
            heap[j] = char(rng());
        const ibx::CellView cell{rng() % 8 == 0, std::string_view(heap.get(), len)};
        const std::string text = CellText(f, cell, Settings(rng() % 2 ? '.' : ','));
        ASSERT_LT(text.size(), 40000u);
    }
}

} // namespace
