#include "base/datetime.h"

#include <cmath>
#include <cstdio>

namespace morwick {
namespace {

// Days from civil date (proleptic Gregorian) relative to 1970-01-01; H. Hinnant's algorithm.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

}  // namespace

tDateTime tDateTime::Encode(int year, int month, int day, int hour, int minute, int second,
                            int millisecond) {
    const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month),
                                       static_cast<unsigned>(day)) + UnixEpochDays;
    return tDateTime{days * MsPerDay + ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond};
}

bool tDateTime::TryEncode(const tDateTimeParts& p, tDateTime& out) {
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1 ||
        p.Day > DaysInMonth(p.Year, p.Month) || p.Hour < 0 || p.Hour > 23 || p.Minute < 0 ||
        p.Minute > 59 || p.Second < 0 || p.Second > 59 || p.Millisecond < 0 || p.Millisecond > 999)
        return false;
    out = Encode(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
    return true;
}

tDateTime tDateTime::FromDays(double days) {
    if (!std::isfinite(days)) return tDateTime{};
    // Clamp to the range of years 1 to 9999 so the conversion cannot overflow.
    constexpr double lo = -693593.0, hi = 2958466.0;
    if (days < lo) days = lo;
    if (days > hi) days = hi;
    return tDateTime{static_cast<int64_t>(std::llround(days * MsPerDay))};
}

int64_t tDateTime::DayNumber() const { return FloorDiv(ms, MsPerDay); }

int64_t tDateTime::ToUnixSeconds() const {
    return FloorDiv(ms - UnixEpochDays * MsPerDay, 1000);
}

tDateTimeParts tDateTime::Decode() const {
    tDateTimeParts p;
    const int64_t day = DayNumber();
    CivilFromDays(day - UnixEpochDays, p.Year, p.Month, p.Day);
    int64_t rest = ms - day * MsPerDay;
    p.Millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    p.Second = static_cast<int>(rest % 60);
    rest /= 60;
    p.Minute = static_cast<int>(rest % 60);
    p.Hour = static_cast<int>(rest / 60);
    return p;
}

size_t DateTimeToDBText(tDateTime value, char* out) {
    const tDateTimeParts p = value.Decode();
    const bool midnight = p.Hour == 0 && p.Minute == 0 && p.Second == 0 && p.Millisecond == 0;
    if (p.Year < 0 || p.Year > 9999) {
        // Outside the four-digit years (only a corrupt time stamp gets here): the sign and
        // the extra digits as printf writes them.
        const int n = midnight ? std::snprintf(out, DBTextBufferSize, "%.4d-%.2d-%.2d", p.Year, p.Month, p.Day)
                               : std::snprintf(out, DBTextBufferSize, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d",
                                               p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second,
                                               p.Millisecond);
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
    // Written digit by digit: this runs twice for every row a scan stores.
    auto two = [](char* at, int v) {
        at[0] = static_cast<char>('0' + v / 10);
        at[1] = static_cast<char>('0' + v % 10);
    };
    out[0] = static_cast<char>('0' + p.Year / 1000);
    out[1] = static_cast<char>('0' + p.Year / 100 % 10);
    two(out + 2, p.Year % 100);
    out[4] = '-';
    two(out + 5, p.Month);
    out[7] = '-';
    two(out + 8, p.Day);
    if (midnight) {
        out[10] = '\0';
        return 10;
    }
    out[10] = ' ';
    two(out + 11, p.Hour);
    out[13] = ':';
    two(out + 14, p.Minute);
    out[16] = ':';
    two(out + 17, p.Second);
    out[19] = '.';
    out[20] = static_cast<char>('0' + p.Millisecond / 100);
    two(out + 21, p.Millisecond % 100);
    out[23] = '\0';
    return 23;
}

std::string DateTimeToDBText(tDateTime value) {
    char buf[DBTextBufferSize];
    const size_t n = DateTimeToDBText(value, buf);
    return std::string(buf, n);
}

bool DBTextToDateTime(std::string_view text, tDateTime& out) {
    auto digits = [&](size_t pos, size_t n, int& v) {
        if (pos + n > text.size()) return false;
        v = 0;
        for (size_t i = pos; i < pos + n; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            v = v * 10 + (text[i] - '0');
        }
        return true;
    };
    tDateTimeParts p;
    if (!digits(0, 4, p.Year) || text.size() < 10 || text[4] != '-' || !digits(5, 2, p.Month) ||
        text[7] != '-' || !digits(8, 2, p.Day))
        return false;
    p.Hour = p.Minute = p.Second = p.Millisecond = 0;
    if (text.size() != 10) {
        if (text.size() < 19 || text[10] != ' ' || !digits(11, 2, p.Hour) || text[13] != ':' ||
            !digits(14, 2, p.Minute) || text[16] != ':' || !digits(17, 2, p.Second))
            return false;
        if (text.size() != 19) {
            // Fraction of a second: one to three digits are milliseconds, more are cut.
            if (text[19] != '.' || text.size() == 20) return false;
            int ms = 0, n = 0;
            for (size_t i = 20; i < text.size(); ++i) {
                if (text[i] < '0' || text[i] > '9') return false;
                if (n < 3) ms = ms * 10 + (text[i] - '0'), ++n;
            }
            while (n < 3) ms *= 10, ++n;
            p.Millisecond = ms;
        }
    }
    return tDateTime::TryEncode(p, out);
}

}  // namespace morwick
