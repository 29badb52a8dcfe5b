#pragma once
// Date and time text from the regional settings, as the status bar and the grid show them. Pure:
// the settings are read from the system once at start (see app/RegionalSettings.h).

#include <string>

namespace vcl {

/// The regional settings the texts are built from.
struct TFormatSettings {
    /// Short date pattern in Qt's notation (d, dd, ddd, dddd, M, MM, MMM, MMMM, yy, yyyy; quoted
    /// literals, '' for a quote; any other character, a single y included, stands for itself).
    std::string ShortDateFormat = "M/d/yy";
    std::string TimeSeparator = ":";
    bool TimeLeadingZero = false; ///< hour with a leading zero
    bool TwentyFourHour = true;   ///< false: hours 1 to 12 with the AM/PM texts
    bool TimeMarkerFirst = false; ///< the AM/PM text stands before the time
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    char DecimalSeparator = '.';
    /// Month names for MMM and MMMM, January first.
    std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string LongMonthNames[12] = {"January",   "February", "March",    "April",
                                      "May",       "June",     "July",     "August",
                                      "September", "October",  "November", "December"};
    /// Day names for ddd and dddd, Sunday first.
    std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                   "Thursday", "Friday", "Saturday"};
};

/// A broken-down local date and time.
struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

/// The current local date and time from the system clock, to the millisecond.
TDateTimeParts Now();

/// The process-wide settings (defaults until the application reads the system's).
TFormatSettings& FormatSettings();

/// The date in the short date format.
std::string DateToStr(const TDateTimeParts& value, const TFormatSettings& fs = FormatSettings());
/// Hours, minutes and seconds by the regional settings (leading zero, separator, 12/24 hours).
std::string TimeToStr(const TDateTimeParts& value, const TFormatSettings& fs = FormatSettings());
/// The date, then a blank and the time unless hours, minutes and seconds are all zero.
std::string DateTimeToStr(const TDateTimeParts& value,
                          const TFormatSettings& fs = FormatSettings());

} // namespace vcl
