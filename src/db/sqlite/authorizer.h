// The linked-table guard: the SQLite authorizer that lets a front-end's
// statements reach only Jet's statements, functions and linked tables.
#ifndef KESTLE_DB_SQLITE_AUTHORIZER_H_
#define KESTLE_DB_SQLITE_AUTHORIZER_H_

namespace kestle::db {

// The authorizer of a connection (`arg` is its Connection): refuses every
// action but Jet's statements, functions other than the engine's, changes to
// the design of a back-end, and tables of a back-end that are not linked.
int JetStatementsOnly(void* arg, int action, const char* first, const char* second,
                      const char* schema, const char* inner);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_AUTHORIZER_H_
