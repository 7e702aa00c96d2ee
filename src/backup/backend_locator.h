// Finds the back-end file of the host's split database from the connect
// string of its first linked table.
#ifndef KESTLE_BACKUP_BACKEND_LOCATOR_H_
#define KESTLE_BACKUP_BACKEND_LOCATOR_H_

#include <memory>
#include <string>

#include "db/database.h"
#include "platform/env.h"

namespace kestle::backup {

// `value` unless it is Null; for Null, `fallback` (Null when none is given).
db::Value nzValue(const db::Value& value, const db::Value& fallback = db::Value());

// The path after "DATABASE=" (found without regard to case) in the first
// table definition of `mDB` whose connect string holds that key, up to the
// next ";" or the end, exactly as written, provided a normal file exists
// there. Otherwise, and on any error (no database, a failing engine or
// directory lookup), the empty text. Never throws and shows nothing.
std::string findBackendPath(const std::shared_ptr<db::Database>& mDB, Env& env);

}  // namespace kestle::backup

#endif  // KESTLE_BACKUP_BACKEND_LOCATOR_H_
