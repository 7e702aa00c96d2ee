// Tests of the splitter, the joiner and the list rules, run in memory on lines
// given as '|'-separated text (written back with '|' for readability).
#include "iif/list_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iif/fields.h"
#include "iif/tab_scan.h"
#include "platform/error.h"
#include "platform/scratch_test_util.h"

namespace kestle::iif {
namespace {

// Turns '|' into TAB, so lines read like the tables of column names.
std::string Tabs(std::string s) {
  for (char& c : s) {
    if (c == '|') c = '\t';
  }
  return s;
}
std::string Bars(std::string_view s) {
  std::string r(s);
  for (char& c : r) {
    if (c == '\t') c = '|';
  }
  return r;
}

// Converts lines the way the driver does, sharing one state across them.
class Lines {
 public:
  std::string Convert(const std::string& bar_line) {
    std::string line = Tabs(bar_line);
    std::string_view keyword = std::string_view(line).substr(0, line.find('\t'));
    LineKind kind = ClassifyKeyword(keyword);
    if (kind == LineKind::kOther) return bar_line;
    return Bars(RewriteLine(kind, line, state_, fields_, scratch_));
  }
  std::vector<std::string> Convert(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines) out.push_back(Convert(l));
    return out;
  }

 private:
  ListRewriteState state_;
  FieldList fields_;
  std::string scratch_;
};

int ErrorNumberOf(Lines& lines, const std::string& line) {
  return kestle::testing::ErrorNumberOf([&] { lines.Convert(line); });
}

// --- splitFields -------------------------------------------------------------

TEST(SplitFieldsTest, CutsAtEverySeparatorWithoutQuoting) {
  FieldList f;
  EXPECT_EQ(splitFields("", "\t", f), 1);
  EXPECT_EQ(f.at(1), "");

  EXPECT_EQ(splitFields("\tA\t\t\"B\tC\"\t", "\t", f), 6);
  std::vector<std::string_view> got;
  for (int i = 1; i <= f.count(); ++i) got.push_back(f.at(i));
  EXPECT_EQ(got, (std::vector<std::string_view>{"", "A", "", "\"B", "C\"", ""}));

  // A new split replaces the old fields.
  EXPECT_EQ(splitFields("X", "\t", f), 1);
  EXPECT_EQ(f.at(1), "X");
  EXPECT_THROW(f.at(2), RuntimeError);
}

TEST(SplitFieldsTest, FieldsCanBeAskedForInAnyOrder) {
  // Fields shorter and longer than a machine word, runs of TABs, a TAB at
  // the very end.
  std::vector<std::string> want = {
      "INVITEM", "", "", "a", "a longer field, 24 bytes", "", "0123456789abcdef", "x\"y\"", "", ""};
  std::string line;
  for (size_t i = 0; i < want.size(); ++i) line += (i ? "\t" : "") + want[i];
  FieldList f;
  ASSERT_EQ(splitFields(line, "\t", f), static_cast<int16_t>(want.size()));
  for (int pos : {10, 1, 7, 5, 5, 2, 9, 3, 8, 4, 6}) EXPECT_EQ(f.at(pos), want[pos - 1]) << pos;
  EXPECT_TRUE(f.contiguous());
  // Replacing a field keeps every other field in place.
  f.Replace(4, "NEW");
  EXPECT_FALSE(f.contiguous());
  want[3] = "NEW";
  for (int pos = 10; pos >= 1; --pos) EXPECT_EQ(f.at(pos), want[pos - 1]) << pos;
}

TEST(SplitFieldsTest, LongerSeparatorsAreMatchedWhole) {
  FieldList f;
  EXPECT_EQ(splitFields("a::b:c::", "::", f), 3);
  EXPECT_EQ(f.at(1), "a");
  EXPECT_EQ(f.at(2), "b:c");
  EXPECT_EQ(f.at(3), "");
}

TEST(SplitFieldsTest, MoreThan32767FieldsOverflows) {
  FieldList f;
  std::string line(kMaxFields - 1, '\t');
  EXPECT_EQ(splitFields(line, "\t", f), kMaxFields);
  line.push_back('\t');
  EXPECT_EQ(kestle::testing::ErrorNumberOf([&] { splitFields(line, "\t", f); }), err::kOverflow);
}

TEST(FieldListTest, PositionsOutsideTheListAreSubscriptErrors) {
  FieldList f;
  splitFields("A\tB", "\t", f);
  for (int pos : {0, -1, 3}) {
    EXPECT_EQ(kestle::testing::ErrorNumberOf([&] { f.at(pos); }), err::kSubscriptOutOfRange) << pos;
  }
}

// --- joinFieldsExcept --------------------------------------------------------

TEST(JoinFieldsExceptTest, LeavesOutEachCoveredFieldOnce) {
  struct Case {
    const char* line;
    std::initializer_list<RemovalRange> ranges;
    const char* joined;  // null: a subscript error
  };
  const Case cases[] = {
      {"1|2|3|4|5|6|7|8", {{3, 1}, {7, 1}}, "1|2|4|5|6|8"},
      {"1||3||5", {{2, 1}}, "1|3||5"},  // empty fields keep their place
      {"1|2|3|4|5|6|7|8|9", {{2, 1}, {4, 5}}, "1|3|9"},
      {"1|2", {{1, 1}, {2, 1}}, ""},
      {"1|2|3", {}, "1|2|3"},
      // The last range stops at the end of the line; fields past it are
      // carried along.
      {"1|2|3|4|5|6|7", {{3, 5}}, "1|2"},
      {"1|2|3", {{3, 5}}, "1|2"},
      {"1|2", {{3, 5}}, "1|2"},
      {"1|2|3|4", {{2, 1}}, "1|3|4"},
      // Every position before the greatest start is read: 5 fields are
      // enough, 4 fail although the last range lies past the end anyway.
      {"1|2|3|4|5", {{2, 1}, {6, 1}}, "1|3|4|5"},
      {"1|2|3|4", {{2, 1}, {6, 1}}, nullptr},
      {"1|2|3|4", {{6, 1}, {2, 1}}, nullptr},
      {"1|2|3|4", {{2, 1}, {3, 1}, {6, 1}}, nullptr},
      // Adjacent ranges: still every position before the last start.
      {"1|2|3|4|5|6", {{5, 1}, {6, 1}, {7, 1}}, "1|2|3|4"},
      {"1|2|3|4|5", {{5, 1}, {6, 1}, {7, 1}}, nullptr},
      // Out of order and overlapping: the fields covered go once each.
      {"1|2|3|4|5|6|7|8|9", {{5, 1}, {3, 1}, {8, 1}}, "1|2|4|6|7|9"},
      {"1|2|3|4|5|6", {{4, 1}, {2, 1}}, "1|3|5|6"},
      {"1|2|3|4|5|6", {{4, 1}, {2, 1}, {4, 1}}, "1|3|5|6"},
      {"1|2|3|4|5|6|7|8|9", {{6, 1}, {2, 5}}, "1|7|8|9"},
      {"1|2|3|4|5|6|7|8|9", {{2, 5}, {5, 1}, {7, 1}}, "1|8|9"},
      {"1|2|3|4|5|6", {{2, 5}, {7, 1}}, "1"},
      {"1|2|3|4|5", {{2, 5}, {7, 1}}, nullptr},
  };
  for (const Case& c : cases) {
    FieldList f;
    const std::string line = Tabs(c.line);
    const int16_t n = splitFields(line, "\t", f);
    std::string out;
    std::string_view spans[kMaxRanges + 1];
    const RemovalRange* ranges = c.ranges.begin();
    const int count = static_cast<int>(c.ranges.size());
    if (c.joined == nullptr) {
      EXPECT_EQ(kestle::testing::ErrorNumberOf([&] { joinFieldsExcept(f, n, c.ranges, out); }),
                err::kSubscriptOutOfRange)
          << c.line;
      EXPECT_EQ(kestle::testing::ErrorNumberOf([&] { SpansWithout(line, ranges, count, spans); }),
                err::kSubscriptOutOfRange)
          << c.line;
      continue;
    }
    EXPECT_EQ(Bars(joinFieldsExcept(f, n, c.ranges, out)), c.joined) << c.line;
    int pieces = SpansWithout(line, ranges, count, spans);
    EXPECT_LE(pieces, count + 1) << c.line;
    std::string joined;
    for (int i = 0; i < pieces; ++i) joined += spans[i];
    EXPECT_EQ(Bars(joined), c.joined) << c.line;
  }
}

TEST(JoinFieldsExceptTest, JoinsWithTabsWhateverTheSplitSeparator) {
  FieldList f;
  int16_t n = splitFields("a,b,c,d", ",", f);
  std::string out;
  EXPECT_EQ(joinFieldsExcept(f, n, {{2, 1}}, out), "a\tc\td");
  n = splitFields("a::b::c", "::", f);
  EXPECT_EQ(joinFieldsExcept(f, n, {{3, 1}}, out), "a\tb");
}

TEST(JoinFieldsExceptTest, RenamedFieldsAppearInTheResult) {
  FieldList f;
  int16_t n = splitFields("!EMP\tPROVINCE\tEMPNO\tX", "\t", f);
  f.Replace(2, "STATE");
  std::string out;
  EXPECT_EQ(joinFieldsExcept(f, n, {{3, 1}}, out), "!EMP\tSTATE\tX");
}

// --- The list rules ------------------------------------------------------------

// Lines converted in order with one shared state: "in => out" must give out,
// "in => !" must fail with a subscript error, and a line without "=>" is
// converted unchecked.
struct Script {
  const char* what;
  std::vector<std::string> steps;
};

void RunScript(const Script& script) {
  SCOPED_TRACE(script.what);
  Lines lines;
  for (const std::string& step : script.steps) {
    const size_t arrow = step.find(" => ");
    const std::string in = step.substr(0, arrow);
    if (arrow == std::string::npos) {
      lines.Convert(in);
    } else if (step.substr(arrow + 4) == "!") {
      EXPECT_EQ(ErrorNumberOf(lines, in), err::kSubscriptOutOfRange) << in;
    } else {
      EXPECT_EQ(lines.Convert(in), step.substr(arrow + 4)) << in;
    }
  }
}

TEST(ListRulesTest, ItemList) {
  const Script kScripts[] = {
      {"SALESTAXCODE first: only it goes, also when a second one follows",
       {"!INVITEM|A|SALESTAXCODE|B|SALESTAXCODE => !INVITEM|A|B|SALESTAXCODE",
        "INVITEM|a|s|b|t => INVITEM|a|b|t"}},
      {"a SALESTAXCODE after FOREIGNPRICE stays; a last FOREIGNPRICE decides nothing",
       {"!INVITEM|FOREIGNPRICE|SALESTAXCODE|X => !INVITEM|FOREIGNPRICE|SALESTAXCODE|X",
        "INVITEM|f|s|x => INVITEM|f|s|x"}},
      {"CUSTFLD6 first: it and the four after it go, whatever their names",
       {"!INVITEM|A|CUSTFLD6|B|FOREIGNPRICE|C|SALESTAXCODE|D => !INVITEM|A|D",
        "INVITEM|a|1|2|3|4|5|d|extra => INVITEM|a|d|extra"}},
      {"CUSTFLD6 among the last four columns: the block stops at the end",
       {"!INVITEM|A|B|CUSTFLD6|C => !INVITEM|A|B", "INVITEM|a|b|6|7|8|9|10|11 => INVITEM|a|b|11"}},
      {"FOREIGNPRICE then CUSTFLD6: six fields go",
       {"!INVITEM|A|FOREIGNPRICE|B|CUSTFLD6|C|D|E|F|G => !INVITEM|A|B|G",
        "INVITEM|a|f|b|6|7|8|9|10|g => INVITEM|a|b|g"}},
      {"FOREIGNPRICE, VATCODE, a CUSTFLD6 that stays, then AMTINCVAT",
       {"!INVITEM|FOREIGNPRICE|VATCODE|CUSTFLD6|AMTINCVAT => !INVITEM|STAXCODE|CUSTFLD6",
        "INVITEM|f|v|c|i|x => INVITEM|v|c|x"}},
      {"a VATCODE before FOREIGNPRICE and a PURCHVATCODE after AMTINCVAT keep their names",
       {"!INVITEM|VATCODE|FOREIGNPRICE|VATCODE|PURCHVATCODE|PURCHVATCODE|AMTINCVAT|PURCHVATCODE => "
        "!INVITEM|VATCODE|STAXCODE|PTAXCODE|PTAXCODE|PURCHVATCODE",
        "INVITEM|1|2|3|4|5|6|7 => INVITEM|1|3|4|5|7"}},
      {"VATCODE without AMTINCVAT after it, or none of the deciding names: as read",
       {"!INVITEM|FOREIGNPRICE|VATCODE|PURCHVATCODE => !INVITEM|FOREIGNPRICE|VATCODE|PURCHVATCODE",
        "INVITEM|1|2|3 => INVITEM|1|2|3",
        "!INVITEM|NAME|VATCODE|AMTINCVAT => !INVITEM|NAME|VATCODE|AMTINCVAT",
        "INVITEM|1|2|3 => INVITEM|1|2|3"}},
      {"the worked example: six fields are enough (positions 1..6 are read), five are not",
       {"!INVITEM|A|FOREIGNPRICE|B|VATCODE|PURCHVATCODE|AMTINCVAT|C => "
        "!INVITEM|A|B|STAXCODE|PTAXCODE|C",
        "INVITEM|a|f|b|v|p|i|c => INVITEM|a|b|v|p|c", "INVITEM|a|f|b|v|p => INVITEM|a|b|v|p",
        "INVITEM|a|f|b|v => !"}},
      {"short rows under the sales-tax rule; empty fields keep their place",
       {"!INVITEM|A|B|SALESTAXCODE|C", "INVITEM|a|b => INVITEM|a|b", "INVITEM|a => !",
        "!INVITEM|A|SALESTAXCODE", "INVITEM||x => INVITEM|"}},
      {"each header replaces the rule; one without the deciding names, or with its keyword "
       "alone, turns item rewriting off",
       {"!INVITEM|SALESTAXCODE|A", "!ACCNT|NAME", "ACCNT|x => ACCNT|x", "INVITEM|s|a => INVITEM|a",
        "!INVITEM|A|CUSTFLD6", "INVITEM|a|1|2|3|4|5|6 => INVITEM|a|6", "!INVITEM|NAME",
        "INVITEM|a|1|2|3|4|5|6 => INVITEM|a|1|2|3|4|5|6", "!INVITEM|SALESTAXCODE",
        "!INVITEM => !INVITEM", "INVITEM|s|a => INVITEM|s|a"}},
      {"rows before any header are unchanged",
       {"INVITEM|a|b => INVITEM|a|b", "CUST|a => CUST|a", "VEND|a => VEND|a", "EMP|a => EMP|a",
        "INVITEM => INVITEM"}},
  };
  for (const Script& script : kScripts) RunScript(script);
}

TEST(ListRulesTest, CustomerVendorAndEmployeeLists) {
  const Script kScripts[] = {
      {"customers: SALESTAXCODE first; VATCODE and VATID before it renamed, one after it kept",
       {"!CUST|VATCODE|VATID|SALESTAXCODE|VATCODE|SALESTAXCODE => "
        "!CUST|TAXCODE|RESALENUM|VATCODE|SALESTAXCODE",
        "CUST|1|2|3|4|5 => CUST|1|2|4|5"}},
      {"customers: the currency triple in order",
       {"!CUST|VATID|USECURRENCY|VATCODE|NAMECURRENCY|SALESTAXCODE|PRICELEVEL|X => "
        "!CUST|RESALENUM|VATCODE|SALESTAXCODE|X",
        "CUST|1|2|3|4|5|6|7 => CUST|1|3|5|7"}},
      {"customers: VAT names alone, or USECURRENCY without NAMECURRENCY then PRICELEVEL, "
       "decide nothing",
       {"!CUST|VATCODE|VATID|NAME => !CUST|VATCODE|VATID|NAME", "CUST|1|2|3 => CUST|1|2|3",
        "!CUST|VATCODE|USECURRENCY|PRICELEVEL|NAMECURRENCY|SALESTAXCODE => "
        "!CUST|VATCODE|USECURRENCY|PRICELEVEL|NAMECURRENCY|SALESTAXCODE",
        "CUST|1|2|3|4|5 => CUST|1|2|3|4|5"}},
      {"vendors: VATID before USECURRENCY renamed, one after it kept",
       {"!VEND|VATID|USECURRENCY|VATID|NAMECURRENCY|NAMECURRENCY => "
        "!VEND|TAXID|VATID|NAMECURRENCY",
        "VEND|1|2|3|4|5 => VEND|1|3|5",
        "!VEND|VATID|NAMECURRENCY|USECURRENCY => !VEND|VATID|NAMECURRENCY|USECURRENCY",
        "VEND|1|2|3 => VEND|1|2|3"}},
      {"employees: renames before EMPNO only, and only the first EMPNO goes",
       {"!EMP|PROVINCE|EMPNO|POSTCODE => !EMP|STATE|POSTCODE", "EMP|1|2|3 => EMP|1|3",
        "!EMP|SIN|POSTCODE|PROVINCE|EMPNO|EMPNO => !EMP|SSNO|ZIP|STATE|EMPNO",
        "EMP|1|2|3|4|5 => EMP|1|2|3|5", "!EMP|PROVINCE|POSTCODE|SIN => !EMP|PROVINCE|POSTCODE|SIN",
        "EMP|1|2|3 => EMP|1|2|3"}},
      // The vendor header moves the shared positions to 5 and 7; customer rows
      // then lose the fields at 5, 7 and 5 (PRICELEVEL), each once; positions
      // up to 6 are read.
      {"customer and vendor headers share the currency positions",
       {"!CUST|A|USECURRENCY|NAMECURRENCY|PRICELEVEL|B", "CUST|a|u|n|p|b => CUST|a|b",
        "!VEND|A|B|C|USECURRENCY|D|NAMECURRENCY => !VEND|A|B|C|D",
        "CUST|2|3|4|5|6|7|8 => CUST|2|3|4|6|8", "CUST|2|3|4|5|6 => CUST|2|3|4|6",
        "CUST|2|3|4|5 => !"}},
      // Customer rows then lose the fields at 4, 3 and 4: 3 and 4, once each.
      {"a vendor header without NAMECURRENCY still moves USECURRENCY",
       {"!CUST|USECURRENCY|NAMECURRENCY|PRICELEVEL|X", "!VEND|USECURRENCY|NAMECURRENCY",
        "VEND|u|n|x => VEND|x", "!VEND|A|B|USECURRENCY => !VEND|A|B|USECURRENCY",
        "VEND|u|n|x => VEND|u|n|x", "CUST|1|2|3|4|5|6 => CUST|1|4|5|6"}},
      // USECURRENCY alone: the customer header decides nothing but moves the
      // shared position to 8, after the vendor's NAMECURRENCY at 5. Vendor rows
      // then lose the fields at 8 and 5; positions up to 7 are read.
      {"a customer header without decision still moves the vendor positions",
       {"!VEND|A|B|USECURRENCY|NAMECURRENCY",
        "!CUST|A|B|C|D|E|F|USECURRENCY|G => !CUST|A|B|C|D|E|F|USECURRENCY|G",
        "VEND|1|2|3|4|5|6|7|8|9 => VEND|1|2|3|5|6|8|9", "VEND|1|2|3|4|5|6 => VEND|1|2|3|5|6",
        "VEND|1|2|3|4|5 => !", "!CUST|USECURRENCY|NAMECURRENCY|X", "VEND|u|n|x => VEND|x"}},
      {"headers with only their keyword turn their rules off",
       {"!CUST|USECURRENCY|NAMECURRENCY|PRICELEVEL", "!VEND|USECURRENCY|NAMECURRENCY", "!EMP|EMPNO",
        "CUST|u|n|p|x => CUST|x", "!CUST => !CUST", "!VEND => !VEND", "!EMP => !EMP",
        "CUST|u|n|p|x => CUST|u|n|p|x", "VEND|u|n|x => VEND|u|n|x", "EMP|e|x => EMP|e|x"}},
      {"each list keeps its own rule",
       {"!CUST|SALESTAXCODE", "!VEND|USECURRENCY|NAMECURRENCY", "!EMP|EMPNO",
        "!INVITEM|SALESTAXCODE", "CUST|s|a => CUST|a", "VEND|u|n|a => VEND|a", "EMP|e|a => EMP|a",
        "INVITEM|s|a => INVITEM|a", "!CUST|NAME", "CUST|s|a => CUST|s|a", "VEND|u|n|a => VEND|a"}},
      {"short rows fail",
       {"!CUST|A|B|SALESTAXCODE", "CUST|a|b => CUST|a|b", "CUST|a => !",
        "!VEND|USECURRENCY|A|NAMECURRENCY", "VEND|u|a => VEND|a", "VEND|u => !", "!EMP|A|B|EMPNO",
        "EMP|a|b => EMP|a|b", "EMP|a => !"}},
  };
  for (const Script& script : kScripts) RunScript(script);
}

TEST(ClassifyKeywordTest, MatchesExactlyOnly) {
  EXPECT_EQ(ClassifyKeyword("!INVITEM"), LineKind::kItemHeader);
  EXPECT_EQ(ClassifyKeyword("EMP"), LineKind::kEmployeeRow);
  // The scans copy a line untouched when its first two bytes fail this
  // filter, so every list keyword must pass it.
  for (std::string_view k :
       {"!INVITEM", "INVITEM", "!CUST", "CUST", "!VEND", "VEND", "!EMP", "EMP"}) {
    EXPECT_NE(ClassifyKeyword(k), LineKind::kOther) << k;
    EXPECT_TRUE(MayStartListLine(k[0], k[1])) << k;
  }
  for (const char* k : {"!invitem", " !INVITEM", "!INVITEM ", "Cust", "EMPX", "", "!", "VEN"}) {
    EXPECT_EQ(ClassifyKeyword(k), LineKind::kOther) << k;
  }
}

}  // namespace
}  // namespace kestle::iif
