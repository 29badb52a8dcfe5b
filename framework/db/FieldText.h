#pragma once
// The text a result cell shows, by the kind of its column. Pure and Qt-free: any description and
// any bytes give some text, never a read outside the value's bytes.

#include "Fields.h"
#include "RowCache.h"
#include "core/DateTimeText.h"

#include <string>

namespace ibx {

/// The cell text of one value: text as stored; whole numbers as plain digits; fixed-point with as
/// many decimals as needed (at most 4, rounded beyond); floating point in general format with at
/// most 15 significant digits (a FLOAT by its shortest exact text); dates and times by the
/// regional settings; "(MEMO)"/"(Memo)" and "(BLOB)"/"(Blob)"; any other NULL, or a value too
/// short for its type, as empty text.
std::string CellText(const TFieldDef& field, const CellView& cell,
                     const vcl::TFormatSettings& fs = vcl::FormatSettings());

/// Whether a typed character could ever be part of a value of the kind (digits and signs in
/// numbers, the decimal separator in fixed and floating point, an exponent in floating point).
bool IsValidChar(TFieldKind kind, char32_t ch,
                 const vcl::TFormatSettings& fs = vcl::FormatSettings());

/// The broken-down date of an ISC_DATE (days since 17 November 1858); false outside years 1 to
/// 9999.
bool DecodeIscDate(ISC_DATE date, vcl::TDateTimeParts& parts);
/// The broken-down time of an ISC_TIME (1/10000 s since midnight); false past the day's end.
bool DecodeIscTime(ISC_TIME time, vcl::TDateTimeParts& parts);

} // namespace ibx
