// The runtime's time calls: the clock, the test override, the local time of
// the zone TZ names, and the conversion's refusals.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/crt/time.h"

namespace {

// Sets TZ for one test and puts the old value back.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
    }
    ~ZoneScope() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

bool AllFieldsInvalid(const std::tm& t) {
    return t.tm_sec == -1 && t.tm_min == -1 && t.tm_hour == -1 && t.tm_mday == -1 && t.tm_mon == -1 &&
           t.tm_year == -1 && t.tm_wday == -1 && t.tm_yday == -1 && t.tm_isdst == -1;
}

TEST(CrtTime, ClockAndFixedTime) {
    __time64_t stored = 0;
    const __time64_t now = _time64(&stored);
    EXPECT_EQ(stored, now);
    EXPECT_GT(now, 1700000000);  // after 2023
    const __time64_t fixed = 45000;
    crt::SetTime64ForTests(&fixed);
    EXPECT_EQ(_time64(nullptr), 45000);
    crt::SetTime64ForTests(nullptr);
    EXPECT_GE(_time64(nullptr), now);
}

// The local time follows TZ, also when it changes between calls.
TEST(CrtTime, LocalTimeHonoursTheZone) {
    const __time64_t t = 45000;  // 1970-01-01 12:30:00 UTC
    std::tm local{};
    {
        ZoneScope zone("UTC0");
        ASSERT_EQ(_localtime64_s(&local, &t), 0);
        EXPECT_EQ(local.tm_hour, 12);
        EXPECT_EQ(local.tm_min, 30);
        EXPECT_EQ(local.tm_sec, 0);
        EXPECT_EQ(local.tm_year, 70);
    }
    {
        ZoneScope zone("XYZ-2");  // two hours east of UTC
        ASSERT_EQ(_localtime64_s(&local, &t), 0);
        EXPECT_EQ(local.tm_hour, 14);
        EXPECT_EQ(local.tm_min, 30);
    }
}

TEST(CrtTime, ConversionRefusals) {
    struct Case {
        std::optional<__time64_t> time;  // none: a null pointer
        bool ok;
    };
    const Case cases[] = {
        {std::nullopt, false},
        {-1, false},               // what a failed _time64 answers
        {0, true},
        {32535215999LL, true},     // 3000-12-31 23:59:59 UTC
        {32535216000LL, false},
    };
    ZoneScope zone("UTC0");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time ? std::to_string(*c.time) : "null");
        std::tm out{};
        const errno_t e = _localtime64_s(&out, c.time ? &*c.time : nullptr);
        if (c.ok) {
            EXPECT_EQ(e, 0);
            EXPECT_FALSE(AllFieldsInvalid(out));
        } else {
            EXPECT_EQ(e, EINVAL);
            EXPECT_TRUE(AllFieldsInvalid(out));
        }
    }
    const __time64_t t = 0;
    EXPECT_EQ(_localtime64_s(nullptr, &t), EINVAL);
}

}  // namespace
