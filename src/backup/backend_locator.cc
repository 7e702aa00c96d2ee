// The back-end file locator: the first linked table's "DATABASE=" path.
#include "backup/backend_locator.h"

#include <cstdint>
#include <string_view>

namespace kestle::backup {
namespace {

constexpr std::string_view kDatabaseKey = "DATABASE=";
constexpr std::string_view kSettingSeparator = ";";

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The 1-based position of `what` in `text` at or after position `start`,
// comparing letters without regard to case; 0 when it does not occur.
int64_t InStrText(int64_t start, std::string_view text, std::string_view what) {
  if (start < 1) start = 1;
  for (size_t i = static_cast<size_t>(start - 1); i + what.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < what.size() && FoldCase(text[i + k]) == FoldCase(what[k])) ++k;
    if (k == what.size()) return static_cast<int64_t>(i) + 1;
  }
  return 0;
}

// A position search passed through nzValue, so that a Null position counts
// as "not found".
int64_t Position(int64_t start, std::string_view text, std::string_view what) {
  return nzValue(db::Value(InStrText(start, text, what)), db::Value(int64_t{0})).integer();
}

}  // namespace

db::Value nzValue(const db::Value& value, const db::Value& fallback) {
  return value.is_null() ? fallback : value;
}

std::string findBackendPath(const std::shared_ptr<db::Database>& mDB, Env& env) {
  try {
    if (!mDB) return "";
    std::string connect;
    int64_t key_at = 0;
    for (const std::shared_ptr<db::TableDef>& def : mDB->TableDefs()) {
      connect = def->Connect();
      if (connect.empty()) continue;
      key_at = Position(1, connect, kDatabaseKey);
      if (key_at > 0) break;
    }
    if (key_at == 0) return "";

    const int64_t start = key_at + static_cast<int64_t>(kDatabaseKey.size());
    const int64_t end = Position(start, connect, kSettingSeparator);
    std::string path = end > 0 ? connect.substr(start - 1, end - start) : connect.substr(start - 1);
    if (!path.empty() && !env.DirLookup(path).empty()) return path;
    return "";
  } catch (...) {
    // The caller treats an empty path as "no back-end file"; it never sees
    // why the lookup failed.
    return "";
  }
}

}  // namespace kestle::backup
