// Tests of the splitter, the joiner and the list rules, run in memory on lines
// given as '|'-separated text (written back with '|' for readability).
#include "iif/list_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iif/fields.h"
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
  const ListRewriteState& state() const { return state_; }

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

// --- Item list ---------------------------------------------------------------

struct HeaderCase {
  const char* header;
  const char* written;
  const char* row;
  const char* row_written;
};

// A header, what is written for it, then a row after it and what is written.
class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, HeaderAndFollowingRow) {
  Lines lines;
  EXPECT_EQ(lines.Convert(GetParam().header), GetParam().written);
  EXPECT_EQ(lines.Convert(GetParam().row), GetParam().row_written);
}

INSTANTIATE_TEST_SUITE_P(
    ItemList, HeaderTest,
    ::testing::Values(
        // SALESTAXCODE first: only it goes, also when a second one follows.
        HeaderCase{"!INVITEM|A|SALESTAXCODE|B|SALESTAXCODE", "!INVITEM|A|B|SALESTAXCODE",
                   "INVITEM|a|s|b|t", "INVITEM|a|b|t"},
        // A SALESTAXCODE after FOREIGNPRICE stays; FOREIGNPRICE with nothing
        // after it decides nothing.
        HeaderCase{"!INVITEM|FOREIGNPRICE|SALESTAXCODE|X", "!INVITEM|FOREIGNPRICE|SALESTAXCODE|X",
                   "INVITEM|f|s|x", "INVITEM|f|s|x"},
        // CUSTFLD6 first: it and the four after it go, whatever their names.
        HeaderCase{"!INVITEM|A|CUSTFLD6|B|FOREIGNPRICE|C|SALESTAXCODE|D", "!INVITEM|A|D",
                   "INVITEM|a|1|2|3|4|5|d|extra", "INVITEM|a|d|extra"},
        // CUSTFLD6 among the last four columns: the block stops at the end.
        HeaderCase{"!INVITEM|A|B|CUSTFLD6|C", "!INVITEM|A|B", "INVITEM|a|b|6|7|8|9|10|11",
                   "INVITEM|a|b|11"},
        // FOREIGNPRICE then CUSTFLD6: six fields go; a FOREIGNPRICE after
        // CUSTFLD6 would have stayed in the block anyway.
        HeaderCase{"!INVITEM|A|FOREIGNPRICE|B|CUSTFLD6|C|D|E|F|G", "!INVITEM|A|B|G",
                   "INVITEM|a|f|b|6|7|8|9|10|g", "INVITEM|a|b|g"},
        // FOREIGNPRICE, VATCODE, then a CUSTFLD6 that stays, then AMTINCVAT.
        HeaderCase{"!INVITEM|FOREIGNPRICE|VATCODE|CUSTFLD6|AMTINCVAT", "!INVITEM|STAXCODE|CUSTFLD6",
                   "INVITEM|f|v|c|i|x", "INVITEM|v|c|x"},
        // A VATCODE before FOREIGNPRICE and a PURCHVATCODE after AMTINCVAT
        // keep their names.
        HeaderCase{"!INVITEM|VATCODE|FOREIGNPRICE|VATCODE|PURCHVATCODE|PURCHVATCODE|AMTINCVAT|"
                   "PURCHVATCODE",
                   "!INVITEM|VATCODE|STAXCODE|PTAXCODE|PTAXCODE|PURCHVATCODE",
                   "INVITEM|1|2|3|4|5|6|7", "INVITEM|1|3|4|5|7"},
        // VATCODE without AMTINCVAT after it: written as read, no renames.
        HeaderCase{"!INVITEM|FOREIGNPRICE|VATCODE|PURCHVATCODE",
                   "!INVITEM|FOREIGNPRICE|VATCODE|PURCHVATCODE", "INVITEM|1|2|3", "INVITEM|1|2|3"},
        // None of the deciding names.
        HeaderCase{"!INVITEM|NAME|VATCODE|AMTINCVAT", "!INVITEM|NAME|VATCODE|AMTINCVAT",
                   "INVITEM|1|2|3", "INVITEM|1|2|3"}));

TEST(ItemRulesTest, WorkedExample) {
  Lines lines;
  EXPECT_EQ(lines.Convert("!INVITEM|A|FOREIGNPRICE|B|VATCODE|PURCHVATCODE|AMTINCVAT|C"),
            "!INVITEM|A|B|STAXCODE|PTAXCODE|C");
  EXPECT_TRUE(lines.state().itemDropForeignVat);
  EXPECT_EQ(lines.state().itemForeignPriceCol, 3);
  EXPECT_EQ(lines.state().itemAmtIncVatCol, 7);
  EXPECT_EQ(lines.Convert("INVITEM|a|f|b|v|p|i|c"), "INVITEM|a|b|v|p|c");
  // Six fields are enough (positions 1..6 are read), five are not.
  EXPECT_EQ(lines.Convert("INVITEM|a|f|b|v|p"), "INVITEM|a|b|v|p");
  EXPECT_EQ(ErrorNumberOf(lines, "INVITEM|a|f|b|v"), err::kSubscriptOutOfRange);
}

TEST(ItemRulesTest, ShortRowsUnderTheSalesTaxRule) {
  Lines lines;
  lines.Convert("!INVITEM|A|B|SALESTAXCODE|C");
  EXPECT_EQ(lines.Convert("INVITEM|a|b"), "INVITEM|a|b");
  EXPECT_EQ(ErrorNumberOf(lines, "INVITEM|a"), err::kSubscriptOutOfRange);
  // Empty fields keep their place.
  Lines other;
  other.Convert("!INVITEM|A|SALESTAXCODE");
  EXPECT_EQ(other.Convert("INVITEM||x"), "INVITEM|");
}

TEST(ItemRulesTest, EachHeaderReplacesTheRuleAndOnlyOneFlagIsSet) {
  Lines lines;
  lines.Convert("!INVITEM|SALESTAXCODE|A");
  lines.Convert("!ACCNT|NAME");
  EXPECT_EQ(lines.Convert("ACCNT|x"), "ACCNT|x");
  EXPECT_EQ(lines.Convert("INVITEM|s|a"), "INVITEM|a");

  lines.Convert("!INVITEM|A|CUSTFLD6");
  const ListRewriteState& s = lines.state();
  EXPECT_TRUE(s.itemDropCustomBlock);
  EXPECT_FALSE(s.itemDropSalesTax || s.itemDropForeignCustom || s.itemDropForeignVat);
  EXPECT_EQ(lines.Convert("INVITEM|a|1|2|3|4|5|6"), "INVITEM|a|6");

  // A header without the deciding names turns item rewriting off; so does a
  // header with nothing after its keyword.
  lines.Convert("!INVITEM|NAME");
  EXPECT_FALSE(s.itemDropSalesTax || s.itemDropCustomBlock || s.itemDropForeignCustom ||
               s.itemDropForeignVat);
  EXPECT_EQ(lines.Convert("INVITEM|a|1|2|3|4|5|6"), "INVITEM|a|1|2|3|4|5|6");
  lines.Convert("!INVITEM|SALESTAXCODE");
  EXPECT_EQ(lines.Convert("!INVITEM"), "!INVITEM");
  EXPECT_EQ(lines.Convert("INVITEM|s|a"), "INVITEM|s|a");
}

TEST(ItemRulesTest, HeaderWithoutDecisionKeepsOldPositions) {
  Lines lines;
  lines.Convert("!INVITEM|A|B|SALESTAXCODE");
  lines.Convert("!INVITEM|FOREIGNPRICE");
  EXPECT_EQ(lines.state().itemSalesTaxCol, 4);
  EXPECT_EQ(lines.state().itemForeignPriceCol, 2);
  EXPECT_FALSE(lines.state().itemDropSalesTax);
}

TEST(ItemRulesTest, RowsBeforeAnyHeaderAreUnchanged) {
  Lines lines;
  for (const char* row : {"INVITEM|a|b", "CUST|a", "VEND|a", "EMP|a", "INVITEM"}) {
    EXPECT_EQ(lines.Convert(row), row);
  }
}

// --- Customer, vendor and employee lists -------------------------------------

INSTANTIATE_TEST_SUITE_P(
    OtherLists, HeaderTest,
    ::testing::Values(
        // Customers: SALESTAXCODE first; VATCODE and VATID before it renamed,
        // a VATCODE after it kept.
        HeaderCase{"!CUST|VATCODE|VATID|SALESTAXCODE|VATCODE|SALESTAXCODE",
                   "!CUST|TAXCODE|RESALENUM|VATCODE|SALESTAXCODE", "CUST|1|2|3|4|5",
                   "CUST|1|2|4|5"},
        // Customers: the currency triple in order.
        HeaderCase{"!CUST|VATID|USECURRENCY|VATCODE|NAMECURRENCY|SALESTAXCODE|PRICELEVEL|X",
                   "!CUST|RESALENUM|VATCODE|SALESTAXCODE|X", "CUST|1|2|3|4|5|6|7", "CUST|1|3|5|7"},
        // Customers: VAT names alone leave the header as read.
        HeaderCase{"!CUST|VATCODE|VATID|NAME", "!CUST|VATCODE|VATID|NAME", "CUST|1|2|3",
                   "CUST|1|2|3"},
        // Customers: USECURRENCY without NAMECURRENCY then PRICELEVEL decides
        // nothing, and a later SALESTAXCODE stays.
        HeaderCase{"!CUST|VATCODE|USECURRENCY|PRICELEVEL|NAMECURRENCY|SALESTAXCODE",
                   "!CUST|VATCODE|USECURRENCY|PRICELEVEL|NAMECURRENCY|SALESTAXCODE",
                   "CUST|1|2|3|4|5", "CUST|1|2|3|4|5"},
        // Vendors: VATID before USECURRENCY renamed, one after it kept.
        HeaderCase{"!VEND|VATID|USECURRENCY|VATID|NAMECURRENCY|NAMECURRENCY",
                   "!VEND|TAXID|VATID|NAMECURRENCY", "VEND|1|2|3|4|5", "VEND|1|3|5"},
        HeaderCase{"!VEND|VATID|NAMECURRENCY|USECURRENCY", "!VEND|VATID|NAMECURRENCY|USECURRENCY",
                   "VEND|1|2|3", "VEND|1|2|3"},
        // Employees: renames before EMPNO only, and only the first EMPNO goes.
        HeaderCase{"!EMP|PROVINCE|EMPNO|POSTCODE", "!EMP|STATE|POSTCODE", "EMP|1|2|3", "EMP|1|3"},
        HeaderCase{"!EMP|SIN|POSTCODE|PROVINCE|EMPNO|EMPNO", "!EMP|SSNO|ZIP|STATE|EMPNO",
                   "EMP|1|2|3|4|5", "EMP|1|2|3|5"},
        HeaderCase{"!EMP|PROVINCE|POSTCODE|SIN", "!EMP|PROVINCE|POSTCODE|SIN", "EMP|1|2|3",
                   "EMP|1|2|3"}));

TEST(OtherListsTest, SharedCurrencyPositions) {
  Lines lines;
  lines.Convert("!CUST|A|USECURRENCY|NAMECURRENCY|PRICELEVEL|B");
  EXPECT_EQ(lines.Convert("CUST|a|u|n|p|b"), "CUST|a|b");
  // The vendor header moves the shared positions to 5 and 7.
  EXPECT_EQ(lines.Convert("!VEND|A|B|C|USECURRENCY|D|NAMECURRENCY"), "!VEND|A|B|C|D");
  EXPECT_EQ(lines.state().useCurrencyCol, 5);
  EXPECT_EQ(lines.state().nameCurrencyCol, 7);
  EXPECT_TRUE(lines.state().custDropCurrency);
  // Customer rows now lose the fields at 5, 7 and 5 (PRICELEVEL): each once.
  EXPECT_EQ(lines.Convert("CUST|2|3|4|5|6|7|8"), "CUST|2|3|4|6|8");
  // Such a row needs 6 fields (positions up to 6 are read).
  EXPECT_EQ(lines.Convert("CUST|2|3|4|5|6"), "CUST|2|3|4|6");
  EXPECT_EQ(ErrorNumberOf(lines, "CUST|2|3|4|5"), err::kSubscriptOutOfRange);
}

TEST(OtherListsTest, VendorHeaderWithoutNameCurrencyStillMovesUseCurrency) {
  Lines lines;
  lines.Convert("!VEND|USECURRENCY|NAMECURRENCY");
  EXPECT_EQ(lines.Convert("VEND|u|n|x"), "VEND|x");
  EXPECT_EQ(lines.Convert("!VEND|A|B|USECURRENCY"), "!VEND|A|B|USECURRENCY");
  EXPECT_FALSE(lines.state().vendDropCurrency);
  EXPECT_EQ(lines.state().useCurrencyCol, 4);
  EXPECT_EQ(lines.Convert("VEND|u|n|x"), "VEND|u|n|x");
}

TEST(OtherListsTest, CustomerHeaderWithoutDecisionStillMovesTheVendorPositions) {
  Lines lines;
  lines.Convert("!VEND|A|B|USECURRENCY|NAMECURRENCY");
  // USECURRENCY alone: the customer header decides nothing but moves the
  // shared position to 8, after the vendor's NAMECURRENCY at 5. Vendor rows
  // now lose the fields at 8 and 5.
  EXPECT_EQ(lines.Convert("!CUST|A|B|C|D|E|F|USECURRENCY|G"), "!CUST|A|B|C|D|E|F|USECURRENCY|G");
  EXPECT_FALSE(lines.state().custDropCurrency);
  EXPECT_EQ(lines.Convert("VEND|1|2|3|4|5|6|7|8|9"), "VEND|1|2|3|5|6|8|9");
  // Positions up to 7 are read.
  EXPECT_EQ(lines.Convert("VEND|1|2|3|4|5|6"), "VEND|1|2|3|5|6");
  EXPECT_EQ(ErrorNumberOf(lines, "VEND|1|2|3|4|5"), err::kSubscriptOutOfRange);
  // USECURRENCY and NAMECURRENCY without PRICELEVEL move both positions.
  lines.Convert("!CUST|USECURRENCY|NAMECURRENCY|X");
  EXPECT_EQ(lines.Convert("VEND|u|n|x"), "VEND|x");
}

TEST(OtherListsTest, HeadersWithOnlyTheirKeywordTurnTheirRulesOff) {
  Lines lines;
  lines.Convert("!CUST|USECURRENCY|NAMECURRENCY|PRICELEVEL");
  lines.Convert("!VEND|USECURRENCY|NAMECURRENCY");
  lines.Convert("!EMP|EMPNO");
  EXPECT_EQ(lines.Convert("CUST|u|n|p|x"), "CUST|x");
  EXPECT_EQ(lines.Convert("!CUST"), "!CUST");
  EXPECT_EQ(lines.Convert("!VEND"), "!VEND");
  EXPECT_EQ(lines.Convert("!EMP"), "!EMP");
  for (const char* row : {"CUST|u|n|p|x", "VEND|u|n|x", "EMP|e|x"}) {
    EXPECT_EQ(lines.Convert(row), row);
  }
}

TEST(OtherListsTest, EachListKeepsItsOwnRule) {
  Lines lines;
  lines.Convert("!CUST|SALESTAXCODE");
  lines.Convert("!VEND|USECURRENCY|NAMECURRENCY");
  lines.Convert("!EMP|EMPNO");
  lines.Convert("!INVITEM|SALESTAXCODE");
  EXPECT_EQ(lines.Convert("CUST|s|a"), "CUST|a");
  EXPECT_EQ(lines.Convert("VEND|u|n|a"), "VEND|a");
  EXPECT_EQ(lines.Convert("EMP|e|a"), "EMP|a");
  EXPECT_EQ(lines.Convert("INVITEM|s|a"), "INVITEM|a");
  lines.Convert("!CUST|NAME");
  EXPECT_EQ(lines.Convert("CUST|s|a"), "CUST|s|a");
  EXPECT_EQ(lines.Convert("VEND|u|n|a"), "VEND|a");
}

TEST(OtherListsTest, ShortRowsFail) {
  Lines lines;
  lines.Convert("!CUST|A|B|SALESTAXCODE");
  EXPECT_EQ(lines.Convert("CUST|a|b"), "CUST|a|b");
  EXPECT_EQ(ErrorNumberOf(lines, "CUST|a"), err::kSubscriptOutOfRange);
  lines.Convert("!VEND|USECURRENCY|A|NAMECURRENCY");
  EXPECT_EQ(lines.Convert("VEND|u|a"), "VEND|a");
  EXPECT_EQ(ErrorNumberOf(lines, "VEND|u"), err::kSubscriptOutOfRange);
  lines.Convert("!EMP|A|B|EMPNO");
  EXPECT_EQ(lines.Convert("EMP|a|b"), "EMP|a|b");
  EXPECT_EQ(ErrorNumberOf(lines, "EMP|a"), err::kSubscriptOutOfRange);
}

TEST(ClassifyKeywordTest, MatchesExactlyOnly) {
  EXPECT_EQ(ClassifyKeyword("!INVITEM"), LineKind::kItemHeader);
  EXPECT_EQ(ClassifyKeyword("EMP"), LineKind::kEmployeeRow);
  for (const char* k : {"!invitem", " !INVITEM", "!INVITEM ", "Cust", "EMPX", "", "!", "VEN"}) {
    EXPECT_EQ(ClassifyKeyword(k), LineKind::kOther) << k;
  }
}

}  // namespace
}  // namespace kestle::iif
