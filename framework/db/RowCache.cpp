#include "RowCache.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace ibx {
namespace {

// How one column travels from the fetched XSQLDA into a row slot.
enum class CopyKind : std::uint8_t {
    Fixed,    // `width` bytes at their own size
    Char,     // CHAR: sqllen bytes, as padded by the server, into the text arena
    Varying,  // VARCHAR: the length prefix's count of bytes into the text arena
    NullOnly, // BLOB: the null flag alone
};

struct CopyStep {
    CopyKind kind;
    int source;          // index into XSQLDA::sqlvar
    std::uint32_t width; // Fixed: bytes stored; Char: the column's length
    std::uint32_t slot;  // offset inside the row: the value, or a text end offset
};

RowCacheAllocationProbe gProbe = nullptr;

char* Allocate(std::size_t bytes) {
    if (gProbe)
        gProbe(bytes);
    return new char[bytes];
}

using TextEnd = std::uint32_t; // end of a text value inside its chunk's arena
constexpr std::uint32_t kNoSlot = std::numeric_limits<std::uint32_t>::max();

std::uint32_t FixedWidth(const TFieldDef& f) {
    switch (f.SqlType & ~1) {
    case SQL_SHORT:
        return 2;
    case SQL_LONG:
    case SQL_FLOAT:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
        return 4;
    case SQL_INT64:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_TIMESTAMP:
        return 8;
    default:
        return f.SqlLen > 0 ? static_cast<std::uint32_t>(f.SqlLen) : 0;
    }
}

// Grows only by exact, explicit reservations, so a failure leaves the contents as they were.
struct Arena {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t capacity = 0;

    void Reserve(std::size_t wanted) {
        if (wanted <= capacity)
            return;
        std::size_t grown = capacity < 256 ? 256 : capacity * 2;
        if (grown < wanted)
            grown = wanted;
        std::unique_ptr<char[]> fresh(Allocate(grown));
        if (size)
            std::memcpy(fresh.get(), data.get(), size);
        data = std::move(fresh);
        capacity = grown;
    }
    // Gives back the slack of a chunk that is full; keeps the old block if that fails.
    void Trim() noexcept {
        if (capacity == size)
            return;
        char* fresh = new (std::nothrow) char[size ? size : 1];
        if (!fresh)
            return;
        if (size)
            std::memcpy(fresh, data.get(), size);
        data.reset(fresh);
        capacity = size;
    }
};

struct Chunk {
    std::unique_ptr<char[]> rows; // chunkRows * stride bytes
    Arena text;
};

} // namespace

void SetRowCacheAllocationProbe(RowCacheAllocationProbe probe) noexcept {
    gProbe = probe;
}

struct RowCache::Impl {
    std::vector<TFieldDef> fields;
    std::vector<CopyStep> plan;              // one step per field, in field order
    std::vector<std::uint32_t> prevTextSlot; // per text field: slot of the text column before it
    std::uint32_t nullBytes = 0;
    std::uint32_t stride = 0;
    std::uint32_t textColumns = 0;
    std::uint32_t lastTextSlot = 0; // slot of the last text column of a row
    int maxSource = -1;
    std::size_t chunkRows = 1000;
    std::vector<Chunk> chunks;
    std::size_t rowCount = 0;

    const char* Row(std::size_t row) const noexcept {
        return chunks[row / chunkRows].rows.get() + (row % chunkRows) * stride;
    }
};

RowCache::RowCache(std::vector<TFieldDef> fields, int chunkRows) : impl_(new Impl) {
    Impl& m = *impl_;
    m.fields = std::move(fields);
    m.chunkRows = chunkRows > 0 ? static_cast<std::size_t>(chunkRows) : 1000;
    m.nullBytes = static_cast<std::uint32_t>((m.fields.size() + 7) / 8);
    std::uint32_t offset = m.nullBytes;
    m.prevTextSlot.assign(m.fields.size(), kNoSlot);
    for (std::size_t i = 0; i < m.fields.size(); ++i) {
        const TFieldDef& f = m.fields[i];
        CopyStep step{CopyKind::Fixed, f.Index, 0, offset};
        if (f.Index > m.maxSource)
            m.maxSource = f.Index;
        switch (f.SqlType & ~1) {
        case SQL_TEXT:
        case SQL_VARYING:
            step.kind = (f.SqlType & ~1) == SQL_TEXT ? CopyKind::Char : CopyKind::Varying;
            step.width = f.SqlLen > 0 ? static_cast<std::uint32_t>(f.SqlLen) : 0;
            if (m.textColumns++ > 0)
                m.prevTextSlot[i] = m.lastTextSlot;
            m.lastTextSlot = offset;
            offset += sizeof(TextEnd);
            break;
        case SQL_BLOB:
        case SQL_ARRAY:
            step.kind = CopyKind::NullOnly;
            break;
        default:
            step.width = FixedWidth(f);
            offset += step.width;
            break;
        }
        m.plan.push_back(step);
    }
    m.stride = offset ? offset : 1;
}

RowCache::~RowCache() = default;

void RowCache::AppendRow(const XSQLDA& row) {
    Impl& m = *impl_;
    if (m.maxSource >= row.sqld)
        throw std::invalid_argument("row description has fewer columns than the cache");

    // Measure first, so every allocation happens before anything changes.
    std::size_t textBytes = 0;
    for (const CopyStep& step : m.plan) {
        const XSQLVAR& v = row.sqlvar[step.source];
        if (v.sqlind && *v.sqlind < 0)
            continue;
        if (step.kind == CopyKind::Char) {
            textBytes += step.width;
        } else if (step.kind == CopyKind::Varying) {
            short len;
            std::memcpy(&len, v.sqldata, sizeof len);
            if (len > 0)
                textBytes += std::min<std::uint32_t>(static_cast<std::uint32_t>(len), step.width);
        }
    }

    const std::size_t inChunk = m.rowCount % m.chunkRows;
    if (inChunk == 0) {
        Chunk fresh;
        fresh.rows.reset(Allocate(m.chunkRows * m.stride));
        if (m.textColumns)
            fresh.text.Reserve(textBytes);
        if (m.chunks.size() == m.chunks.capacity()) {
            const std::size_t more = m.chunks.size() * 2 + 4;
            if (gProbe)
                gProbe(more * sizeof(Chunk));
            m.chunks.reserve(more);
        }
        if (!m.chunks.empty())
            m.chunks.back().text.Trim();
        m.chunks.push_back(std::move(fresh)); // cannot throw after the reserve
    } else if (textBytes) {
        Arena& arena = m.chunks.back().text;
        if (arena.size + textBytes > std::numeric_limits<TextEnd>::max())
            throw std::bad_alloc();
        arena.Reserve(arena.size + textBytes);
    }

    // From here on nothing can fail.
    Chunk& chunk = m.chunks.back();
    char* dst = chunk.rows.get() + inChunk * m.stride;
    std::memset(dst, 0, m.nullBytes);
    Arena& arena = chunk.text;
    for (std::size_t i = 0; i < m.plan.size(); ++i) {
        const CopyStep& step = m.plan[i];
        const XSQLVAR& v = row.sqlvar[step.source];
        const bool isNull = v.sqlind && *v.sqlind < 0;
        if (isNull)
            dst[i / 8] = static_cast<char>(dst[i / 8] | (1 << (i % 8)));
        switch (step.kind) {
        case CopyKind::Fixed:
            if (!isNull)
                std::memcpy(dst + step.slot, v.sqldata, step.width);
            else
                std::memset(dst + step.slot, 0, step.width);
            break;
        case CopyKind::Char:
        case CopyKind::Varying: {
            if (!isNull) {
                const char* src = v.sqldata;
                std::uint32_t len = step.width;
                if (step.kind == CopyKind::Varying) {
                    short n;
                    std::memcpy(&n, v.sqldata, sizeof n);
                    len = n > 0 ? std::min<std::uint32_t>(static_cast<std::uint32_t>(n), len) : 0;
                    src += sizeof n;
                }
                if (len)
                    std::memcpy(arena.data.get() + arena.size, src, len);
                arena.size += len;
            }
            const TextEnd end = static_cast<TextEnd>(arena.size);
            std::memcpy(dst + step.slot, &end, sizeof end);
            break;
        }
        case CopyKind::NullOnly:
            break;
        }
    }
    ++m.rowCount;
}

std::size_t RowCache::RowCount() const noexcept {
    return impl_->rowCount;
}

const std::vector<TFieldDef>& RowCache::Fields() const noexcept {
    return impl_->fields;
}

CellView RowCache::Cell(std::size_t row, std::size_t field) const {
    const Impl& m = *impl_;
    if (row >= m.rowCount || field >= m.fields.size())
        throw std::out_of_range("RowCache::Cell");
    const char* r = m.Row(row);
    CellView cell;
    cell.IsNull = (r[field / 8] >> (field % 8)) & 1;
    const CopyStep& step = m.plan[field];
    switch (step.kind) {
    case CopyKind::Fixed:
        if (!cell.IsNull)
            cell.Bytes = std::string_view(r + step.slot, step.width);
        break;
    case CopyKind::Char:
    case CopyKind::Varying: {
        // A text value starts where the text value before it in the same chunk ended.
        TextEnd end, begin = 0;
        std::memcpy(&end, r + step.slot, sizeof end);
        if (m.prevTextSlot[field] != kNoSlot)
            std::memcpy(&begin, r + m.prevTextSlot[field], sizeof begin);
        else if (row % m.chunkRows > 0)
            std::memcpy(&begin, r - m.stride + m.lastTextSlot, sizeof begin);
        if (!cell.IsNull)
            cell.Bytes =
                std::string_view(m.chunks[row / m.chunkRows].text.data.get() + begin, end - begin);
        break;
    }
    case CopyKind::NullOnly:
        break;
    }
    return cell;
}

std::size_t RowCache::BytesAllocated() const noexcept {
    const Impl& m = *impl_;
    std::size_t total = 0;
    for (const Chunk& c : m.chunks)
        total += m.chunkRows * m.stride + c.text.capacity;
    return total;
}

} // namespace ibx
