// The Jet SQL dialect on SQLite: the statement translator (the Jet LIKE
// pattern matcher is in jet_like.h; date literals are read by platform/date.h).
//
// The host's statements are written for the Jet engine. TranslateJetSql turns
// one statement into SQLite's dialect by rewriting tokens, never the inside of
// a string literal or a bracketed name:
//
//   DELETE * FROM t, DELETE [t].* FROM t   -> DELETE FROM t
//   INSERT INTO ..., UPDATE t ...           -> INSERT OR IGNORE ..., UPDATE OR IGNORE ...
//                                              (Jet without dbFailOnError skips such rows)
//   #1/5/2026 7:03:00 AM#, #2026-01-05#     -> '2026-01-05 07:03:00', '2026-01-05 00:00:00'
//   "text"                                  -> 'text'
//   IsNull(x)                               -> (-((x) IS NULL))  (ISNULL is an SQLite
//                                              keyword; -1 is Jet's True)
//   Format(x, 'yyyy'), Left(a, 2), IIf(...) -> jet_format(x, 'yyyy'), jet_left(a, 2), iif(...)
//                                              (each Jet function's name in the engine,
//                                              jet_functions.h)
//   a & b + 1 & c                           -> jet_concat(a, b + 1, c)
//                                              (Jet's precedence; Null counts as "")
//   SELECT a = b, NOT (a < b)               -> SELECT (-(a = b)), (-(NOT (a < b)))
//                                              (a truth value as a value is -1/0; in
//                                              WHERE, ON, HAVING comparisons stay as they are)
//   NOT n, a AND n, XOR, EQV, IMP           -> jet_not(n), jet_and(a, n), jet_xor(...), ...
//                                              (bitwise unless both sides are truth values)
//   a \ b, a Mod b, a ^ b                   -> jet_intdiv(a, b), jet_mod(a, b), jet_pow(a, b)
//   a + b (not both numbers)                -> jet_add(a, b)
//   x = 'abc', f(x) = g(y)                  -> x = 'abc' COLLATE NOCASE, f(x) = (g(y)) COLLATE NOCASE
//   SELECT TOP 10 PERCENT ...               -> SELECT ... LIMIT (10% of the query's count, rounded up)
//   SELECT TOP 5 ...                        -> SELECT ... LIMIT 5
//   SELECT a INTO t FROM ...                -> CREATE TABLE t AS SELECT a FROM ...
//   SELECT DISTINCTROW ... (one table)      -> SELECT ...
//   DROP INDEX i ON t                       -> DROP INDEX i
//   True, False                             -> -1, 0   (Jet's values)
//   a / b                                   -> a * 1.0 / b   (Jet divides as reals)
//   x LIKE 'abc'                            -> x = 'abc' COLLATE NOCASE
//   x LIKE 'WO*'                            -> (x >= 'wo' COLLATE NOCASE AND
//                                               x < 'wp' COLLATE NOCASE AND x LIKE 'WO*')
//   x LIKE 'A#[!0-9]*'                      -> unchanged: the engine's like() is Jet's
//   x LIKE '01'                             -> (x COLLATE NOCASE IN ('01', CAST('01' AS
//                                               NUMERIC)) AND x LIKE '01')
//   x LIKE '1*', x NOT LIKE '01'            -> unchanged (see below)
//
// Text comparison: Jet compares text without regard to case. SQLite does so for
// a column declared COLLATE NOCASE, which the host schema uses for its key
// columns; the rewritten LIKE forms compare with NOCASE explicitly so that an
// index on such a column serves them. Case folding is ASCII only, in NOCASE and
// in the LIKE matcher alike, so that both forms agree. The plain comparison
// forms are used only when the fixed text holds a character that no number's
// text holds: a number compares with text by its value or not at all (and a
// column of numeric affinity reads '01' as 1), whereas LIKE matches the
// number's text. Fixed text that may be a number's finds its candidate rows
// as text and as a number, and the LIKE decides among them.
#ifndef KESTLE_DB_SQLITE_JET_SQL_H_
#define KESTLE_DB_SQLITE_JET_SQL_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/sqlite/jet_like.h"

namespace kestle::db {

// The SQL function that the engine registers for Jet's "&".
inline constexpr const char* kJetConcatFunction = "jet_concat";

// Translates one Jet statement into SQLite's dialect (see above); the
// statement check (jet_check.h) decides beforehand which text is Jet. Throws
// RuntimeError (3075) for a malformed date literal or an unterminated
// "#". Text that holds several statements is translated as a whole; refusing
// the second statement is the engine's job.
std::string TranslateJetSql(std::string_view jet);

// A Jet statement with its string literals ('text' and "text") taken out:
// `shape` holds ?1, ?2, ... in their places and `values` their texts, in
// order. A literal right after LIKE stays in the shape, since its text decides
// how the LIKE is translated. Statements that differ only in such literals
// share one shape, which TranslateJetSql translates like the statement itself
// (a parameter counts as an operand, as a literal does).
struct LiftedStatement {
  std::string shape;
  std::vector<std::string> values;
};

// Lifts the string literals out of `jet`; nothing when the text holds
// parameters of its own (?, :name, @name, $name), an unclosed string or more
// than 100 string literals. Throws like TranslateJetSql
// for an unterminated "#".
std::optional<LiftedStatement> LiftStringLiterals(std::string_view jet);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_JET_SQL_H_
