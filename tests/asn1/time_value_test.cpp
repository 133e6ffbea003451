#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "asn1/time_value.h"
#include "support/alloc_fault.h"
#include "support/time_zone.h"

namespace {

using namespace quillon;
using namespace quillon::test;
using Value = Owned<AsnValue, ASNVALUE_Free>;

AsnValue* MakeTime(const std::string& text) {
    AsnValue* v = ASNVALUE_New();
    ASNVALUE_Set(v, kUtcTimeTag, reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    return v;
}
std::string Text(const AsnValue* v) { return std::string(reinterpret_cast<const char*>(v->data), v->length); }

TEST(TimeParse, ReadsDigitsAsLocalTime) {
    struct Case { const char* zone; const char* value; const char* parsed; };  // zone null: Seoul
    const Case cases[] = {
        {nullptr, "990101000000Z", "1999-01-01 00:00:00"}, {nullptr, "500115123456Z", "1950-01-15 12:34:56"},
        {nullptr, "491231235959Z", "2049-12-31 23:59:59"},
        {nullptr, "700101085959Z", "1970-01-01 08:59:59"},  // time count -1: a second like any other
        {nullptr, "130101000000+0900", "2013-01-01 00:00:00"}, {nullptr, "130101000000", "2013-01-01 00:00:00"},
        {nullptr, "130229006100Z", "2013-03-01 01:01:00"}, {"UTC0", "131231235959Z", "2013-12-31 23:59:59"},  // carried
        // Standard time is assumed: noon EST is one o'clock daylight time.
        {"EST5EDT,M3.2.0,M11.1.0", "130701120000Z", "2013-07-01 13:00:00"},
        {nullptr, "13010100000", "refused"}, {nullptr, "1301010000 0Z", "refused"}, {nullptr, "13010100000AZ", "refused"},
        {nullptr, "1301/1000000Z", "refused"}, {nullptr, "-30101000000Z", "refused"},
    };
    for (const Case& c : cases) {
        ScopedTimeZone tz(c.zone ? c.zone : SeoulZone());
        Value v(MakeTime(c.value));
        const std::tm* tm = TIME_Parse(v.get());
        char text[32] = "refused";
        if (tm) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", tm);
        EXPECT_STREQ(text, c.parsed) << c.value;
    }
    AsnValue no_data{kUtcTimeTag, nullptr, 13, 0};
    Value v(MakeTime("130101000000Z"));
    std::tm tm;
    EXPECT_FALSE(TIME_Parse(nullptr) || TIME_Parse(&no_data) || TIME_ParseInto(v.get(), nullptr));
    EXPECT_EQ(TIME_ParseInto(v.get(), &tm), 1);
}

TEST(TimeShift, AddsSecondsAndNineHours) {
    // `year`: the full year of the shifted time, which TIME_ParseShifted keeps and the value cannot.
    // `direct`: TIME_ParseShifted's reading where the zone makes it differ from TIME_AddSeconds.
    struct Case { const char* zone; const char* value; int64_t seconds; const char* shifted; int year; const char* direct = nullptr; };
    const Case cases[] = {
        {nullptr, "131231200000Z", 32400, "140101050000Z", 2014}, {nullptr, "120228200000Z", 32400, "120229050000Z", 2012},
        {nullptr, "500101000000Z", 32400, "500101090000Z", 1950}, {nullptr, "991231200000Z", 32400, "000101050000Z", 2000},
        {nullptr, "491231200000Z", 32400, "500101050000Z", 2050}, {nullptr, "130101000000Z", -32400, "121231150000Z", 2012},
        // TIME_AddSeconds: D + 18 h minus the zone's offset; TIME_ParseShifted: D + 9 h in any zone.
        {"UTC0", "130101000000Z", 32400, "130101180000Z", 2013, "130101090000Z"},
        {"EST5", "130101000000Z", 32400, "130101230000Z", 2013, "130101090000Z"},
    };
    for (const Case& c : cases) {
        ScopedTimeZone tz(c.zone ? c.zone : SeoulZone());
        AsnValue* v = MakeTime(c.value);
        std::tm direct{};
        ASSERT_EQ(TIME_ParseShifted(v, c.seconds, &direct), 1) << c.value;
        ASSERT_EQ(TIME_AddSeconds(&v, c.seconds), 1) << c.value;
        EXPECT_EQ(v->type, kUtcTimeTag);
        EXPECT_EQ(Text(v), c.shifted) << c.value;
        char text[64];
        std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02dZ", direct.tm_year % 100, direct.tm_mon + 1, direct.tm_mday,
                      direct.tm_hour, direct.tm_min, direct.tm_sec);
        EXPECT_EQ(text, c.direct ? std::string(c.direct) : Text(v)) << c.value;
        EXPECT_EQ(direct.tm_year + 1900, c.year) << c.value;
        ASNVALUE_Free(v);
    }
    AsnValue* none = nullptr;
    EXPECT_FALSE(TIME_AddSeconds(nullptr, 1) || TIME_AddSeconds(&none, 1));
    for (const auto& [text, seconds] : {std::pair<const char*, int64_t>{"1301010000", 1}, {"130101000000Z", INT64_MAX}}) {
        AsnValue* v = MakeTime(text);
        AsnValue* const before = v;
        std::tm tm;
        EXPECT_EQ(TIME_AddSeconds(&v, seconds) + TIME_ParseShifted(v, seconds, &tm), 0) << text;
        EXPECT_EQ(v, before) << "refused without touching the value";
        ASNVALUE_Free(v);
    }
}

TEST(TimeShift, AllocationFailureLeavesNull) {
    ScopedTimeZone tz(SeoulZone());
    test::WalkAllocationFailures([] {
        AsnValue* v = MakeTime("130101000000Z");
        const int r = TIME_AddSeconds(&v, 32400);
        const bool ok = r == 1 && v && Text(v) == "130101090000Z";
        ASNVALUE_Free(v);
        return r == 1 ? (ok ? 1 : -1) : 0;
    }, [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1); });
}

TEST(TimeFromTm, WritesThirteenCharactersAndClearsTheRecord) {
    ScopedTimeZone tz(SeoulZone());
    std::tm tm{};
    tm.tm_year = 105, tm.tm_mon = 6, tm.tm_mday = 9, tm.tm_hour = 1, tm.tm_min = 2, tm.tm_sec = 3;
    Value v(TIME_FromTm(&tm));
    ASSERT_TRUE(v);
    EXPECT_EQ(Text(v.get()), "050709010203Z");  // KST in, nine hours on, read in UTC
    const std::tm zero{};
    EXPECT_EQ(std::memcmp(&tm, &zero, sizeof tm), 0) << "the record is cleared";
    EXPECT_EQ(TIME_FromTm(nullptr), nullptr);
}

// The shifted reading does its own calendar arithmetic (Windows' gmtime stops at 1970): it
// agrees with the C library's gmtime_r from 1950 to past 2400, leap days and weekdays included.
TEST(TimeShift, CalendarMatchesGmtime) {
    Value v(MakeTime("500101000000Z"));
    const int64_t start = -631152000;  // 1950-01-01 00:00:00 UTC
    for (int64_t seconds = -86400 * 3; seconds < int64_t{86400} * 365 * 460; seconds += 86400 * 7 + 3613) {
        std::tm mine{}, theirs{};
        const std::time_t t = static_cast<std::time_t>(start + seconds);
        ASSERT_EQ(TIME_ParseShifted(v.get(), seconds, &mine), 1);
        ASSERT_NE(gmtime_r(&t, &theirs), nullptr);
        ASSERT_TRUE(mine.tm_year == theirs.tm_year && mine.tm_mon == theirs.tm_mon && mine.tm_mday == theirs.tm_mday &&
                    mine.tm_hour == theirs.tm_hour && mine.tm_min == theirs.tm_min && mine.tm_sec == theirs.tm_sec &&
                    mine.tm_wday == theirs.tm_wday && mine.tm_yday == theirs.tm_yday)
            << "at " << t;
    }
}

}  // namespace
