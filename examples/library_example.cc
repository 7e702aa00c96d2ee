// Using the Kestle core as a library: convert an IIF file, then archive and
// back up a split SQLite host database.
//
//   library_example IN.iif OUT.iif FRONT.db
#include <cstdio>

#include <kestle/component/archiver.h>
#include <kestle/component/parse_iif.h>
#include <kestle/db/sqlite/snapshot.h>
#include <kestle/db/sqlite/sqlite_database.h>
#include <kestle/platform/error.h>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s IN.iif OUT.iif FRONT.db\n", argv[0]);
    return 2;
  }
  kestle::ParseIIF iif;
  try {
    iif.parseFile(argv[1], argv[2]);
  } catch (const kestle::RuntimeError& e) {
    std::fprintf(stderr, "error %d: %s\n", e.number(), e.description().c_str());
    return 1;
  }

  auto db = kestle::db::OpenSqliteDatabase(argv[3]);
  kestle::Env* env = kestle::Env::Default();
  // A live SQLite back-end is copied as a consistent snapshot.
  kestle::Archiver archiver(env, [env](const std::string& from, const std::string& to) {
    kestle::db::SnapshotCopy(*env, from, to);
  });
  int32_t archived =
      archiver.archiveNow(db, kestle::MakeDate(2025, 1, 2), kestle::MakeDate(2025, 1, 1));
  int32_t backed_up = archiver.backupNow(db, "", "library example");
  std::printf("archiveNow: %d, backupNow: %d\n", archived, backed_up);
  return archived == 1 && backed_up == 1 ? 0 : 1;
}
