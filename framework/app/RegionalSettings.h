#pragma once
// The regional settings from the user's locale, read once at start into FormatSettings().

#include "core/DateTimeText.h"

#include <QLocale>

namespace vcl {

/// Fills `fs` from `locale`: short date format, time separator, leading zero, 12 or 24 hours,
/// AM/PM texts and their position, decimal separator, month and day names (8-bit texts).
void ReadRegionalSettings(TFormatSettings& fs, const QLocale& locale = QLocale::system());

/// Fills the process-wide FormatSettings() from the system's locale.
void ReadRegionalSettings();

} // namespace vcl
