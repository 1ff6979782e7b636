#include "os/DateTime.h"

#include <gtest/gtest.h>

namespace {

TEST(DateTime, PackedFormsOfAKnownInstant) {
    // 2025-01-02T03:04:05.006Z
    const OS::DateTime d = OS::DateTime::FromPacked(0x07E90102u, 11045006u);
    EXPECT_EQ(d.year, 2025);
    EXPECT_EQ(d.month, 1);
    EXPECT_EQ(d.day, 2);
    EXPECT_EQ(d.hour, 3);
    EXPECT_EQ(d.minute, 4);
    EXPECT_EQ(d.second, 5);
    EXPECT_EQ(d.millisecond, 6);
    EXPECT_EQ(d.PackedDate(), 0x07E90102u);
    EXPECT_EQ(d.TimeOfDay(), 11045006u);

    timespec ts{};
    ASSERT_TRUE(d.ToTimespec(ts));
    EXPECT_EQ(ts.tv_sec, 1735787045);
    EXPECT_EQ(ts.tv_nsec, 6000000);
    EXPECT_EQ(OS::DateTime::FromTimespec(ts), d);
}

TEST(DateTime, DefaultAndInvalidValues) {
    const OS::DateTime d;
    EXPECT_EQ(d.PackedDate(), (1u << 16) | (1u << 8) | 1u);
    EXPECT_EQ(d.TimeOfDay(), 0u);

    // A hostile container may hold any packed words: they must not convert into garbage.
    timespec ts{};
    EXPECT_FALSE(OS::DateTime::FromPacked(0x07E90D01u, 0).ToTimespec(ts));  // month 13
    EXPECT_FALSE(OS::DateTime::FromPacked(0x07E90100u, 0).ToTimespec(ts));  // day 0
    EXPECT_FALSE(OS::DateTime::FromPacked(0x07E90101u, 24u * 3600000u).ToTimespec(ts));
}

}  // namespace
