#include "FieldText.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace ibx {
namespace {

constexpr int kMaxFixedDecimals = 4;
constexpr int kFloatDigits = 15;

// Reads a fixed-width value; false when the cell holds fewer bytes than the type needs.
template <typename T> bool Read(const CellView& cell, T& out) {
    if (cell.Bytes.size() < sizeof(T))
        return false;
    std::memcpy(&out, cell.Bytes.data(), sizeof(T));
    return true;
}

bool ReadInteger(const TFieldDef& field, const CellView& cell, std::int64_t& out) {
    switch (field.SqlType & ~1) {
    case SQL_SHORT: {
        std::int16_t v;
        if (!Read(cell, v))
            return false;
        out = v;
        return true;
    }
    case SQL_LONG: {
        std::int32_t v;
        if (!Read(cell, v))
            return false;
        out = v;
        return true;
    }
    case SQL_INT64:
        return Read(cell, out);
    default:
        return false;
    }
}

std::string Digits(std::uint64_t magnitude) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude);
    return std::string(buf, res.ptr);
}

std::uint64_t Magnitude(std::int64_t v) {
    // Unsigned negation keeps INT64_MIN exact.
    return v < 0 ? std::uint64_t(0) - std::uint64_t(v) : std::uint64_t(v);
}

// The scaled integer `value * 10^scale` in plain notation with at most `maxDecimals` decimals,
// rounded half away from zero, without trailing zeros.
std::string ScaledText(std::int64_t value, int scale, int maxDecimals, char separator) {
    std::string digits = Digits(Magnitude(value));
    std::string text;
    if (scale >= 0) {
        text = digits;
        if (digits != "0")
            text.append(std::size_t(scale), '0');
    } else {
        const std::size_t decimals = std::size_t(-scale);
        if (digits.size() <= decimals)
            digits.insert(0, decimals + 1 - digits.size(), '0');
        std::string whole = digits.substr(0, digits.size() - decimals);
        std::string frac = digits.substr(digits.size() - decimals);
        if (frac.size() > std::size_t(maxDecimals)) {
            const bool up = frac[std::size_t(maxDecimals)] >= '5';
            frac.resize(std::size_t(maxDecimals));
            if (up) {
                // Carry through the kept decimals, then into the whole part.
                std::size_t i = frac.size();
                bool carry = true;
                while (carry && i > 0) {
                    --i;
                    if (frac[i] == '9') {
                        frac[i] = '0';
                    } else {
                        ++frac[i];
                        carry = false;
                    }
                }
                for (std::size_t j = whole.size(); carry && j > 0; --j) {
                    if (whole[j - 1] == '9') {
                        whole[j - 1] = '0';
                    } else {
                        ++whole[j - 1];
                        carry = false;
                    }
                }
                if (carry)
                    whole.insert(whole.begin(), '1');
            }
        }
        while (!frac.empty() && frac.back() == '0')
            frac.pop_back();
        text = whole;
        if (!frac.empty()) {
            text += separator;
            text += frac;
        }
    }
    // No sign for a value that rounded to zero.
    if (value < 0 && text.find_first_of("123456789") != std::string::npos)
        text.insert(text.begin(), '-');
    return text;
}

template <typename T> std::string GeneralText(T value, char separator, bool shortest) {
    char buf[64];
    auto res = shortest ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general)
                        : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general,
                                        kFloatDigits);
    std::string text(buf, res.ec == std::errc() ? res.ptr : buf);
    for (char& c : text)
        if (c == '.')
            c = separator;
    return text;
}

// A scaled integer beyond the fixed-point range, as the nearest double of its exact value.
std::string ScaledFloatText(std::int64_t value, int scale, char separator) {
    std::string exact = value < 0 ? "-" : "";
    exact += Digits(Magnitude(value));
    exact += 'e';
    exact += std::to_string(scale);
    double d = 0;
    auto res = std::from_chars(exact.data(), exact.data() + exact.size(), d);
    if (res.ec == std::errc::result_out_of_range)
        d = 0; // only a far-out scale from a damaged description gets here
    return GeneralText(d, separator, false);
}

std::string FloatText(const TFieldDef& field, const CellView& cell, char separator) {
    switch (field.SqlType & ~1) {
    case SQL_FLOAT: {
        float f;
        // The shortest text that reads back as the same float: 1.1 stays "1.1" rather than the
        // widened double's 1.10000002384186.
        return Read(cell, f) ? GeneralText(f, separator, true) : std::string();
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        double d;
        return Read(cell, d) ? GeneralText(d, separator, false) : std::string();
    }
    default: {
        std::int64_t v;
        return ReadInteger(field, cell, v) ? ScaledFloatText(v, field.SqlScale, separator)
                                           : std::string();
    }
    }
}

} // namespace

bool DecodeIscDate(ISC_DATE date, vcl::TDateTimeParts& parts) {
    // Days from the civil calendar's epoch (H. Hinnant's algorithm), shifted from 17 Nov 1858.
    std::int64_t z = std::int64_t(date) - 40587 + 719468; // 40587: 1 Jan 1970 as an ISC_DATE
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1 || year > 9999)
        return false;
    parts.Year = int(year);
    parts.Month = int(month);
    parts.Day = int(day);
    return true;
}

bool DecodeIscTime(ISC_TIME time, vcl::TDateTimeParts& parts) {
    constexpr ISC_TIME kDay = 24u * 3600u * ISC_TIME_SECONDS_PRECISION;
    if (time >= kDay)
        return false;
    const ISC_TIME seconds = time / ISC_TIME_SECONDS_PRECISION;
    parts.Hour = int(seconds / 3600);
    parts.Minute = int(seconds / 60 % 60);
    parts.Second = int(seconds % 60);
    parts.Millisecond = int(time % ISC_TIME_SECONDS_PRECISION / 10);
    return true;
}

std::string CellText(const TFieldDef& field, const CellView& cell, const vcl::TFormatSettings& fs) {
    switch (field.Kind) {
    case TFieldKind::Memo:
        return cell.IsNull ? "(Memo)" : "(MEMO)";
    case TFieldKind::Blob:
        return cell.IsNull ? "(Blob)" : "(BLOB)";
    default:
        break;
    }
    if (cell.IsNull)
        return {};

    switch (field.Kind) {
    case TFieldKind::Text:
        return std::string(cell.Bytes);
    case TFieldKind::Integer: {
        std::int64_t v;
        return ReadInteger(field, cell, v) ? ScaledText(v, 0, 0, fs.DecimalSeparator)
                                           : std::string();
    }
    case TFieldKind::FixedPoint: {
        std::int64_t v;
        return ReadInteger(field, cell, v)
                   ? ScaledText(v, field.SqlScale, kMaxFixedDecimals, fs.DecimalSeparator)
                   : std::string();
    }
    case TFieldKind::Float:
        return FloatText(field, cell, fs.DecimalSeparator);
    case TFieldKind::Date: {
        ISC_DATE d;
        vcl::TDateTimeParts parts;
        return Read(cell, d) && DecodeIscDate(d, parts) ? vcl::DateToStr(parts, fs) : std::string();
    }
    case TFieldKind::Time: {
        ISC_TIME t;
        vcl::TDateTimeParts parts;
        return Read(cell, t) && DecodeIscTime(t, parts) ? vcl::TimeToStr(parts, fs) : std::string();
    }
    case TFieldKind::DateTime: {
        ISC_TIMESTAMP ts;
        vcl::TDateTimeParts parts;
        return Read(cell, ts) && DecodeIscDate(ts.timestamp_date, parts) &&
                       DecodeIscTime(ts.timestamp_time, parts)
                   ? vcl::DateTimeToStr(parts, fs)
                   : std::string();
    }
    default:
        return {};
    }
}

bool IsValidChar(TFieldKind kind, char32_t ch, const vcl::TFormatSettings& fs) {
    const bool digitOrSign = (ch >= U'0' && ch <= U'9') || ch == U'+' || ch == U'-';
    switch (kind) {
    case TFieldKind::Integer:
        return digitOrSign;
    case TFieldKind::FixedPoint:
        return digitOrSign || ch == char32_t(static_cast<unsigned char>(fs.DecimalSeparator));
    case TFieldKind::Float:
        return digitOrSign || ch == char32_t(static_cast<unsigned char>(fs.DecimalSeparator)) ||
               ch == U'e' || ch == U'E';
    default:
        return true;
    }
}

} // namespace ibx
