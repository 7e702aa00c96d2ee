// Field values of the database interface.
#include <cstdio>

#include "db/database.h"
#include "platform/error.h"

namespace kestle::db {

std::string JetNumberText(double v) {
  // The host's conversion keeps 15 significant digits, the precision a
  // double always carries, and writes the exponent in capitals.
  constexpr int kSignificantDigits = 15;
  if (v == 0) return "0";  // also -0
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.*G", kSignificantDigits, v);
  return buf;
}

std::string Value::ToText() const {
  if (is_null()) throw RuntimeError(err::kInvalidUseOfNull);
  if (is_text()) return text();
  if (is_integer()) return std::to_string(integer());
  return JetNumberText(real());
}

}  // namespace kestle::db
