// Daylight-saving windows: the built-in rules against the host's time-zone
// data, each rule's transitions in one year, windows across the new year, and
// terms that can make no transition.
#include "ntcip/clock/dst_rules.h"
#include "runtime/utilities.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using test_support::ConsoleText;

const DstAbsoluteTimes NO_ABSOLUTE = {nullptr, nullptr, 0};

int64_t year_start(int year) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mday = 1;
    return int64_t(timegm(&t));
}

// UTC seconds of a UTC date and time given as text "YYYY-MM-DD hh:mm:ss".
int64_t utc_of(const char* text) {
    struct tm t = {};
    strptime(text, "%Y-%m-%d %H:%M:%S", &t);
    return int64_t(timegm(&t));
}

// This year's and next year's window of a rule, as the clock computes them.
DstWindow rule_window(const DstRule& rule, int32_t zone, uint32_t utc,
                      const DstAbsoluteTimes& absolute = NO_ABSOLUTE) {
    uint32_t start = 0;
    int year = 0;
    dst_year_of(utc, &start, &year);
    const uint32_t next = start + (is_leap_year(year) ? 366u : 365u) * 86400u;
    return DstWindow{dst_year_window(rule, absolute, start, year, zone),
                     dst_year_window(rule, absolute, next, year + 1, zone)};
}

DstWindow fixed_window(uint32_t value, int32_t zone, uint32_t utc) {
    uint32_t start = 0;
    int year = 0;
    dst_year_of(utc, &start, &year);
    const uint32_t next = start + (is_leap_year(year) ? 366u : 365u) * 86400u;
    DstWindow w{};
    if (const DstRule* rule = dst_fixed_rule(value, start))
        w.year = dst_year_window(*rule, NO_ABSOLUTE, start, year, zone);
    if (const DstRule* rule = dst_fixed_rule(value, next))
        w.next = dst_year_window(*rule, NO_ABSOLUTE, next, year + 1, zone);
    return w;
}

// The UTC offset the sign shows at `utc` under a built-in rule.
long sign_offset(uint32_t value, int32_t zone, int64_t utc) {
    return zone +
           (dst_in_effect(fixed_window(value, zone, uint32_t(utc)), uint32_t(utc)) ? 3600 : 0);
}

// The host's time-zone data for one zone, while the object lives.
class HostZone {
  public:
    explicit HostZone(const char* name) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) saved_ = old;
        setenv("TZ", name, 1);
        tzset();
    }
    ~HostZone() {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static long Offset(int64_t utc) {
        time_t t = time_t(utc);
        struct tm local = {};
        localtime_r(&t, &local);
        return local.tm_gmtoff;
    }
    // Every second in [from, to) at which a new offset begins.
    static std::vector<int64_t> Transitions(int64_t from, int64_t to) {
        std::vector<int64_t> found;
        for (int64_t t = from; t < to; t += 3600) {
            if (Offset(t) == Offset(t + 3600)) continue;
            int64_t lo = t, hi = t + 3600;
            while (hi - lo > 1) {
                int64_t mid = lo + (hi - lo) / 2;
                (Offset(mid) == Offset(t) ? lo : hi) = mid;
            }
            found.push_back(hi);
        }
        return found;
    }

  private:
    std::string saved_;
    bool had_ = false;
};

class DstRulesTest : public test_support::KernelFixture {};

struct ZoneCase {
    uint32_t value;
    int32_t zone;
    const char* host_zone;
    int first_year;
};

TEST_F(DstRulesTest, BuiltInRulesSwitchAtTheSameSecondsAsTheHostsZones) {
    const ZoneCase cases[] = {
        {3, -18000, "America/New_York", 1987}, {3, -21600, "America/Chicago", 1987},
        {3, -25200, "America/Denver", 1987},   {3, -28800, "America/Los_Angeles", 1987},
        {4, 3600, "Europe/Berlin", 1996},
    };
    for (const ZoneCase& c : cases) {
        HostZone host(c.host_zone);
        ASSERT_EQ(c.zone, HostZone::Offset(year_start(2001))) << c.host_zone << ": no zone data";
        for (int year = c.first_year; year <= 2037; ++year) {
            std::vector<int64_t> changes =
                HostZone::Transitions(year_start(year), year_start(year + 1));
            ASSERT_EQ(2u, changes.size()) << c.host_zone << " " << year;
            for (int64_t t : changes)
                for (int64_t at : {t - 1, t, t + 1})
                    EXPECT_EQ(HostZone::Offset(at), sign_offset(c.value, c.zone, at))
                        << c.host_zone << " at " << at;
        }
    }
}

struct RuleWindow {
    uint32_t value;
    const char* begin; // local standard time
    const char* end;   // local daylight time
};

// Each rule's transitions in 2016, from its terms read off a calendar.
const RuleWindow WINDOWS_2016[] = {
    {4, "2016-03-27 02:00:00", "2016-10-30 03:00:00"},
    {5, "2016-10-30 02:00:00", "2016-03-27 02:00:00"},
    {6, "2016-10-02 02:00:00", "2016-03-27 03:00:00"},
    {7, "2016-04-29 00:00:00", "2016-09-29 00:00:00"},
    {8, "2016-09-04 02:00:00", "2016-04-03 02:00:00"},
    {9, "2016-04-01 03:00:00", "2016-10-01 04:00:00"},
    {10, "2016-03-27 02:00:00", "2016-09-25 02:00:00"},
    {12, "2016-11-06 00:00:00", "2016-02-28 00:00:00"},
    {13, "2016-10-02 02:45:00", "2016-03-06 03:45:00"},
    {14, "2016-10-01 00:00:00", "2016-04-02 02:00:00"},
    {15, "2016-04-01 00:00:00", "2016-10-30 01:00:00"},
    {16, "2016-10-02 00:00:00", "2016-02-28 00:00:00"},
    {17, "2016-10-02 00:00:00", "2016-03-06 01:00:00"},
    {18, "2016-09-04 02:00:00", "2016-04-24 02:00:00"},
    {19, "2016-10-02 00:00:00", "2016-02-28 02:00:00"},
};

TEST_F(DstRulesTest, EachBuiltInRuleGivesItsTransitions) {
    const int32_t zone = 7200;
    for (const RuleWindow& r : WINDOWS_2016) {
        DstWindow w = fixed_window(r.value, zone, uint32_t(utc_of("2016-06-15 00:00:00")));
        ASSERT_TRUE(w.year.valid) << r.value;
        // In effect from the begin's second on, up to the end's second.
        EXPECT_EQ(utc_of(r.begin) - zone - 1, int64_t(w.year.start)) << r.value;
        EXPECT_EQ(utc_of(r.end) - zone - 3600, int64_t(w.year.end)) << r.value;
    }
    for (uint32_t none : {0u, 1u, 2u, 11u, 20u, 21u})
        EXPECT_EQ(nullptr, dst_fixed_rule(none, uint32_t(year_start(2016)))) << none;
}

TEST_F(DstRulesTest, RuleThreeBeforeAndFrom2007) {
    const struct {
        const char* at;
        const char* begin;
        const char* end;
    } years[] = {
        {"2006-06-01 00:00:00", "2006-04-02 02:00:00", "2006-10-29 02:00:00"},
        {"2016-06-01 00:00:00", "2016-03-13 02:00:00", "2016-11-06 02:00:00"},
    };
    const int32_t zone = -21600;
    for (const auto& y : years) {
        DstWindow w = fixed_window(3, zone, uint32_t(utc_of(y.at)));
        EXPECT_EQ(utc_of(y.begin) - zone - 1, int64_t(w.year.start)) << y.at;
        EXPECT_EQ(utc_of(y.end) - zone - 3600, int64_t(w.year.end)) << y.at;
    }
    DstWindow w2016 = fixed_window(3, zone, 1457856000u);
    EXPECT_EQ(1457855999u, w2016.year.start);
    EXPECT_EQ(1478415600u, w2016.year.end);
    EXPECT_TRUE(dst_in_effect(w2016, 1457856000u));
    EXPECT_FALSE(dst_in_effect(w2016, 1478415600u));
}

TEST_F(DstRulesTest, WindowAcrossTheNewYearHoldsInWinterOnly) {
    // Rule 5 begins in October and ends in March.
    const struct {
        const char* at;
        bool in_effect;
    } moments[] = {
        {"2016-01-10 12:00:00", true},  {"2016-07-01 12:00:00", false},
        {"2016-11-20 12:00:00", true},  {"2016-12-31 23:59:59", true},
        {"2017-01-01 00:00:00", true},  {"2016-03-27 00:59:59", true},
        {"2016-03-27 01:00:00", false}, {"2016-10-30 01:59:59", false},
        {"2016-10-30 02:00:00", true},
    };
    for (const auto& m : moments) {
        uint32_t utc = uint32_t(utc_of(m.at));
        EXPECT_EQ(m.in_effect, dst_in_effect(fixed_window(5, 0, utc), utc)) << m.at;
    }
}

TEST_F(DstRulesTest, NearTransitionIsTheHourAfterEitherTransition) {
    DstWindow w = fixed_window(3, -21600, 1457856000u);
    EXPECT_TRUE(dst_near_transition(w, 1457856000u));
    EXPECT_TRUE(dst_near_transition(w, 1457855999u + 3599));
    EXPECT_FALSE(dst_near_transition(w, 1457855999u + 3600));
    EXPECT_FALSE(dst_near_transition(w, 1457855999u));
    EXPECT_TRUE(dst_near_transition(w, 1478415601u));
}

TEST_F(DstRulesTest, DayOfMonthTermsAndMonthsOutsideTheYear) {
    const uint32_t y2016 = uint32_t(year_start(2016));
    int64_t midnight = 0;
    ASSERT_TRUE(dst_transition_day(y2016, 2016, DstTerm{5, 9, 1, 1, 0}, &midnight));
    EXPECT_EQ(utc_of("2016-05-01 00:00:00"), midnight);
    // A weekday outside 1 to 7 matches no day: the first candidate day stands.
    ASSERT_TRUE(dst_transition_day(y2016, 2016, DstTerm{3, 2, 9, 1, 0}, &midnight));
    EXPECT_EQ(utc_of("2016-03-08 00:00:00"), midnight);

    // A month outside 1 to 12 (14 under the table values, no month for 11)
    // makes no transition, so the rule gives no daylight saving.
    for (uint8_t month : {0, 14, 15, 255}) {
        DstRule rule = {DstTerm{month, 1, 1, 1, 0}, DstTerm{11, 1, 1, 1, 0}};
        DstWindow w = rule_window(rule, 0, uint32_t(utc_of("2016-07-01 00:00:00")));
        EXPECT_FALSE(w.year.valid) << int(month);
        EXPECT_FALSE(dst_in_effect(w, uint32_t(utc_of("2016-07-01 00:00:00")))) << int(month);
    }
    EXPECT_NE(std::string::npos, ConsoleText().find("Month didn't match 14\n"));
}

TEST_F(DstRulesTest, AbsoluteTimesAreFoundAnywhereInTheYearLeapDayIncluded) {
    // Row 1's time lies outside 2016, row 2's on the last day of the leap year.
    const uint32_t begins[3] = {uint32_t(utc_of("2015-05-01 00:00:00")),
                                uint32_t(utc_of("2016-12-31 10:00:00")),
                                uint32_t(utc_of("2016-12-31 20:00:00"))};
    const uint32_t ends[3] = {0, uint32_t(utc_of("2016-12-31 22:00:00")), 0};
    const DstAbsoluteTimes absolute = {begins, ends, 3};
    DstRule rule = {DstTerm{DST_MONTH_ABSOLUTE, 1, 1, 1, 0},
                    DstTerm{DST_MONTH_ABSOLUTE, 1, 1, 1, 0}};
    const int32_t zone = -21600;
    DstWindow w = rule_window(rule, zone, uint32_t(utc_of("2016-12-31 12:00:00")), absolute);
    ASSERT_TRUE(w.year.valid);
    EXPECT_EQ(begins[1] - zone - 1, int64_t(w.year.start));
    EXPECT_EQ(ends[1] - zone - 3600, int64_t(w.year.end));
    EXPECT_TRUE(dst_in_effect(w, begins[1] - zone));
    EXPECT_FALSE(dst_in_effect(w, begins[1] - zone - 1));
}

TEST_F(DstRulesTest, YearsPastTheLastCoveredOneStopAt2105) {
    const struct {
        uint32_t utc;
        int year;
    } counts[] = {
        {0, 1970},           {31535999, 1970},    {31536000, 1971},
        {4291747199u, 2105}, {4291747200u, 2105}, {4294967295u, 2105},
    };
    for (const auto& c : counts) {
        uint32_t start = 0;
        int year = 0;
        dst_year_of(c.utc, &start, &year);
        EXPECT_EQ(c.year, year) << c.utc;
        EXPECT_EQ(year_start(c.year), int64_t(start)) << c.utc;
    }
    // The window of the last covered year and the next one computes.
    DstWindow w = fixed_window(3, -21600, 4294967295u);
    EXPECT_TRUE(w.year.valid);
    EXPECT_FALSE(dst_in_effect(w, 4294967295u));
}

} // namespace
