#include "app/RegionalSettings.h"

#include <QDate>
#include <QLocale>
#include <gtest/gtest.h>

using vcl::TDateTimeParts;
using vcl::TFormatSettings;

namespace {

struct LocaleCase {
    const char* locale;
    std::string shortDate, separator;
    bool leadingZero, twentyFour, markerFirst;
    std::string am, pm;
    char decimal;
    std::string afternoon; // 9 December 2024, 16:05:07
};

const LocaleCase kLocales[] = {
    {"de_DE", "dd.MM.yy", ":", true, true, false, "AM", "PM", ',', "09.12.24 16:05:07"},
    {"en_US", "M/d/yy", ":", false, false, false, "AM", "PM", '.', "12/9/24 4:05:07 PM"},
    {"ko_KR", "yy. M. d.", ":", false, false, true, "\xEC\x98\xA4\xEC\xA0\x84",
     "\xEC\x98\xA4\xED\x9B\x84", '.', "24. 12. 9. \xEC\x98\xA4\xED\x9B\x84 4:05:07"},
    {"zh_CN", "yyyy/M/d", ":", true, true, false, "\xE4\xB8\x8A\xE5\x8D\x88",
     "\xE4\xB8\x8B\xE5\x8D\x88", '.', "2024/12/9 16:05:07"},
    {"fi_FI", "d.M.yyyy", ".", false, true, false, "ap.", "ip.", ',', "9.12.2024 16.05.07"},
    {"fr_CA", "yyyy-MM-dd", "h", true, true, false, "a.m.", "p.m.", ',', "2024-12-09 16h05h07"},
};

class FromLocale : public testing::TestWithParam<LocaleCase> {};

TEST_P(FromLocale, ReadsSettingsAndFormats) {
    const LocaleCase& c = GetParam();
    TFormatSettings fs;
    vcl::ReadRegionalSettings(fs, QLocale(QString::fromLatin1(c.locale)));
    EXPECT_EQ(fs.ShortDateFormat, c.shortDate);
    EXPECT_EQ(fs.TimeSeparator, c.separator);
    EXPECT_EQ(fs.TimeLeadingZero, c.leadingZero);
    EXPECT_EQ(fs.TwentyFourHour, c.twentyFour);
    EXPECT_EQ(fs.TimeMarkerFirst, c.markerFirst);
    EXPECT_EQ(fs.TimeAMString, c.am);
    EXPECT_EQ(fs.TimePMString, c.pm);
    EXPECT_EQ(fs.DecimalSeparator, c.decimal);
    EXPECT_EQ(vcl::DateTimeToStr(TDateTimeParts{2024, 12, 9, 16, 5, 7, 0}, fs), c.afternoon);
    EXPECT_EQ(vcl::DateTimeToStr(TDateTimeParts{2024, 12, 9, 0, 0, 0, 0}, fs),
              c.afternoon.substr(0, c.afternoon.find(' ', c.shortDate.size() - 1)));
}

INSTANTIATE_TEST_SUITE_P(Locales, FromLocale, testing::ValuesIn(kLocales),
                         [](const auto& info) { return std::string(info.param.locale); });

// Qt's own date formatting is the reference for the short date of every locale it knows.
TEST(FromLocale, ShortDateMatchesQtForEveryLocale) {
    const QDate dates[] = {QDate(2024, 12, 9), QDate(2007, 3, 5), QDate(1999, 1, 31)};
    int compared = 0;
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyCountry)) {
        TFormatSettings fs;
        vcl::ReadRegionalSettings(fs, locale);
        for (const QDate& d : dates) {
            std::string expected = locale.toString(d, QLocale::ShortFormat).toStdString();
            std::string got = vcl::DateToStr(TDateTimeParts{d.year(), d.month(), d.day()}, fs);
            // Locales with other digits (Arabic, Bengali...) differ in digits only; skip them.
            if (locale.zeroDigit() != u"0")
                continue;
            ASSERT_EQ(got, expected) << locale.name().toStdString() << " " << fs.ShortDateFormat;
            ++compared;
        }
    }
    EXPECT_GT(compared, 300);
}

TEST(FromLocale, ProcessWideSettingsFollowTheSystem) {
    TFormatSettings saved = vcl::FormatSettings();
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    vcl::ReadRegionalSettings(vcl::FormatSettings(), QLocale());
    EXPECT_EQ(vcl::DateToStr(TDateTimeParts{2024, 12, 9}), "09.12.24");
    vcl::FormatSettings() = saved;
    QLocale::setDefault(QLocale::c());
}

} // namespace
