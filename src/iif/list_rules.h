// The column rules of the item, customer, vendor and employee lists.
//
// Each list has a header handler, which reads the column names of a "!"
// header line, decides which columns go (and renames some), records that in
// the ListRewriteState, and returns the header text to write; and a row
// rule, which names the fields that each later data row of that list loses
// (RowRuleFor). A header handler that changes nothing returns the line it was
// given, so an unchanged line is written exactly as it was read.
#ifndef KESTLE_IIF_LIST_RULES_H_
#define KESTLE_IIF_LIST_RULES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "iif/fields.h"

namespace kestle::iif {

// What the last header of each list decided, handed on to that list's rows.
// One conversion starts with every flag cleared and every position 0; only
// header lines change it. Positions are 1-based columns of the header that
// set them. The customer and vendor lists share the two currency positions.
struct ListRewriteState {
  // Item list: at most one of the four flags is set.
  bool itemDropSalesTax = false;       // rows lose itemSalesTaxCol
  bool itemDropCustomBlock = false;    // rows lose 5 fields from itemCustFld6Col
  bool itemDropForeignCustom = false;  // rows lose itemForeignPriceCol and the block
  bool itemDropForeignVat = false;     // rows lose itemForeignPriceCol and itemAmtIncVatCol
  // Customer list: at most one of the two flags is set.
  bool custDropSalesTax = false;  // rows lose custSalesTaxCol
  bool custDropCurrency = false;  // rows lose both currency columns and custPriceLevelCol
  bool vendDropCurrency = false;  // vendor rows lose both currency columns
  bool empDropEmpNo = false;      // employee rows lose empNoCol

  int16_t itemSalesTaxCol = 0;
  int16_t itemForeignPriceCol = 0;
  int16_t itemCustFld6Col = 0;
  int16_t itemAmtIncVatCol = 0;
  int16_t custSalesTaxCol = 0;
  int16_t custPriceLevelCol = 0;
  int16_t useCurrencyCol = 0;   // shared by customer and vendor headers
  int16_t nameCurrencyCol = 0;  // shared by customer and vendor headers
  int16_t empNoCol = 0;
};

// Every header handler takes the line's fields (it may rename fields in
// place), its field count, the line text and the conversion's state. It
// returns either `line` itself or a view of `scratch`, which it overwrites;
// the result is valid until the next call with the same scratch.

std::string_view rewriteItemHeader(FieldList& fields, int16_t count, std::string_view line,
                                   ListRewriteState& state, std::string& scratch);
std::string_view rewriteCustomerHeader(FieldList& fields, int16_t count, std::string_view line,
                                       ListRewriteState& state, std::string& scratch);
std::string_view rewriteVendorHeader(FieldList& fields, int16_t count, std::string_view line,
                                     ListRewriteState& state, std::string& scratch);
std::string_view rewriteEmployeeHeader(FieldList& fields, int16_t count, std::string_view line,
                                       ListRewriteState& state, std::string& scratch);

// The fields that a data row loses under the rule its list's last header
// left: the ranges in the order the rule names them (SpansWithout takes any
// order). No ranges: the row is written unchanged.
struct RowRule {
  RemovalRange ranges[kMaxRanges];
  int count = 0;
};

// The line kinds that have a handler, in the order their keywords are
// compared; kOther is every other line, which is copied unchanged.
enum class LineKind {
  kItemHeader,
  kItemRow,
  kCustomerHeader,
  kCustomerRow,
  kVendorHeader,
  kVendorRow,
  kEmployeeHeader,
  kEmployeeRow,
  kOther,
};

// Length of the longest keyword that ClassifyKeyword matches ("!INVITEM").
inline constexpr size_t kLongestKeyword = 8;

// The kind of a line whose field 1 is `keyword` (exact, case-sensitive match).
LineKind ClassifyKeyword(std::string_view keyword);

// True for the four header kinds.
inline bool IsHeader(LineKind kind) {
  return kind == LineKind::kItemHeader || kind == LineKind::kCustomerHeader ||
         kind == LineKind::kVendorHeader || kind == LineKind::kEmployeeHeader;
}

// The rule for a data row of `kind` (a row kind) under `state`.
RowRule RowRuleFor(LineKind kind, const ListRewriteState& state);

// Runs the header handler of `kind` (a header kind) on a line split at TABs.
std::string_view RewriteHeader(LineKind kind, FieldList& fields, int16_t count,
                               std::string_view line, ListRewriteState& state,
                               std::string& scratch);

// Converts one line of `kind` (not kOther) as the driver does: a header
// through its handler, a row by its RowRule. The result is `line` or a view
// of `scratch`. Throws RuntimeError 9 for a row too short for its rule, 6 for
// a line of more than kMaxFields fields.
std::string_view RewriteLine(LineKind kind, std::string_view line, ListRewriteState& state,
                             FieldList& fields, std::string& scratch);

}  // namespace kestle::iif

#endif  // KESTLE_IIF_LIST_RULES_H_
