#pragma once
// Every fetched row of a result, held compactly: fixed-width values at their own size, text at its
// actual length, null flags as bits; grown by room for a chunk of rows at a time. Qt-free.

#include "Fields.h"

#include <ibase.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace ibx {

/// One cached value: null, or the bytes of the value in the client library's own layout
/// (little-endian integers, ISC_DATE, ISC_TIME, ISC_TIMESTAMP, float, double; text without its
/// length prefix; nothing for BLOBs, whose contents are never read).
struct CellView {
    bool IsNull = true;
    std::string_view Bytes;
};

/// Called with the size of each block the cache is about to allocate; may throw std::bad_alloc.
/// Lets tests drive the cache's out-of-memory path; null (the default) does nothing.
using RowCacheAllocationProbe = void (*)(std::size_t bytes);
void SetRowCacheAllocationProbe(RowCacheAllocationProbe probe) noexcept;

class RowCache {
public:
    /// `chunkRows` of 0 or less means 1000.
    RowCache(std::vector<TFieldDef> fields, int chunkRows);
    RowCache(const RowCache&) = delete;
    RowCache& operator=(const RowCache&) = delete;
    ~RowCache();

    /// Copies one fetched row out of the result description (columns taken by TFieldDef::Index).
    /// Throws std::bad_alloc when the cache cannot grow; the rows cached so far stay.
    void AppendRow(const XSQLDA& row);

    std::size_t RowCount() const noexcept;
    const std::vector<TFieldDef>& Fields() const noexcept;
    CellView Cell(std::size_t row, std::size_t field) const;

    /// Bytes held for the cached rows (for the benchmark).
    std::size_t BytesAllocated() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace ibx
