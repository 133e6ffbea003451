// UTCTime values and the calendar arithmetic of the validity query.
//
// A time value is an AsnValue of type 23 whose contents read YYMMDDhhmmssZ. Two-digit years
// 00-49 are 2000-2049 and 50-99 are 1950-1999, as in X.509 certificates. Calendar conversion uses the machine's local time zone (mktime
// reads the digits as local time), with the daylight-saving flag fixed to standard time.
#pragma once

#include <cstdint>
#include <ctime>

#include "asn1/asn_value.h"

namespace quillon {

inline constexpr uint32_t kUtcTimeTag = 23;
inline constexpr uint32_t kUtcTimeLength = 13;
// Korean Standard Time is UTC+9.
inline constexpr int64_t kKstShiftSeconds = 32400;

// Reads the first twelve characters as local time and returns the normalised broken-down
// time (61 minutes carry into the next hour). The record is a per-thread buffer, valid
// until the next TIME_Parse on the same thread. Null for a null value, fewer than twelve
// characters, a non-digit among them, or a time the calendar functions reject.
std::tm* TIME_Parse(const AsnValue* value);

// Same conversion into caller-owned storage; 1 on success, 0 as TIME_Parse gives null.
int TIME_ParseInto(const AsnValue* value, std::tm* out);

// Replaces *value by a new value `seconds` later (built with TIME_FromTm, so nine more
// hours are added on the way). 0 for a null address or an unparsable value, leaving *value
// as it was; 0 with *value null when building the new value fails.
int TIME_AddSeconds(AsnValue** value, int64_t seconds);

// The value's UTC time moved by `seconds`, broken down in UTC: with 32,400 seconds, the time in
// Korean Standard Time whatever the machine's zone (where TIME_AddSeconds depends on it), and
// with the full year kept (no two-digit year in between, which would turn 2049-12-31 plus a
// day into 1950). 1 on success, 0 for an unparsable value or a time the calendar rejects.
int TIME_ParseShifted(const AsnValue* value, int64_t seconds, std::tm* out);

// New time value for the local time `tm` shifted by nine hours and written in UTC; the
// record is cleared. Null for a null record, a time the calendar rejects, or no memory.
AsnValue* TIME_FromTm(std::tm* tm);

// Broken-down UTC of a count of seconds since 1970, by arithmetic, on every platform (the
// Windows runtime's gmtime refuses counts before 1970, and UTCTime reaches back to 1950).
// 1, or 0 for a null record or a year beyond the record's range.
int TIME_UtcFromCount(int64_t t, std::tm* out);

// Seconds since 1970 (UTC) of a UTCTime (0x17, YYMMDDhhmmssZ, years 50-99 in the 1900s) or a
// GeneralizedTime (0x18, YYYYMMDDhhmmssZ): exactly those forms, digits in range, nothing else.
// 1 with *out set, or 0.
int TIME_CountFromDer(uint8_t identifier, const uint8_t* contents, uint32_t length, int64_t* out);

// Zeroes the record; null is ignored.
void TIME_ClearTm(std::tm* tm);

}  // namespace quillon
