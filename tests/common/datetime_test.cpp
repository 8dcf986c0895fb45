#include "common/datetime.h"

#include <gtest/gtest.h>

#include <vector>

TEST(DateTime, EpochsKnownDaysAndEveryMillisecondFieldRoundTrip) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1970, 1, 1), 25569.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 1, 15, 12), 46037.5);
  EXPECT_EQ(DateTimeToUnixMs(EncodeDateTime(1970, 1, 1, 0, 0, 1, 5)), 1005);
  const TDateTime t = EncodeDateTime(2024, 2, 29, 23, 59, 59, 999);
  const DateTimeParts p = DecodeDateTime(t);
  EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second, p.msec}),
            (std::vector<int>{2024, 2, 29, 23, 59, 59, 999}));
  EXPECT_EQ(FormatLogTimestamp(t), "29.02.2024 23:59:59.999");
  EXPECT_EQ(FormatLogTimestamp(EncodeDateTime(2026, 12, 5, 14, 3, 27, 58)), "05.12.2026 14:03:27.058");
}

TEST(DateTime, WholeSecondsAreTruncatedNotRounded) {
  const TDateTime a = EncodeDateTime(2026, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(SecondsBetween(AddMs(a, 120'999), a), 120);
  EXPECT_EQ(SecondsBetween(a, AddMs(a, 121'000)), 121);
  EXPECT_EQ(HoursBetween(AddMs(a, 3 * 3'600'000 - 60'000), a), 2);
  EXPECT_TRUE(SameSecond(AddMs(a, 999), a));
  EXPECT_FALSE(SameSecond(AddMs(a, 1000), a));
  EXPECT_EQ(TruncToSecond(AddMs(a, 1999)), AddMs(a, 1000));
}

TEST(DateTime, ParsesTheCommandLineFormatOnly) {
  TDateTime t = 0;
  ASSERT_TRUE(ParseIsoDateTime("2026-01-15 12:00:00", t));
  EXPECT_EQ(FormatLogTimestamp(t), "15.01.2026 12:00:00.000");
  for (const char* bad : {"2026-02-30 12:00:00", "2026-01-15 12:00:00x", "yesterday"})
    EXPECT_FALSE(ParseIsoDateTime(bad, t)) << bad;
}
