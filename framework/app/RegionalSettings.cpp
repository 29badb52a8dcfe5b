#include "RegionalSettings.h"

#include <QString>
#include <vector>

namespace vcl {

namespace {

// A Qt pattern as fields (a letter and its run length) and literal text, quotes resolved.
struct Token {
    QChar field; // null for literal text
    int run = 0;
    QString text;
};

std::vector<Token> Tokenize(const QString& pattern) {
    std::vector<Token> tokens;
    auto literal = [&](QChar c) {
        if (tokens.empty() || !tokens.back().field.isNull())
            tokens.push_back({});
        tokens.back().text += c;
    };
    for (qsizetype i = 0; i < pattern.size();) {
        QChar c = pattern[i];
        if (c == u'\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
                literal(c);
                i += 2;
                continue;
            }
            for (++i; i < pattern.size(); ++i) {
                if (pattern[i] == u'\'') {
                    if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
                        literal(u'\'');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal(pattern[i]);
            }
            continue;
        }
        if ((c == u'a' || c == u'A') && i + 1 < pattern.size() &&
            (pattern[i + 1] == u'p' || pattern[i + 1] == u'P')) {
            tokens.push_back({c, 2, pattern.mid(i, 2)});
            i += 2;
            continue;
        }
        if (QStringView(u"hHmsaAt").contains(c)) {
            int run = 1;
            while (i + run < pattern.size() && pattern[i + run] == c)
                ++run;
            tokens.push_back({c, run, {}});
            i += run;
            continue;
        }
        literal(c);
        ++i;
    }
    return tokens;
}

std::string Local8(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

} // namespace

void ReadRegionalSettings(TFormatSettings& fs, const QLocale& locale) {
    QString date = locale.dateFormat(QLocale::ShortFormat);
    fs.ShortDateFormat = date.isEmpty() ? "M/d/yy" : Local8(date);

    const std::vector<Token> tokens = Tokenize(locale.timeFormat(QLocale::ShortFormat));
    int hourAt = -1, markerAt = -1;
    for (int i = 0; i < static_cast<int>(tokens.size()); ++i) {
        QChar f = tokens[i].field;
        if ((f == u'h' || f == u'H') && hourAt < 0)
            hourAt = i;
        if ((f == u'a' || f == u'A') && markerAt < 0)
            markerAt = i;
    }
    fs.TimeSeparator = ":";
    fs.TimeLeadingZero = false;
    fs.TwentyFourHour = true;
    fs.TimeMarkerFirst = false;
    if (hourAt >= 0) {
        fs.TimeLeadingZero = tokens[hourAt].run >= 2;
        // In Qt's notation h counts 1 to 12 only when the pattern shows a marker.
        fs.TwentyFourHour = tokens[hourAt].field == u'H' || markerAt < 0;
        fs.TimeMarkerFirst = !fs.TwentyFourHour && markerAt < hourAt;
        // The separator is what stands between the hour and the minutes.
        QString separator;
        for (size_t i = hourAt + 1; i < tokens.size() && tokens[i].field != u'm'; ++i)
            if (tokens[i].field.isNull())
                separator += tokens[i].text;
        if (!separator.trimmed().isEmpty())
            fs.TimeSeparator = Local8(separator.trimmed());
    }
    // The marker's letters choose the case: AP upper, ap lower, mixed as the locale has it.
    QString am = locale.amText(), pm = locale.pmText();
    if (markerAt >= 0) {
        const QString& m = tokens[markerAt].text.isEmpty() ? QString(tokens[markerAt].field)
                                                           : tokens[markerAt].text;
        if (m == m.toUpper()) {
            am = am.toUpper();
            pm = pm.toUpper();
        } else if (m == m.toLower()) {
            am = am.toLower();
            pm = pm.toLower();
        }
    }
    fs.TimeAMString = Local8(am);
    fs.TimePMString = Local8(pm);

    QByteArray decimal = locale.decimalPoint().toLocal8Bit();
    fs.DecimalSeparator = decimal.isEmpty() ? '.' : decimal[0];

    for (int m = 1; m <= 12; ++m) {
        fs.ShortMonthNames[m - 1] = Local8(locale.monthName(m, QLocale::ShortFormat));
        fs.LongMonthNames[m - 1] = Local8(locale.monthName(m, QLocale::LongFormat));
    }
    for (int d = 0; d < 7; ++d) { // Qt counts Monday as 1 and Sunday as 7
        int qtDay = d == 0 ? 7 : d;
        fs.ShortDayNames[d] = Local8(locale.dayName(qtDay, QLocale::ShortFormat));
        fs.LongDayNames[d] = Local8(locale.dayName(qtDay, QLocale::LongFormat));
    }
}

void ReadRegionalSettings() {
    ReadRegionalSettings(FormatSettings());
}

} // namespace vcl
