// The header and row rules of the item, customer, vendor and employee lists.
//
// Header scans go column by column from column 1, which holds the list's own
// "!" keyword; that keyword matches none of the column names, so every header
// clears its list's flags before it can set one.
#include "iif/list_rules.h"

#include <initializer_list>

namespace kestle::iif {
namespace {

// Line keywords, in the order they are compared.
constexpr std::string_view kItemHeaderKeyword = "!INVITEM";
constexpr std::string_view kItemRowKeyword = "INVITEM";
constexpr std::string_view kCustomerHeaderKeyword = "!CUST";
constexpr std::string_view kCustomerRowKeyword = "CUST";
constexpr std::string_view kVendorHeaderKeyword = "!VEND";
constexpr std::string_view kVendorRowKeyword = "VEND";
constexpr std::string_view kEmployeeHeaderKeyword = "!EMP";
constexpr std::string_view kEmployeeRowKeyword = "EMP";

static_assert(kItemHeaderKeyword.size() == kLongestKeyword);

// Column names that decide a rule.
constexpr std::string_view kSalesTaxCode = "SALESTAXCODE";
constexpr std::string_view kForeignPrice = "FOREIGNPRICE";
constexpr std::string_view kCustFld6 = "CUSTFLD6";
constexpr std::string_view kAmtIncVat = "AMTINCVAT";
constexpr std::string_view kUseCurrency = "USECURRENCY";
constexpr std::string_view kNameCurrency = "NAMECURRENCY";
constexpr std::string_view kPriceLevel = "PRICELEVEL";
constexpr std::string_view kEmpNo = "EMPNO";

// Column renames: the non-US name as read and the name written in its place.
struct Rename {
  std::string_view from;
  std::string_view to;
};
constexpr Rename kItemVatCode = {"VATCODE", "STAXCODE"};
constexpr Rename kItemPurchVatCode = {"PURCHVATCODE", "PTAXCODE"};
constexpr Rename kCustomerVatCode = {"VATCODE", "TAXCODE"};
constexpr Rename kCustomerVatId = {"VATID", "RESALENUM"};
constexpr Rename kVendorVatId = {"VATID", "TAXID"};
constexpr Rename kEmployeeProvince = {"PROVINCE", "STATE"};
constexpr Rename kEmployeePostCode = {"POSTCODE", "ZIP"};
constexpr Rename kEmployeeSin = {"SIN", "SSNO"};

// Width of the custom-field block that starts at "CUSTFLD6".
constexpr int kCustomBlockLength = 5;

int16_t Pos(int column) { return static_cast<int16_t>(column); }

void ClearItemFlags(ListRewriteState& s) {
  s.itemDropSalesTax = false;
  s.itemDropCustomBlock = false;
  s.itemDropForeignCustom = false;
  s.itemDropForeignVat = false;
}

}  // namespace

std::string_view rewriteItemHeader(FieldList& fields, int16_t count, std::string_view line,
                                   ListRewriteState& state, std::string& scratch) {
  // Step 1: the first of "SALESTAXCODE", "FOREIGNPRICE", "CUSTFLD6" decides.
  int i = 1;
  for (;; ++i) {
    if (i > count) return line;
    std::string_view name = fields.at(i);
    if (name == kSalesTaxCode) {
      state.itemDropSalesTax = true;
      state.itemSalesTaxCol = Pos(i);
      return joinFieldsExcept(fields, count, {{i, 1}}, scratch);
    }
    if (name == kForeignPrice) {
      state.itemForeignPriceCol = Pos(i);
      break;
    }
    if (name == kCustFld6) {
      state.itemDropCustomBlock = true;
      state.itemCustFld6Col = Pos(i);
      return joinFieldsExcept(fields, count, {{i, kCustomBlockLength}}, scratch);
    }
    ClearItemFlags(state);
  }

  // Step 2: after "FOREIGNPRICE", a "CUSTFLD6" block or a "VATCODE".
  int j = i + 1;
  for (;; ++j) {
    if (j > count) return line;
    std::string_view name = fields.at(j);
    if (name == kCustFld6) {
      state.itemDropForeignCustom = true;
      state.itemCustFld6Col = Pos(j);
      return joinFieldsExcept(fields, count,
                              {{state.itemForeignPriceCol, 1}, {j, kCustomBlockLength}}, scratch);
    }
    if (name == kItemVatCode.from) {
      fields.Replace(j, kItemVatCode.to);
      break;
    }
  }

  // Step 3: after "VATCODE", rename purchase VAT codes up to "AMTINCVAT". The
  // renames reach the output only when "AMTINCVAT" rebuilds the header.
  for (int k = j + 1; k <= count; ++k) {
    std::string_view name = fields.at(k);
    if (name == kItemPurchVatCode.from) {
      fields.Replace(k, kItemPurchVatCode.to);
    } else if (name == kAmtIncVat) {
      state.itemDropForeignVat = true;
      state.itemAmtIncVatCol = Pos(k);
      return joinFieldsExcept(fields, count, {{state.itemForeignPriceCol, 1}, {k, 1}}, scratch);
    }
  }
  return line;
}

std::string_view rewriteCustomerHeader(FieldList& fields, int16_t count, std::string_view line,
                                       ListRewriteState& state, std::string& scratch) {
  // Step 1: "SALESTAXCODE" or "USECURRENCY", renaming VAT columns on the way.
  int i = 1;
  for (;; ++i) {
    if (i > count) return line;
    std::string_view name = fields.at(i);
    if (name == kSalesTaxCode) {
      state.custDropSalesTax = true;
      state.custSalesTaxCol = Pos(i);
      return joinFieldsExcept(fields, count, {{i, 1}}, scratch);
    }
    if (name == kUseCurrency) {
      state.useCurrencyCol = Pos(i);
      break;
    }
    if (name == kCustomerVatCode.from) {
      fields.Replace(i, kCustomerVatCode.to);
    } else if (name == kCustomerVatId.from) {
      fields.Replace(i, kCustomerVatId.to);
    } else {
      state.custDropSalesTax = false;
      state.custDropCurrency = false;
    }
  }

  // Steps 2 and 3: "NAMECURRENCY", then "PRICELEVEL".
  int j = i + 1;
  for (;; ++j) {
    if (j > count) return line;
    if (fields.at(j) == kNameCurrency) break;
  }
  state.nameCurrencyCol = Pos(j);
  for (int k = j + 1; k <= count; ++k) {
    if (fields.at(k) == kPriceLevel) {
      state.custDropCurrency = true;
      state.custPriceLevelCol = Pos(k);
      return joinFieldsExcept(
          fields, count, {{state.useCurrencyCol, 1}, {state.nameCurrencyCol, 1}, {k, 1}}, scratch);
    }
  }
  return line;
}

std::string_view rewriteVendorHeader(FieldList& fields, int16_t count, std::string_view line,
                                     ListRewriteState& state, std::string& scratch) {
  int i = 1;
  for (;; ++i) {
    if (i > count) return line;
    std::string_view name = fields.at(i);
    if (name == kUseCurrency) {
      state.useCurrencyCol = Pos(i);
      break;
    }
    if (name == kVendorVatId.from) {
      fields.Replace(i, kVendorVatId.to);
    } else {
      state.vendDropCurrency = false;
    }
  }
  for (int j = i + 1; j <= count; ++j) {
    if (fields.at(j) == kNameCurrency) {
      state.vendDropCurrency = true;
      state.nameCurrencyCol = Pos(j);
      return joinFieldsExcept(fields, count, {{state.useCurrencyCol, 1}, {j, 1}}, scratch);
    }
  }
  return line;
}

std::string_view rewriteEmployeeHeader(FieldList& fields, int16_t count, std::string_view line,
                                       ListRewriteState& state, std::string& scratch) {
  for (int i = 1; i <= count; ++i) {
    std::string_view name = fields.at(i);
    if (name == kEmpNo) {
      state.empDropEmpNo = true;
      state.empNoCol = Pos(i);
      return joinFieldsExcept(fields, count, {{i, 1}}, scratch);
    }
    if (name == kEmployeeProvince.from) {
      fields.Replace(i, kEmployeeProvince.to);
    } else if (name == kEmployeePostCode.from) {
      fields.Replace(i, kEmployeePostCode.to);
    } else if (name == kEmployeeSin.from) {
      fields.Replace(i, kEmployeeSin.to);
    } else {
      state.empDropEmpNo = false;
    }
  }
  return line;
}

LineKind ClassifyKeyword(std::string_view keyword) {
  // Cheap length and first-byte screen first: almost every line of a large
  // file belongs to some other list and must cost next to nothing here.
  if (keyword.size() < 3 || keyword.size() > 8) return LineKind::kOther;
  if (keyword == kItemHeaderKeyword) return LineKind::kItemHeader;
  if (keyword == kItemRowKeyword) return LineKind::kItemRow;
  if (keyword == kCustomerHeaderKeyword) return LineKind::kCustomerHeader;
  if (keyword == kCustomerRowKeyword) return LineKind::kCustomerRow;
  if (keyword == kVendorHeaderKeyword) return LineKind::kVendorHeader;
  if (keyword == kVendorRowKeyword) return LineKind::kVendorRow;
  if (keyword == kEmployeeHeaderKeyword) return LineKind::kEmployeeHeader;
  if (keyword == kEmployeeRowKeyword) return LineKind::kEmployeeRow;
  return LineKind::kOther;
}

RowRule RowRuleFor(LineKind kind, const ListRewriteState& s) {
  RowRule rule;
  auto set = [&rule](std::initializer_list<RemovalRange> ranges) {
    for (const RemovalRange& r : ranges) rule.ranges[rule.count++] = r;
  };
  switch (kind) {
    case LineKind::kItemRow:
      if (s.itemDropSalesTax) {
        set({{s.itemSalesTaxCol, 1}});
      } else if (s.itemDropForeignCustom) {
        set({{s.itemForeignPriceCol, 1}, {s.itemCustFld6Col, kCustomBlockLength}});
      } else if (s.itemDropCustomBlock) {
        set({{s.itemCustFld6Col, kCustomBlockLength}});
      } else if (s.itemDropForeignVat) {
        set({{s.itemForeignPriceCol, 1}, {s.itemAmtIncVatCol, 1}});
      }
      break;
    case LineKind::kCustomerRow:
      if (s.custDropSalesTax) {
        set({{s.custSalesTaxCol, 1}});
      } else if (s.custDropCurrency) {
        // A vendor header may have moved the two currency positions since,
        // even past the price level or onto it.
        set({{s.useCurrencyCol, 1}, {s.nameCurrencyCol, 1}, {s.custPriceLevelCol, 1}});
      }
      break;
    case LineKind::kVendorRow:
      if (s.vendDropCurrency) set({{s.useCurrencyCol, 1}, {s.nameCurrencyCol, 1}});
      break;
    case LineKind::kEmployeeRow:
      if (s.empDropEmpNo) set({{s.empNoCol, 1}});
      break;
    default:
      break;
  }
  return rule;
}

std::string_view RewriteHeader(LineKind kind, FieldList& fields, int16_t count,
                               std::string_view line, ListRewriteState& state,
                               std::string& scratch) {
  switch (kind) {
    case LineKind::kItemHeader:
      return rewriteItemHeader(fields, count, line, state, scratch);
    case LineKind::kCustomerHeader:
      return rewriteCustomerHeader(fields, count, line, state, scratch);
    case LineKind::kVendorHeader:
      return rewriteVendorHeader(fields, count, line, state, scratch);
    case LineKind::kEmployeeHeader:
      return rewriteEmployeeHeader(fields, count, line, state, scratch);
    default:
      return line;
  }
}

std::string_view RewriteLine(LineKind kind, std::string_view line, ListRewriteState& state,
                             FieldList& fields, std::string& scratch) {
  if (IsHeader(kind)) {
    int16_t count = splitFields(line, "\t", fields);
    return RewriteHeader(kind, fields, count, line, state, scratch);
  }
  RowRule rule = RowRuleFor(kind, state);
  std::string_view spans[kMaxRanges + 1];
  int n = SpansWithout(line, rule.ranges, rule.count, spans);
  if (rule.count == 0) return line;
  scratch.clear();
  for (int i = 0; i < n; ++i) scratch.append(spans[i]);
  return scratch;
}

}  // namespace kestle::iif
