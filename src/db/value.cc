// Field values of the database interface.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "db/database.h"
#include "platform/error.h"

namespace kestle::db {

std::string Value::ToText() const {
  if (is_null()) throw RuntimeError(err::kInvalidUseOfNull);
  if (is_text()) return text();
  if (is_integer()) return std::to_string(integer());
  // The shortest text that reads back as the same number, as the host's
  // string conversion gives it ("2.5", "1E+20").
  double v = real();
  if (v == std::floor(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
  char buf[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

}  // namespace kestle::db
