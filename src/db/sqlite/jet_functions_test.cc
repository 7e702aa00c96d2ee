// The Jet function library through the engine: one table of (expression,
// result) per category, with each function's boundary rules, and the calls
// that fail with Jet's errors.
#include "db/sqlite/jet_functions.h"

#include <gtest/gtest.h>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/jet_test_fixture.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::Scalar;

struct Case {
  const char* expression;
  const char* result;
};

class JetFunctionsTest : public JetSqlTest {
 protected:
  void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      try {
        EXPECT_EQ(Scalar(*db_, std::string("SELECT ") + c.expression + " AS r"), c.result)
            << c.expression;
      } catch (const RuntimeError& e) {
        ADD_FAILURE() << c.expression << ": " << e.description();
      }
    }
  }
};

TEST_F(JetFunctionsTest, Conversion) {
  Check({
      {"CInt(2.5)", "2"},
      {"CInt(3.5)", "4"},
      {"CInt(-2.5)", "-2"},
      {"CLng('1,234.5')", "1234"},
      {"CByte(255.4)", "255"},
      {"CBool(5)", "-1"},
      {"CBool('False')", "0"},
      {"CCur(1.23456)", "1.2346"},
      {"CSng(0.1)", "0.1"},
      {"CDbl('&HFF')", "255"},
      {"CStr(2.50)", "2.5"},
      {"CVar(Null)", "Null"},
      {"CDate('1/31/2026 1:05 PM')", "2026-01-31 13:05:00"},
      {"CDate(46023.5)", "2026-01-01 12:00:00"},
      {"CDate('Feb 29, 2024')", "2024-02-29 00:00:00"},
      {"CDbl(#1/1/2026#)", "46023"},
      {"Val(' 1 2 3abc')", "123"},
      {"Val('&HFFFF')", "-1"},
      {"Val('&O17')", "15"},
      {"Val('-1.5e2x')", "-150"},
      {"Val('abc')", "0"},
      {"Val('1,000')", "1"},
      {"Str(5)", " 5"},
      {"Str(-0.5)", "-.5"},
      {"Str(Null)", "Null"},
      {"Hex(255)", "FF"},
      {"Hex(-1)", "FFFF"},
      {"Hex(-40000)", "FFFF63C0"},
      {"Oct(8)", "10"},
      {"Hex(Null)", "Null"},
      {"Asc('Abc')", "65"},
      {"Asc('€')", "128"},
      {"AscW('€')", "8364"},
      {"Chr(65) & Chr(233)", "Aé"},
      {"Chr(128)", "€"},
      {"ChrW(937)", "Ω"},
  });
}

TEST_F(JetFunctionsTest, Math) {
  Check({
      {"Abs(-3)", "3"},
      {"Abs(Null)", "Null"},
      {"Int(-8.4)", "-9"},
      {"Fix(-8.4)", "-8"},
      {"Int(8.6)", "8"},
      {"Round(2.5)", "2"},
      {"Round(3.5)", "4"},
      {"Round(-2.5)", "-2"},
      {"Round(0.125, 2)", "0.12"},
      {"Round(1.2345, 3)", "1.234"},
      {"Round(7)", "7"},
      {"Sgn(-0.1)", "-1"},
      {"Sgn(0)", "0"},
      {"Sqr(16)", "4"},
      {"Exp(0)", "1"},
      {"Log(1)", "0"},
      {"Atn(0)", "0"},
      {"Sin(0) + Cos(0) + Tan(0)", "1"},
      {"Int('2.7')", "2"},
  });
}

TEST_F(JetFunctionsTest, Text) {
  Check({
      {"Len('café')", "4"},
      {"Left('Ünïcödé', 3)", "Ünï"},
      {"Right('Ünïcödé', 2)", "dé"},
      {"Mid('Ünïcödé', 2, 3)", "nïc"},
      {"InStr('abcABC', 'B')", "2"},
      {"InStr(3, 'abcABC', 'B')", "5"},
      {"InStr(1, 'abcABC', 'B', 0)", "5"},
      {"InStr('abc', '')", "1"},
      {"InStr(5, 'abc', 'a')", "0"},
      {"InStr(Null, 'a')", "Null"},
      {"InStrRev('abcabc', 'bc')", "5"},
      {"InStrRev('abcabc', 'bc', 5)", "2"},
      {"InStrRev('abcABC', 'b', -1, 0)", "2"},
      {"InStrRev('abc', 'x')", "0"},
      {"UCase('straße éàü ωσς жё')", "STRAßE ÉÀÜ ΩΣΣ ЖЁ"},
      {"LCase('ÉÀÜ ŁŻ ΩΣ ЖЁ ÿŸ')", "éàü łż ωσ жё ÿÿ"},
      {"UCase(Null)", "Null"},
      {"'[' & LTrim('  a  ') & ']'", "[a  ]"},
      {"'[' & RTrim('  a  ') & ']'", "[  a]"},
      {"'[' & Trim('  a b  ') & ']'", "[a b]"},
      {"'[' & Space(3) & ']'", "[   ]"},
      {"String(3, 'xyz')", "xxx"},
      {"String(2, 321)", "AA"},
      {"StrReverse('añb')", "bña"},
      {"Replace('aXbxc', 'x', '-')", "a-b-c"},
      {"Replace('aXbxc', 'x', '-', 1, -1, 0)", "aXb-c"},
      {"Replace('abcabc', 'b', '', 3)", "cac"},
      {"Replace('aaaa', 'a', 'b', 1, 2)", "bbaa"},
      {"StrComp('abc', 'ABC')", "0"},
      {"StrComp('abc', 'ABC', 0)", "1"},
      {"StrComp('a', 'b')", "-1"},
      {"StrComp(Null, 'b')", "Null"},
  });
}

TEST_F(JetFunctionsTest, DatesAndTimes) {
  Check({
      {"Year(#2/29/2024 13:45#)", "2024"},
      {"Month('2026-12-31 23:59:59')", "12"},
      {"Day(#2/29/2024#)", "29"},
      {"Hour(#1/5/2026 7:03:09 PM#)", "19"},
      {"Minute(#7:03:09#)", "3"},
      {"Second(#7:03:09#)", "9"},
      {"Year(Null)", "Null"},
      {"Weekday(#1/5/2026#)", "2"},
      {"Weekday(#1/5/2026#, 2)", "1"},
      {"Weekday(#1/4/1899#)", "4"},
      {"WeekdayName(1)", "Sunday"},
      {"WeekdayName(1, True, 2)", "Mon"},
      {"MonthName(2)", "February"},
      {"MonthName(12, True)", "Dec"},
      {"DateSerial(2026, 13, 1)", "2027-01-01 00:00:00"},
      {"DateSerial(2024, 3, 0)", "2024-02-29 00:00:00"},
      {"DateSerial(26, 1, -1)", "2025-12-30 00:00:00"},
      {"TimeSerial(25, -1, 30)", "1899-12-31 00:59:30"},
      {"DateValue('January 5, 2026 7:00 PM')", "2026-01-05 00:00:00"},
      {"TimeValue('7:03 PM')", "1899-12-30 19:03:00"},
      {"DateAdd('m', 1, #1/31/2026#)", "2026-02-28 00:00:00"},
      {"DateAdd('m', 1, #1/31/2024 10:00#)", "2024-02-29 10:00:00"},
      {"DateAdd('yyyy', 1, #2/29/2024#)", "2025-02-28 00:00:00"},
      {"DateAdd('q', -1, #5/31/2026#)", "2026-02-28 00:00:00"},
      {"DateAdd('d', 1, #12/31/2026 23:00#)", "2027-01-01 23:00:00"},
      {"DateAdd('ww', 2, #1/1/2026#)", "2026-01-15 00:00:00"},
      {"DateAdd('h', 25, #1/1/2026#)", "2026-01-02 01:00:00"},
      {"DateAdd('n', -1, #1/1/2026#)", "2025-12-31 23:59:00"},
      {"DateAdd('s', 90, #1/1/2026#)", "2026-01-01 00:01:30"},
      {"DateAdd('d', 1, Null)", "Null"},
      {"DateDiff('yyyy', #12/31/2025#, #1/1/2026#)", "1"},
      {"DateDiff('q', #3/31/2026#, #4/1/2026#)", "1"},
      {"DateDiff('m', #1/31/2026#, #2/1/2026#)", "1"},
      {"DateDiff('d', #1/1/2026 23:59#, #1/2/2026 0:01#)", "1"},
      {"DateDiff('y', #3/1/2024#, #2/28/2024#)", "-2"},
      {"DateDiff('w', #1/1/2026#, #1/14/2026#)", "1"},
      {"DateDiff('ww', #1/3/2026#, #1/4/2026#)", "1"},
      {"DateDiff('ww', #1/4/2026#, #1/10/2026#)", "0"},
      {"DateDiff('ww', #1/4/2026#, #1/5/2026#, 2)", "1"},
      {"DateDiff('h', #1/1/2026 10:59#, #1/1/2026 11:00#)", "1"},
      {"DateDiff('n', #1/1/2026 10:59:59#, #1/1/2026 11:00:00#)", "1"},
      {"DateDiff('s', #1/1/2026#, #1/2/2026#)", "86400"},
      {"DateDiff('d', #1/1/2026#, Null)", "Null"},
      {"DatePart('q', #8/15/2026#)", "3"},
      {"DatePart('y', #12/31/2024#)", "366"},
      {"DatePart('w', #1/5/2026#, 2)", "1"},
      {"DatePart('ww', #1/1/2026#)", "1"},
      {"DatePart('ww', #12/31/2026#)", "53"},
      {"DatePart('ww', #1/1/2027#, 2, 2)", "53"},
      {"DatePart('ww', #1/4/2027#, 2, 2)", "1"},
      {"DatePart('ww', #1/3/2026#, 1, 3)", "52"},
      {"DatePart('ww', #1/4/2026#, 1, 3)", "1"},
      {"Len(Now()) + Len(Date()) + Len(Time())", "57"},
      {"DateDiff('d', Date(), Now())", "0"},
  });
}

TEST_F(JetFunctionsTest, Format) {
  Check({
      {"Format(#1/5/2026 7:03:09 PM#, 'yyyy-mm-dd hh:nn:ss')", "2026-01-05 19:03:09"},
      {"Format(#1/5/2026#, 'yyyy')", "2026"},
      {"Format('2026-01-05 07:03:00', 'dddd, mmmm d, yy')", "Monday, January 5, 26"},
      {"Format(#1/5/2026 7:03#, 'ddd mmm d h:mm AM/PM')", "Mon Jan 5 7:03 AM"},
      {"Format(#1/5/2026 19:03#, 'h:n a/p')", "7:3 p"},
      {"Format(#1/5/2026#, 'q y w ww')", "1 5 2 2"},
      {"Format(#1/5/2026 19:03:09#, 'General Date')", "1/5/2026 7:03:09 PM"},
      {"Format(#1/5/2026#, 'Long Date')", "Monday, January 5, 2026"},
      {"Format(#1/5/2026#, 'Medium Date')", "05-Jan-26"},
      {"Format(#1/5/2026#, 'Short Date')", "1/5/2026"},
      {"Format(#7:03:09 PM#, 'Long Time')", "7:03:09 PM"},
      {"Format(#7:03:09 PM#, 'Medium Time')", "07:03 PM"},
      {"Format(#7:03:09 PM#, 'Short Time')", "19:03"},
      {"Format(#1/5/2026#, '\\d\\a\\y: d \"of\" m')", "day: 5 of 1"},
      {"Format(1234.5, 'Currency')", "$1,234.50"},
      {"Format(-1234.5, 'Currency')", "($1,234.50)"},
      {"Format(1234.5, 'Fixed')", "1234.50"},
      {"Format(1234567.891, 'Standard')", "1,234,567.89"},
      {"Format(0.125, 'Percent')", "12.50%"},
      {"Format(1234.5, 'Scientific')", "1.23E+03"},
      {"Format(0, 'Yes/No') & Format(2, 'True/False') & Format(-1, 'On/Off')", "NoTrueOn"},
      {"Format(1234.5, 'General Number')", "1234.5"},
      {"Format(2.5, '0')", "3"},
      {"Format(1.005, '0.00')", "1.01"},
      {"Format(0.5, '#.##')", ".5"},
      {"Format(5, '#.##')", "5."},
      {"Format(5, '000')", "005"},
      {"Format(1234567, '#,##0')", "1,234,567"},
      {"Format(1234567, '#,##0,')", "1,235"},
      {"Format(0, '#')", ""},
      {"Format(-5, '0;(0)')", "(5)"},
      {"Format(0, '0;(0);\"zero\"')", "zero"},
      {"Format(Null, '0;(0);z;\"none\"')", "none"},
      {"Format(Null, '0')", ""},
      {"Format(-3.14159, '0.00')", "-3.14"},
      {"Format(0.000123, '0.0E-00')", "1.2E-04"},
      {"Format(12345, '0.00E+0')", "1.23E+4"},
      {"Format('abc', '0.00')", "abc"},
      {"Format(5)", "5"},
      {"Format('12', '000')", "012"},
      {"Format(46027, 'mm/dd/yyyy')", "01/05/2026"},
  });
}

TEST_F(JetFunctionsTest, FlowAndTests) {
  Check({
      {"IIf(Null, 'y', 'n')", "n"},
      {"Switch(1 > 2, 'a', 2 > 1, 'b')", "b"},
      {"Switch(Null, 'a', 0, 'b')", "Null"},
      {"Choose(2, 'a', 'b', 'c')", "b"},
      {"Choose(4, 'a', 'b', 'c')", "Null"},
      {"Choose(1.5, 'a', 'b')", "b"},
      {"Nz(Null, 0)", "0"},
      {"IsNull(Null)", "-1"},
      {"IsNumeric('1,000.5')", "-1"},
      {"IsNumeric('12a')", "0"},
      {"IsNumeric(Null)", "0"},
      {"IsNumeric(' &HFF ')", "-1"},
      {"IsDate('2/29/2024')", "-1"},
      {"IsDate('2/30/2024')", "0"},
      {"IsDate('Jan 5, 2026')", "-1"},
      {"IsDate(5)", "0"},
      {"IsEmpty(Null)", "0"},
  });
}

TEST_F(JetFunctionsTest, Aggregates) {
  EXPECT_EQ(Rows(*db_,
                 "SELECT First(OrderID), Last(Note), Count(Note), Sum(Amount), "
                 "Avg(Amount), Min(Amount), Max(Amount) FROM Orders"),
            std::vector<std::string>{"WO100|star|3|10|2.5|1|4"});
  EXPECT_EQ(Rows(*db_,
                 "SELECT Var(Amount), VarP(Amount), Format(StDev(Amount), '0.0000'), "
                 "Format(StDevP(Amount), '0.0000') FROM Orders"),
            std::vector<std::string>{"1.66666666666667|1.25|1.2910|1.1180"});
  EXPECT_EQ(Rows(*db_,
                 "SELECT Var(Amount), StDevP(Amount), First(Amount) FROM Orders "
                 "WHERE Amount = 2"),
            std::vector<std::string>{"Null|0|2"});
  EXPECT_EQ(Rows(*db_, "SELECT First(Note) FROM Orders WHERE Amount > 9"),
            std::vector<std::string>{"Null"});
}

TEST_F(JetFunctionsTest, BadCallsFailWithJetsErrors) {
  struct ErrorCase {
    const char* expression;
    int number;
    const char* text;
  };
  const ErrorCase kCases[] = {
      {"printf('%d', 1)", jet::kUndefinedFunction, "Undefined function 'printf' in expression."},
      {"hex(255) & substr('abc', 1)", jet::kUndefinedFunction, nullptr},
      {"Frob(1)", jet::kUndefinedFunction, nullptr},
      {"Left('abc')", jet::kMissingOperator,
       "Wrong number of arguments used with function in query expression 'Left('abc')'."},
      {"Mid('abc', 1, 2, 3)", jet::kMissingOperator, nullptr},
      {"Now(1)", jet::kMissingOperator, nullptr},
      {"Count()", jet::kMissingOperator, nullptr},
      {"CInt(32767.5)", err::kOverflow, "Overflow"},
      {"CByte(-1)", err::kOverflow, nullptr},
      {"CInt(Null)", err::kInvalidUseOfNull, "Invalid use of Null"},
      {"CInt('x')", 13, "Type mismatch"},
      {"Val(Null)", err::kInvalidUseOfNull, nullptr},
      {"Chr(256)", err::kInvalidProcedureCall, "Invalid procedure call or argument"},
      {"Asc('')", err::kInvalidProcedureCall, nullptr},
      {"Sqr(-1)", err::kInvalidProcedureCall, nullptr},
      {"Log(0)", err::kInvalidProcedureCall, nullptr},
      {"Round(1.5, -1)", err::kInvalidProcedureCall, nullptr},
      {"InStr(0, 'a', 'a')", err::kInvalidProcedureCall, nullptr},
      {"InStrRev('a', 'a', 0)", err::kInvalidProcedureCall, nullptr},
      {"Space(-1)", err::kInvalidProcedureCall, nullptr},
      {"Len(Space(2000000000))", jet::kResourcesExceeded, nullptr},
      {"StrReverse(Null)", err::kInvalidUseOfNull, nullptr},
      {"Replace(Null, 'a', 'b')", err::kInvalidUseOfNull, nullptr},
      {"MonthName(13)", err::kInvalidProcedureCall, nullptr},
      {"DateAdd('x', 1, #1/1/2026#)", err::kInvalidProcedureCall, nullptr},
      {"DateAdd('yyyy', 8000, #1/1/2026#)", err::kInvalidProcedureCall, nullptr},
      {"DateSerial(2026, 1, Null)", err::kInvalidUseOfNull, nullptr},
      {"Year('soon')", 13, nullptr},
      {"DateValue(Null)", err::kInvalidUseOfNull, nullptr},
      {"Switch(True)", jet::kMissingOperator, nullptr},
      {"Switch(True, 1, False)", err::kInvalidProcedureCall, nullptr},
  };
  for (const ErrorCase& c : kCases) {
    // A query, and an action statement, which takes the cached way with its
    // literals lifted out: both fail alike.
    for (const std::string& sql : {std::string("SELECT ") + c.expression + " AS r",
                                   std::string("UPDATE Orders SET Note = ") + c.expression}) {
      try {
        if (sql.starts_with("SELECT")) {
          db_->Query(sql);
        } else {
          db_->Execute(sql);
        }
        ADD_FAILURE() << sql;
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), c.number) << sql << ": " << e.description();
        if (c.text != nullptr) {
          EXPECT_EQ(e.description(), c.text) << sql;
        }
      }
    }
  }
}

}  // namespace
}  // namespace kestle::db
