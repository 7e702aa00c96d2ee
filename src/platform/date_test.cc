// Date arithmetic: the host's day counts against calendar dates.
#include "platform/date.h"

#include <gtest/gtest.h>

namespace kestle {
namespace {

TEST(DateTest, KnownDayCounts) {
  EXPECT_EQ(MakeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(MakeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(MakeDate(2026, 1, 5), 46027.0);
  EXPECT_DOUBLE_EQ(MakeDate(2026, 1, 5, 18, 0, 0), 46027.75);
  // Before the epoch the fraction still adds the time of day.
  EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(DateTest, CivilRoundTripAcrossLeapYearsAndCenturies) {
  const CivilTime cases[] = {{2024, 2, 29, 23, 59, 59}, {2000, 2, 29, 0, 0, 0},
                             {1900, 3, 1, 12, 0, 1},    {2026, 12, 31, 23, 59, 0},
                             {1899, 12, 29, 6, 0, 0},   {1753, 1, 1, 0, 0, 0},
                             {9999, 12, 31, 23, 59, 59}};
  for (const CivilTime& c : cases) {
    CivilTime back = ToCivil(ToDate(c));
    EXPECT_EQ(back.year, c.year);
    EXPECT_EQ(back.month, c.month);
    EXPECT_EQ(back.day, c.day);
    EXPECT_EQ(back.hour, c.hour);
    EXPECT_EQ(back.minute, c.minute);
    EXPECT_EQ(back.second, c.second);
  }
}

TEST(DateTest, TheTextRoundsToTheSecondTheCalendarDayNever) {
  Date almost_midnight = MakeDate(2026, 1, 5) + 0.9999999;
  EXPECT_EQ(IsoDateTimeText(almost_midnight), "2026-01-06 00:00:00");
  EXPECT_EQ(DayNumber(almost_midnight), 46027);
  EXPECT_EQ(DayNumber(MakeDate(2026, 1, 5, 23, 59, 59)), 46027);
  EXPECT_EQ(DayNumber(MakeDate(1899, 12, 29, 23, 59, 59) - 0.7 / 86400), -1);
  EXPECT_EQ(DayNumber(MakeDate(1899, 12, 30, 12, 0, 0)), 0);
  // Before the epoch the text rounds forward as well.
  EXPECT_EQ(IsoDateTimeText(-1.9999999), "1899-12-30 00:00:00");
  EXPECT_EQ(IsoDateTimeText(-0.9999999), "1899-12-31 00:00:00");
}

TEST(DateTest, IsoTextIsTheFullForm) {
  EXPECT_EQ(IsoDateTimeText(MakeDate(2025, 6, 30)), "2025-06-30 00:00:00");
  EXPECT_EQ(IsoDateTimeText(MakeDate(2026, 1, 5, 7, 3, 9)), "2026-01-05 07:03:09");
}

TEST(DateTest, ParsesTheAcceptedForms) {
  EXPECT_EQ(ParseIsoDateTime("2025-06-30"), MakeDate(2025, 6, 30));
  EXPECT_EQ(ParseIsoDateTime("2025-06-30 14:05"), MakeDate(2025, 6, 30, 14, 5, 0));
  EXPECT_EQ(ParseIsoDateTime("2025-06-30T14:05:09"), MakeDate(2025, 6, 30, 14, 5, 9));
  EXPECT_EQ(ParseIsoDateTime("2024-02-29"), MakeDate(2024, 2, 29));
}

TEST(DateTest, RejectsMalformedAndImpossibleDates) {
  for (const char* bad :
       {"", "2025-6-30", "2025/06/30", "2025-06-31", "2023-02-29", "2025-13-01", "2025-06-30 24:00",
        "2025-06-30 12:60", "2025-06-30 12:00:", "2025-06-30x", "2025-06-30 12:00:00 ",
        "30-06-2025", "2025-06-30  12:00"}) {
    EXPECT_FALSE(ParseIsoDateTime(bad).has_value()) << bad;
  }
}

TEST(DateTest, ReadsTheDateLiteralGrammar) {
  const struct {
    const char* text;
    std::optional<Date> date;
  } cases[] = {
      {"12/31/2024", MakeDate(2024, 12, 31)},
      {"1/5/30", MakeDate(1930, 1, 5)},
      {"12/29/1899 6 AM", MakeDate(1899, 12, 29, 6, 0, 0)},
      {"18:00", 0.75},
      {"2023-02-29", std::nullopt},
      {"13/1/2024", std::nullopt},
      {"1/5/202", std::nullopt},
      {"2024-12-31 13 PM", std::nullopt},
      {"2024-12-31 7", std::nullopt},
      {"2024-12-31x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDateText(c.text), c.date) << c.text;
}

}  // namespace
}  // namespace kestle
