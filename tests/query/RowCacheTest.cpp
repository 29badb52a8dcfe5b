#include "db/RowCache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using ibx::RowCache;
using ibx::TFieldDef;
using ibx::TFieldKind;

// A hand-built result description with buffers the test fills like isc_dsql_fetch would.
class FakeRow {
public:
    explicit FakeRow(const std::vector<TFieldDef>& cols)
        : buf_(static_cast<char*>(std::calloc(1, XSQLDA_LENGTH(cols.size())))), data_(cols.size()),
          ind_(cols.size(), 0) {
        da()->version = SQLDA_VERSION1;
        da()->sqln = da()->sqld = static_cast<short>(cols.size());
        for (std::size_t i = 0; i < cols.size(); ++i) {
            XSQLVAR& v = da()->sqlvar[cols[i].Index];
            v.sqltype = static_cast<short>(cols[i].SqlType | 1);
            v.sqllen = cols[i].SqlLen;
            v.sqlscale = cols[i].SqlScale;
            v.sqlsubtype = cols[i].SqlSubType;
            data_[i].assign(cols[i].SqlLen + 2, '\0');
            v.sqldata = data_[i].data();
            v.sqlind = &ind_[i];
        }
    }
    ~FakeRow() { std::free(buf_); }
    XSQLDA* da() { return reinterpret_cast<XSQLDA*>(buf_); }
    XSQLVAR& var(int i) { return da()->sqlvar[i]; }

    template <class T> void Set(int i, T value) {
        ind_[i] = 0;
        std::memcpy(var(i).sqldata, &value, sizeof value);
    }
    void SetVarying(int i, const std::string& s) {
        ind_[i] = 0;
        const short n = static_cast<short>(s.size());
        std::memcpy(var(i).sqldata, &n, 2);
        std::memcpy(var(i).sqldata + 2, s.data(), s.size());
    }
    void SetChar(int i, const std::string& s) {
        ind_[i] = 0;
        std::memset(var(i).sqldata, ' ', var(i).sqllen);
        std::memcpy(var(i).sqldata, s.data(), s.size());
    }
    void SetNull(int i) { ind_[i] = -1; }

private:
    char* buf_;
    std::vector<std::string> data_;
    std::vector<short> ind_;
};

TFieldDef Col(const char* name, TFieldKind kind, short type, short len, int index, short scale = 0,
              short subType = 0) {
    TFieldDef f;
    f.Name = name;
    f.Kind = kind;
    f.SqlType = type;
    f.SqlLen = len;
    f.SqlScale = scale;
    f.SqlSubType = subType;
    f.Index = index;
    return f;
}

// int, varchar(40), numeric(12,2), timestamp, double: the benchmark's row.
std::vector<TFieldDef> TypicalColumns() {
    return {Col("ID", TFieldKind::Integer, SQL_LONG, 4, 0),
            Col("NAME", TFieldKind::Text, SQL_VARYING, 40, 1),
            Col("AMOUNT", TFieldKind::FixedPoint, SQL_INT64, 8, 2, -2),
            Col("AT", TFieldKind::DateTime, SQL_TIMESTAMP, 8, 3),
            Col("RATIO", TFieldKind::Float, SQL_DOUBLE, 8, 4)};
}

template <class T> T As(const ibx::CellView& c) {
    T v{};
    EXPECT_EQ(c.Bytes.size(), sizeof v);
    std::memcpy(&v, c.Bytes.data(), sizeof v);
    return v;
}

std::string Name(int i) {
    return "name-" + std::to_string(i) + std::string(i % 23, 'x');
}

void FillTypical(FakeRow& row, int i) {
    row.Set<int>(0, i);
    if (i % 7 == 3)
        row.SetNull(1);
    else
        row.SetVarying(1, Name(i));
    row.Set<ISC_INT64>(2, ISC_INT64{i} * 100 + 25);
    row.Set<ISC_TIMESTAMP>(3, ISC_TIMESTAMP{59000 + i, static_cast<ISC_TIME>(i * 10)});
    row.Set<double>(4, i / 4.0);
}

TEST(RowCache, RoundTripsEveryValueAcrossChunks) {
    const auto cols = TypicalColumns();
    FakeRow row(cols);
    RowCache cache(cols, 10); // small chunks, so rows cross chunk borders
    const int n = 35;
    for (int i = 0; i < n; ++i) {
        FillTypical(row, i);
        cache.AppendRow(*row.da());
    }
    ASSERT_EQ(cache.RowCount(), std::size_t(n));
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(As<int>(cache.Cell(i, 0)), i);
        const auto text = cache.Cell(i, 1);
        if (i % 7 == 3) {
            EXPECT_TRUE(text.IsNull);
            EXPECT_TRUE(text.Bytes.empty());
        } else {
            EXPECT_FALSE(text.IsNull);
            EXPECT_EQ(text.Bytes, Name(i));
        }
        EXPECT_EQ(As<ISC_INT64>(cache.Cell(i, 2)), ISC_INT64{i} * 100 + 25);
        const auto ts = As<ISC_TIMESTAMP>(cache.Cell(i, 3));
        EXPECT_EQ(ts.timestamp_date, 59000 + i);
        EXPECT_EQ(ts.timestamp_time, ISC_TIME(i * 10));
        EXPECT_EQ(As<double>(cache.Cell(i, 4)), i / 4.0);
    }
    EXPECT_THROW(cache.Cell(n, 0), std::out_of_range);
    EXPECT_THROW(cache.Cell(0, 5), std::out_of_range);
}

TEST(RowCache, CharKeepsPaddingVaryingEmptyIsNotNullAndBlobKeepsOnlyNullFlag) {
    // Columns out of description order, with a text column between fixed ones on both sides.
    const std::vector<TFieldDef> cols = {Col("C", TFieldKind::Text, SQL_TEXT, 6, 2),
                                         Col("N", TFieldKind::Integer, SQL_SHORT, 2, 0),
                                         Col("V", TFieldKind::Text, SQL_VARYING, 10, 1),
                                         Col("M", TFieldKind::Memo, SQL_BLOB, 8, 3, 0, 1)};
    FakeRow row(std::vector<TFieldDef>{Col("N", TFieldKind::Integer, SQL_SHORT, 2, 0),
                                       Col("V", TFieldKind::Text, SQL_VARYING, 10, 1),
                                       Col("C", TFieldKind::Text, SQL_TEXT, 6, 2),
                                       Col("M", TFieldKind::Memo, SQL_BLOB, 8, 3, 0, 1)});
    RowCache cache(cols, 0);
    row.Set<short>(0, -5);
    row.SetVarying(1, "");
    row.SetChar(2, "ab");
    row.Set<ISC_QUAD>(3, ISC_QUAD{1, 2});
    cache.AppendRow(*row.da());
    row.SetNull(0);
    row.SetVarying(1, "0123456789");
    row.SetNull(2);
    row.SetNull(3);
    cache.AppendRow(*row.da());

    EXPECT_EQ(cache.Cell(0, 0).Bytes, std::string("ab    "));
    EXPECT_EQ(As<short>(cache.Cell(0, 1)), -5);
    EXPECT_FALSE(cache.Cell(0, 2).IsNull);
    EXPECT_TRUE(cache.Cell(0, 2).Bytes.empty());
    EXPECT_FALSE(cache.Cell(0, 3).IsNull);
    EXPECT_TRUE(cache.Cell(0, 3).Bytes.empty());

    EXPECT_TRUE(cache.Cell(1, 0).IsNull);
    EXPECT_TRUE(cache.Cell(1, 1).IsNull);
    EXPECT_EQ(cache.Cell(1, 2).Bytes, "0123456789");
    EXPECT_TRUE(cache.Cell(1, 3).IsNull);
}

TEST(RowCache, VaryingLengthBeyondColumnIsClipped) {
    const std::vector<TFieldDef> cols = {Col("V", TFieldKind::Text, SQL_VARYING, 4, 0)};
    FakeRow row(cols);
    row.SetVarying(0, "abcd");
    const short bogus = 30000; // a damaged length prefix must not read past the buffer
    std::memcpy(row.var(0).sqldata, &bogus, 2);
    RowCache cache(cols, 1);
    cache.AppendRow(*row.da());
    EXPECT_EQ(cache.Cell(0, 0).Bytes, "abcd");
}

TEST(RowCache, RowWithFewerColumnsThanFieldsIsRefused) {
    const auto cols = TypicalColumns();
    FakeRow row(std::vector<TFieldDef>(cols.begin(), cols.begin() + 2));
    RowCache cache(cols, 1);
    EXPECT_THROW(cache.AppendRow(*row.da()), std::invalid_argument);
    EXPECT_EQ(cache.RowCount(), 0u);
}

TEST(RowCache, CompactForTheTypicalRow) {
    const auto cols = TypicalColumns();
    FakeRow row(cols);
    RowCache cache(cols, 1000);
    const int n = 10000;
    std::size_t payload = 0;
    for (int i = 0; i < n; ++i) {
        row.Set<int>(0, i);
        row.SetVarying(1, std::string(20, char('a' + i % 26)));
        row.Set<ISC_INT64>(2, i);
        row.Set<ISC_TIMESTAMP>(3, ISC_TIMESTAMP{1, 2});
        row.Set<double>(4, 1.5);
        cache.AppendRow(*row.da());
        payload += 4 + 20 + 8 + 8 + 8 + 1; // values + one byte of null flags
    }
    const double perRow = double(cache.BytesAllocated()) / n;
    EXPECT_LE(perRow, 1.5 * double(payload) / n) << perRow << " bytes per row";
    EXPECT_EQ(cache.Cell(n - 1, 1).Bytes, std::string(20, char('a' + (n - 1) % 26)));
}

// Refuses every block the cache asks for while armed.
struct FailAllocations {
    FailAllocations() {
        ibx::SetRowCacheAllocationProbe([](std::size_t) { throw std::bad_alloc(); });
    }
    ~FailAllocations() { ibx::SetRowCacheAllocationProbe(nullptr); }
};

TEST(RowCache, AllocationFailureLeavesCacheUnchanged) {
    const std::vector<TFieldDef> cols = {Col("ID", TFieldKind::Integer, SQL_LONG, 4, 0),
                                         Col("NAME", TFieldKind::Text, SQL_VARYING, 250, 1)};
    FakeRow row(cols);
    RowCache cache(cols, 4);
    // Row 0 opens a chunk; the next rows grow its text arena; row 4 needs a new chunk.
    int refused = 0;
    for (int i = 0; i < 6; ++i) {
        row.Set<int>(0, i);
        row.SetVarying(1, std::string(200, char('a' + i)));
        const std::size_t before = cache.RowCount();
        const std::size_t bytes = cache.BytesAllocated();
        {
            FailAllocations armed;
            try {
                cache.AppendRow(*row.da());
            } catch (const std::bad_alloc&) {
            }
        }
        if (cache.RowCount() == before) { // the append needed memory and was refused
            ++refused;
            EXPECT_EQ(cache.BytesAllocated(), bytes);
            cache.AppendRow(*row.da());
        }
        ASSERT_EQ(cache.RowCount(), before + 1);
    }
    EXPECT_GE(refused, 3); // the new chunks and at least one arena growth
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(As<int>(cache.Cell(i, 0)), i);
        EXPECT_EQ(cache.Cell(i, 1).Bytes, std::string(200, char('a' + i)));
    }
}

} // namespace
