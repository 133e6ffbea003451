#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "api/mem.h"
#include "asn1/time_value.h"
#include "support/alloc_fault.h"
#include "support/time_zone.h"

namespace {

using namespace quillon;
using quillon::test::ScopedTimeZone;
using quillon::test::SeoulZone;
using Value = Owned<AsnValue, ASNVALUE_Free>;

AsnValue* MakeTime(const std::string& text) {
    AsnValue* v = ASNVALUE_New();
    ASNVALUE_Set(v, kUtcTimeTag, reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    return v;
}

std::string Text(const AsnValue* v) { return std::string(reinterpret_cast<const char*>(v->data), v->length); }

std::string Render(const std::tm* tm) {
    char out[96];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday,
                  tm->tm_hour, tm->tm_min, tm->tm_sec);
    return out;
}

struct ParseCase {
    const char* zone;  // null: Seoul
    const char* value;
    const char* parsed;  // null: refused
};

class TimeParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TimeParse, ReadsDigitsAsLocalTime) {
    const ParseCase& c = GetParam();
    ScopedTimeZone tz(c.zone ? c.zone : SeoulZone());
    Value v(MakeTime(c.value));
    const std::tm* tm = TIME_Parse(v.get());
    if (!c.parsed) {
        EXPECT_EQ(tm, nullptr) << c.value;
        return;
    }
    ASSERT_NE(tm, nullptr) << c.value;
    EXPECT_EQ(Render(tm), c.parsed);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TimeParse,
    ::testing::Values(ParseCase{nullptr, "130101000000Z", "2013-01-01 00:00:00"},
                      ParseCase{nullptr, "990101000000Z", "2099-01-01 00:00:00"},   // never 1999
                      ParseCase{nullptr, "500615123456Z", "2050-06-15 12:34:56"},   // past 2038
                      ParseCase{nullptr, "130101000000+0900", "2013-01-01 00:00:00"},  // 13th char ignored
                      ParseCase{nullptr, "130101000000", "2013-01-01 00:00:00"},
                      ParseCase{nullptr, "130101006100Z", "2013-01-01 01:01:00"},   // carried
                      ParseCase{nullptr, "130229000000Z", "2013-03-01 00:00:00"},
                      ParseCase{"UTC0", "131231235959Z", "2013-12-31 23:59:59"},
                      // Standard time is assumed: noon EST is one o'clock daylight time.
                      ParseCase{"EST5EDT,M3.2.0,M11.1.0", "130701120000Z", "2013-07-01 13:00:00"},
                      ParseCase{nullptr, "13010100000", nullptr},                   // eleven characters
                      ParseCase{nullptr, "", nullptr},
                      ParseCase{nullptr, "1301010000 0Z", nullptr},
                      ParseCase{nullptr, "13010100000AZ", nullptr},
                      ParseCase{nullptr, "1301/1000000Z", nullptr},
                      ParseCase{nullptr, "-30101000000Z", nullptr}));

TEST(TimeParse, NullInputs) {
    EXPECT_EQ(TIME_Parse(nullptr), nullptr);
    AsnValue no_data{kUtcTimeTag, nullptr, 13, 0};
    EXPECT_EQ(TIME_Parse(&no_data), nullptr);
    std::tm tm;
    Value v(MakeTime("130101000000Z"));
    EXPECT_EQ(TIME_ParseInto(v.get(), nullptr), 0);
    EXPECT_EQ(TIME_ParseInto(v.get(), &tm), 1);
}

struct ShiftCase {
    const char* zone;
    const char* value;
    int64_t seconds;
    const char* shifted;
};

class TimeShift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(TimeShift, AddsSecondsAndNineHours) {
    const ShiftCase& c = GetParam();
    ScopedTimeZone tz(c.zone ? c.zone : SeoulZone());
    AsnValue* v = MakeTime(c.value);
    ASSERT_EQ(TIME_AddSeconds(&v, c.seconds), 1);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, kUtcTimeTag);
    EXPECT_EQ(Text(v), c.shifted);
    ASNVALUE_Free(v);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TimeShift,
    ::testing::Values(ShiftCase{nullptr, "130101000000Z", 32400, "130101090000Z"},
                      ShiftCase{nullptr, "131231200000Z", 32400, "140101050000Z"},
                      ShiftCase{nullptr, "120228200000Z", 32400, "120229050000Z"},
                      ShiftCase{nullptr, "500101000000Z", 32400, "500101090000Z"},
                      ShiftCase{nullptr, "991231200000Z", 32400, "000101050000Z"},  // two digits wrap
                      ShiftCase{nullptr, "130101000000Z", 0, "130101000000Z"},
                      ShiftCase{nullptr, "130101000000Z", -32400, "121231150000Z"},
                      // D + 18 h minus the zone's offset: UTC sees the full eighteen hours.
                      ShiftCase{"UTC0", "130101000000Z", 32400, "130101180000Z"}));

TEST(TimeShift, RefusesWithoutTouchingTheValue) {
    EXPECT_EQ(TIME_AddSeconds(nullptr, 1), 0);
    AsnValue* none = nullptr;
    EXPECT_EQ(TIME_AddSeconds(&none, 1), 0);
    AsnValue* bad = MakeTime("1301010000");
    AsnValue* const before = bad;
    EXPECT_EQ(TIME_AddSeconds(&bad, 1), 0);
    EXPECT_EQ(bad, before);
    ASNVALUE_Free(bad);
    AsnValue* good = MakeTime("130101000000Z");
    AsnValue* const kept = good;
    EXPECT_EQ(TIME_AddSeconds(&good, INT64_MAX), 0) << "a shift past the time count's range";
    EXPECT_EQ(good, kept);
    ASNVALUE_Free(good);
}

TEST(TimeShift, AllocationFailureLeavesNull) {
    ScopedTimeZone tz(SeoulZone());
    quillon::test::WalkAllocationFailures(
        [] {
            AsnValue* v = MakeTime("130101000000Z");
            const int r = TIME_AddSeconds(&v, 32400);
            const bool ok = r == 1 && v && Text(v) == "130101090000Z";
            ASNVALUE_Free(v);
            return r == 1 ? (ok ? 1 : -1) : 0;
        },
        [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1); });
}

TEST(TimeFromTm, WritesThirteenCharactersAndClearsTheRecord) {
    ScopedTimeZone tz(SeoulZone());
    std::tm tm{};
    tm.tm_year = 105;
    tm.tm_mon = 6;
    tm.tm_mday = 9;
    tm.tm_hour = 1;
    tm.tm_min = 2;
    tm.tm_sec = 3;
    Value v(TIME_FromTm(&tm));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, kUtcTimeTag);
    EXPECT_EQ(Text(v.get()), "050709010203Z");  // KST in, nine hours on, read in UTC
    const std::tm zero{};
    EXPECT_EQ(std::memcmp(&tm, &zero, sizeof tm), 0);
    EXPECT_EQ(TIME_FromTm(nullptr), nullptr);
    TIME_ClearTm(nullptr);
}

}  // namespace
