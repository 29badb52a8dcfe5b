#pragma once
// The columns of a result as the grid shows them: which described columns appear, and of what kind.

#include <ibase.h>

#include <optional>
#include <string>

namespace ibx {

/// How a result column is shown.
enum class TFieldKind {
    Text,       ///< CHAR, VARCHAR: the stored characters
    Integer,    ///< SMALLINT, INTEGER, BIGINT without decimals
    FixedPoint, ///< SMALLINT with decimals; INTEGER, BIGINT with 1 to 4 decimals
    Float,      ///< INTEGER, BIGINT with more than 4 decimals; FLOAT; DOUBLE PRECISION
    Date,
    Time,
    DateTime, ///< TIMESTAMP
    Memo,     ///< BLOB sub-type 1
    Blob,     ///< any other BLOB
};

/// One shown result column.
struct TFieldDef {
    std::string Name; ///< the alias, or the column's name as the server reports it
    TFieldKind Kind{};
    short SqlType = 0; ///< the server type, without the nullable bit
    short SqlScale = 0;
    short SqlSubType = 0;
    short SqlLen = 0;
    int Index = 0; ///< position of the column in the result description
};

/// The kind of a described column, or nothing when the grid leaves it out (ARRAY, other types,
/// the internal key column "IBX_INTERNAL_DBKEY").
std::optional<TFieldKind> KindOf(short sqlType, short sqlScale, short sqlSubType,
                                 const std::string& name);

} // namespace ibx
