#include "DateTimeText.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace vcl {

namespace {

void AppendNumber(std::string& out, long value, int minDigits) {
    if (value < 0) {
        out += '-';
        value = -value;
    }
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < minDigits)
        out.append(minDigits - digits.size(), '0');
    out += digits;
}

// 0 = Sunday, as the day-name tables count; proleptic Gregorian calendar.
int DayOfWeek(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 1 || month > 12)
        return 0;
    long y = month < 3 ? year - 1L : year;
    // Floor division keeps the rule right for years before 1.
    auto fdiv = [](long a, long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    long r = (y + fdiv(y, 4) - fdiv(y, 100) + fdiv(y, 400) + offsets[month - 1] + day) % 7;
    return static_cast<int>(r < 0 ? r + 7 : r);
}

const std::string& Pick(const std::string* table, int size, int index) {
    static const std::string empty;
    return index >= 0 && index < size ? table[index] : empty;
}

} // namespace

TDateTimeParts Now() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    // to_time_t may round; the milliseconds are taken from the same truncated second.
    auto sinceSecond = now - system_clock::from_time_t(seconds);
    if (sinceSecond < system_clock::duration::zero()) {
        --seconds;
        sinceSecond += std::chrono::seconds(1);
    }
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return TDateTimeParts{local.tm_year + 1900,
                          local.tm_mon + 1,
                          local.tm_mday,
                          local.tm_hour,
                          local.tm_min,
                          local.tm_sec,
                          static_cast<int>(duration_cast<milliseconds>(sinceSecond).count())};
}

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

std::string DateToStr(const TDateTimeParts& value, const TFormatSettings& fs) {
    const std::string& f = fs.ShortDateFormat;
    std::string out;
    size_t i = 0;
    while (i < f.size()) {
        char c = f[i];
        if (c == '\'') {
            // Quoted literal; a doubled quote stands for one quote, inside or outside.
            if (i + 1 < f.size() && f[i + 1] == '\'') {
                out += '\'';
                i += 2;
                continue;
            }
            ++i;
            while (i < f.size()) {
                if (f[i] == '\'') {
                    if (i + 1 < f.size() && f[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += f[i++];
            }
            continue;
        }
        size_t run = 1;
        while (i + run < f.size() && f[i + run] == c)
            ++run;
        size_t used = run;
        switch (c) {
        case 'd':
            used = run > 4 ? 4 : run;
            if (used <= 2)
                AppendNumber(out, value.Day, static_cast<int>(used));
            else if (used == 3)
                out += Pick(fs.ShortDayNames, 7, DayOfWeek(value.Year, value.Month, value.Day));
            else
                out += Pick(fs.LongDayNames, 7, DayOfWeek(value.Year, value.Month, value.Day));
            break;
        case 'M':
            used = run > 4 ? 4 : run;
            if (used <= 2)
                AppendNumber(out, value.Month, static_cast<int>(used));
            else if (used == 3)
                out += Pick(fs.ShortMonthNames, 12, value.Month - 1);
            else
                out += Pick(fs.LongMonthNames, 12, value.Month - 1);
            break;
        case 'y':
            if (run >= 4) {
                used = 4;
                AppendNumber(out, value.Year, 4);
            } else if (run >= 2) {
                used = 2;
                AppendNumber(out, std::labs(static_cast<long>(value.Year)) % 100, 2);
            } else {
                out += c; // a single y is no field
            }
            break;
        default:
            out.append(run, c);
            break;
        }
        i += used;
    }
    return out;
}

std::string TimeToStr(const TDateTimeParts& value, const TFormatSettings& fs) {
    int hour = value.Hour;
    if (!fs.TwentyFourHour) {
        hour %= 12;
        if (hour == 0)
            hour = 12;
    }
    std::string time;
    AppendNumber(time, hour, fs.TimeLeadingZero ? 2 : 1);
    time += fs.TimeSeparator;
    AppendNumber(time, value.Minute, 2);
    time += fs.TimeSeparator;
    AppendNumber(time, value.Second, 2);
    if (fs.TwentyFourHour)
        return time;
    const std::string& marker = value.Hour < 12 ? fs.TimeAMString : fs.TimePMString;
    return fs.TimeMarkerFirst ? marker + ' ' + time : time + ' ' + marker;
}

std::string DateTimeToStr(const TDateTimeParts& value, const TFormatSettings& fs) {
    std::string text = DateToStr(value, fs);
    if (value.Hour != 0 || value.Minute != 0 || value.Second != 0)
        text += ' ' + TimeToStr(value, fs);
    return text;
}

} // namespace vcl
