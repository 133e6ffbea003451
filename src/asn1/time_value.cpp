#include "asn1/time_value.h"

#include <climits>
#include <cstring>

namespace quillon {
namespace {

static_assert(sizeof(std::time_t) == 8, "time counts past 2038 need a 64-bit time_t");

bool LocalTime(std::time_t t, std::tm* out) {
#if defined(_WIN32)
    return localtime_s(out, &t) == 0;
#else
    return localtime_r(&t, out) != nullptr;
#endif
}

// mktime's -1 is also the valid second 1969-12-31 23:59:59 UTC, which years from 1950 pass
// through; a failed call leaves the weekday untouched, a successful one always sets it.
bool MakeTime(std::tm* tm, std::time_t* out) {
    tm->tm_wday = -1;
    const std::time_t t = std::mktime(tm);
    if (t == static_cast<std::time_t>(-1) && tm->tm_wday == -1) return false;
    *out = t;
    return true;
}

// Six two-digit fields, strictly digits.
bool ReadDigits(const AsnValue* value, int fields[6]) {
    if (!value || !value->data || value->length < 12) return false;
    for (int i = 0; i < 6; ++i) {
        const uint8_t hi = value->data[2 * i], lo = value->data[2 * i + 1];
        if (hi < '0' || hi > '9' || lo < '0' || lo > '9') return false;
        fields[i] = (hi - '0') * 10 + (lo - '0');
    }
    return true;
}

// The value's digits read as local time, as a time count.
bool ValueToTime(const AsnValue* value, std::time_t* out) {
    int f[6];
    if (!ReadDigits(value, f)) return false;
    std::tm tm{};
    tm.tm_year = f[0] < 50 ? f[0] + 100 : f[0];  // RFC 5280: 50-99 are 1950-1999
    tm.tm_mon = f[1] - 1;
    tm.tm_mday = f[2];
    tm.tm_hour = f[3];
    tm.tm_min = f[4];
    tm.tm_sec = f[5];
    tm.tm_isdst = 0;
    return MakeTime(&tm, out);
}

// Days from 1970-01-01 to the given proleptic Gregorian date (day may run past the month's end).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

}  // namespace

int TIME_UtcFromCount(int64_t t, std::tm* out) {
    int64_t days = t / 86400, second_of_day = t % 86400;
    if (second_of_day < 0) second_of_day += 86400, --days;
    const int64_t shifted = days + 719468;  // days since 0000-03-01
    const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const int64_t day_of_era = shifted - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t month_index = (5 * day_of_year + 2) / 153;  // March is 0
    const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
    const int64_t year = year_of_era + era * 400 + (month <= 2);
    if (!out || year - 1900 < INT_MIN || year - 1900 > INT_MAX) return 0;
    *out = std::tm{};
    out->tm_year = static_cast<int>(year - 1900);
    out->tm_mon = static_cast<int>(month - 1);
    out->tm_mday = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
    out->tm_hour = static_cast<int>(second_of_day / 3600);
    out->tm_min = static_cast<int>(second_of_day / 60 % 60);
    out->tm_sec = static_cast<int>(second_of_day % 60);
    out->tm_wday = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
    out->tm_yday = static_cast<int>(days - DaysFromCivil(year, 1, 1));
    return 1;
}

int TIME_CountFromDer(uint8_t identifier, const uint8_t* contents, uint32_t length, int64_t* out) {
    const uint32_t year_digits = identifier == 0x17 ? 2 : identifier == 0x18 ? 4 : 0;
    if (!year_digits || !contents || !out || length != year_digits + 11 || contents[length - 1] != 'Z') return 0;
    int64_t field[6];
    uint32_t at = 0;
    for (int i = 0; i < 6; ++i) {
        const uint32_t digits = i == 0 ? year_digits : 2;
        int64_t value = 0;
        for (uint32_t d = 0; d < digits; ++d, ++at) {
            if (contents[at] < '0' || contents[at] > '9') return 0;
            value = value * 10 + (contents[at] - '0');
        }
        field[i] = value;
    }
    if (year_digits == 2) field[0] += field[0] < 50 ? 2000 : 1900;
    static constexpr int kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (field[0] % 4 == 0 && field[0] % 100 != 0) || field[0] % 400 == 0;
    if (field[1] < 1 || field[1] > 12 || field[2] < 1 || field[2] > kMonthDays[field[1] - 1] ||
        (field[1] == 2 && field[2] == 29 && !leap) || field[3] > 23 || field[4] > 59 || field[5] > 59)
        return 0;
    *out = DaysFromCivil(field[0], field[1], field[2]) * 86400 + field[3] * 3600 + field[4] * 60 + field[5];
    return 1;
}

int TIME_ParseInto(const AsnValue* value, std::tm* out) {
    std::time_t t;
    if (!out || !ValueToTime(value, &t)) return 0;
    return LocalTime(t, out) ? 1 : 0;
}

std::tm* TIME_Parse(const AsnValue* value) {
    thread_local std::tm buffer;
    return TIME_ParseInto(value, &buffer) ? &buffer : nullptr;
}

int TIME_AddSeconds(AsnValue** value, int64_t seconds) {
    if (!value) return 0;
    std::time_t t;
    if (!ValueToTime(*value, &t)) return 0;
    std::time_t moved;
    std::tm shifted{};
    if (__builtin_add_overflow(t, seconds, &moved) || !LocalTime(moved, &shifted)) return 0;
    ASNVALUE_Free(*value);
    *value = TIME_FromTm(&shifted);
    return *value ? 1 : 0;
}

int TIME_ParseShifted(const AsnValue* value, int64_t seconds, std::tm* out) {
    int f[6];
    if (!out || !ReadDigits(value, f)) return 0;
    // The digits are UTC: counted here, not through mktime, so that the machine's own zone
    // cannot move the result.
    const int64_t year = f[0] < 50 ? 2000 + f[0] : 1900 + f[0];
    if (f[1] < 1 || f[1] > 12) return 0;
    const int64_t t = DaysFromCivil(year, f[1], f[2]) * 86400 + f[3] * 3600 + f[4] * 60 + f[5];
    std::time_t moved;
    if (__builtin_add_overflow(t, seconds, &moved)) return 0;
    return TIME_UtcFromCount(moved, out) ? 1 : 0;
}

AsnValue* TIME_FromTm(std::tm* tm) {
    if (!tm) return nullptr;
    std::time_t t;
    const bool made = MakeTime(tm, &t);
    TIME_ClearTm(tm);
    std::tm g{};
    if (!made || !TIME_UtcFromCount(t + kKstShiftSeconds, &g)) return nullptr;
    const int fields[6] = {(g.tm_year + 1900) % 100, g.tm_mon + 1, g.tm_mday, g.tm_hour, g.tm_min, g.tm_sec};
    uint8_t text[kUtcTimeLength];
    for (int i = 0; i < 6; ++i) {
        text[2 * i] = static_cast<uint8_t>('0' + fields[i] / 10);
        text[2 * i + 1] = static_cast<uint8_t>('0' + fields[i] % 10);
    }
    text[12] = 'Z';
    AsnValue* value = ASNVALUE_New();
    if (!value) return nullptr;
    if (!ASNVALUE_Set(value, kUtcTimeTag, text, kUtcTimeLength)) {
        ASNVALUE_Free(value);
        return nullptr;
    }
    return value;
}

void TIME_ClearTm(std::tm* tm) {
    if (tm) std::memset(tm, 0, sizeof *tm);
}

}  // namespace quillon
