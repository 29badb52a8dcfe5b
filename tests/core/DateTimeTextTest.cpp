#include "core/DateTimeText.h"

#include <gtest/gtest.h>

#include <ctime>

using vcl::TDateTimeParts;
using vcl::TFormatSettings;

namespace {

TFormatSettings German() {
    TFormatSettings fs;
    fs.ShortDateFormat = "dd.MM.yyyy";
    fs.TimeLeadingZero = true;
    return fs;
}

TFormatSettings American() {
    TFormatSettings fs;
    fs.ShortDateFormat = "M/d/yy";
    fs.TwentyFourHour = false;
    return fs;
}

TFormatSettings Korean() {
    TFormatSettings fs;
    fs.ShortDateFormat = "yy. M. d.";
    fs.TwentyFourHour = false;
    fs.TimeMarkerFirst = true;
    fs.TimeAMString = "\xEC\x98\xA4\xEC\xA0\x84"; // 오전
    fs.TimePMString = "\xEC\x98\xA4\xED\x9B\x84"; // 오후
    return fs;
}

TFormatSettings Finnish() { // dots between the time fields, no leading zero
    TFormatSettings fs;
    fs.ShortDateFormat = "d.M.yyyy";
    fs.TimeSeparator = ".";
    return fs;
}

struct Case {
    const char* name;
    TFormatSettings fs;
    TDateTimeParts at;
    std::string expected;
};

TDateTimeParts At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return TDateTimeParts{y, mo, d, h, mi, s, ms};
}

const Case kCases[] = {
    {"GermanAfternoon", German(), At(2024, 12, 9, 16, 5, 7), "09.12.2024 16:05:07"},
    {"GermanMidnightIsDateAlone", German(), At(2024, 12, 9), "09.12.2024"},
    {"MillisecondsDoNotCountAsTime", German(), At(2024, 12, 9, 0, 0, 0, 999), "09.12.2024"},
    {"OneSecondAfterMidnight", German(), At(2024, 12, 9, 0, 0, 1), "09.12.2024 00:00:01"},
    {"GermanMorningLeadingZero", German(), At(2024, 1, 2, 4, 5, 7), "02.01.2024 04:05:07"},
    {"AmericanAfternoon", American(), At(2024, 12, 9, 16, 5, 7), "12/9/24 4:05:07 PM"},
    {"AmericanNoonIsTwelvePm", American(), At(2024, 3, 4, 12, 0, 0), "3/4/24 12:00:00 PM"},
    {"AmericanAfterMidnightIsTwelveAm", American(), At(2024, 3, 4, 0, 30, 0), "3/4/24 12:30:00 AM"},
    {"AmericanLastSecond", American(), At(2024, 3, 4, 23, 59, 59), "3/4/24 11:59:59 PM"},
    {"KoreanMarkerFirst", Korean(), At(2024, 12, 9, 4, 5, 7),
     "24. 12. 9. \xEC\x98\xA4\xEC\xA0\x84 4:05:07"},
    {"KoreanAfternoon", Korean(), At(2024, 12, 9, 13, 0, 9),
     "24. 12. 9. \xEC\x98\xA4\xED\x9B\x84 1:00:09"},
    {"FinnishSeparator", Finnish(), At(2024, 12, 9, 9, 5, 7), "9.12.2024 9.05.07"},
};

class DateTimeToStrTable : public testing::TestWithParam<Case> {};

TEST_P(DateTimeToStrTable, Formats) {
    const Case& c = GetParam();
    EXPECT_EQ(vcl::DateTimeToStr(c.at, c.fs), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, DateTimeToStrTable, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct Pattern {
    const char* format;
    std::string expected;
};

class DateToStrPatterns : public testing::TestWithParam<Pattern> {};

// 5 March 2007 was a Monday.
TEST_P(DateToStrPatterns, Interprets) {
    TFormatSettings fs;
    fs.ShortDateFormat = GetParam().format;
    EXPECT_EQ(vcl::DateToStr(At(2007, 3, 5), fs), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Qt, DateToStrPatterns,
    testing::Values(Pattern{"d/M/yy", "5/3/07"}, Pattern{"dd-MM-yyyy", "05-03-2007"},
                    Pattern{"yyyy/M/d", "2007/3/5"}, Pattern{"ddd dddd", "Mon Monday"},
                    Pattern{"MMM MMMM", "Mar March"}, Pattern{"ddddd", "Monday5"},
                    Pattern{"y yyy", "y 07y"}, Pattern{"'d'd 'M''M'", "d5 M'M"},
                    Pattern{"''d''", "'5'"}, Pattern{"'open", "open"},
                    Pattern{"d. MMM. yyyy, hh", "5. Mar. 2007, hh"}, Pattern{"", ""}));

TEST(DateToStr, DayNamesAcrossCenturies) {
    TFormatSettings fs;
    fs.ShortDateFormat = "ddd";
    EXPECT_EQ(vcl::DateToStr(At(2000, 2, 29), fs), "Tue");
    EXPECT_EQ(vcl::DateToStr(At(1900, 3, 1), fs), "Thu");
    EXPECT_EQ(vcl::DateToStr(At(1899, 12, 30), fs), "Sat");
    EXPECT_EQ(vcl::DateToStr(At(2024, 12, 9), fs), "Mon");
}

TEST(DateToStr, OddYearsKeepTheirDigits) {
    TFormatSettings fs;
    fs.ShortDateFormat = "yyyy|yy";
    EXPECT_EQ(vcl::DateToStr(At(12, 1, 1), fs), "0012|12");
    EXPECT_EQ(vcl::DateToStr(At(12345, 1, 1), fs), "12345|45");
}

TEST(FormatSettings, IsOneProcessWideObject) {
    vcl::TFormatSettings saved = vcl::FormatSettings();
    vcl::FormatSettings().ShortDateFormat = "yyyy";
    EXPECT_EQ(vcl::DateToStr(At(2024, 12, 9)), "2024");
    vcl::FormatSettings() = saved;
}

} // namespace

namespace {

TEST(Now, IsTheLocalClockToTheMillisecond) {
    std::time_t before = std::time(nullptr);
    TDateTimeParts now = vcl::Now();
    std::time_t after = std::time(nullptr);
    std::tm tm{};
    tm.tm_year = now.Year - 1900;
    tm.tm_mon = now.Month - 1;
    tm.tm_mday = now.Day;
    tm.tm_hour = now.Hour;
    tm.tm_min = now.Minute;
    tm.tm_sec = now.Second;
    tm.tm_isdst = -1;
    std::time_t back = std::mktime(&tm);
    EXPECT_GE(back, before);
    EXPECT_LE(back, after);
    EXPECT_GE(now.Millisecond, 0);
    EXPECT_LT(now.Millisecond, 1000);
}

} // namespace
