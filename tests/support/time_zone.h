// Sets the process time zone for the life of a test and restores the previous one.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

#include <unistd.h>

namespace quillon::test {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            had_old_ = true;
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (had_old_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool had_old_ = false;
    std::string old_;
};

// Korea: UTC+9 all year in every date a UTCTime can hold. The POSIX form stands in on
// machines without the zone database.
inline const char* SeoulZone() {
    return access("/usr/share/zoneinfo/Asia/Seoul", R_OK) == 0 ? "Asia/Seoul" : "KST-9";
}

}  // namespace quillon::test
