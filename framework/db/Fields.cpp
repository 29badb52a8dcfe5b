#include "Fields.h"

namespace ibx {

std::optional<TFieldKind> KindOf(short sqlType, short sqlScale, short sqlSubType,
                                 const std::string& name) {
    if (name == "IBX_INTERNAL_DBKEY")
        return std::nullopt;
    switch (sqlType & ~1) {
    case SQL_TEXT:
    case SQL_VARYING:
        return TFieldKind::Text;
    case SQL_SHORT:
        return sqlScale == 0 ? TFieldKind::Integer : TFieldKind::FixedPoint;
    case SQL_LONG:
    case SQL_INT64:
        if (sqlScale == 0)
            return TFieldKind::Integer;
        return sqlScale >= -4 ? TFieldKind::FixedPoint : TFieldKind::Float;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return TFieldKind::Float;
    case SQL_TYPE_DATE:
        return TFieldKind::Date;
    case SQL_TYPE_TIME:
        return TFieldKind::Time;
    case SQL_TIMESTAMP:
        return TFieldKind::DateTime;
    case SQL_BLOB:
        return sqlSubType == 1 ? TFieldKind::Memo : TFieldKind::Blob;
    default: // ARRAY, BOOLEAN and anything newer are not shown
        return std::nullopt;
    }
}

} // namespace ibx
