#!/usr/bin/env bash
# Measures `kestle db sql --format csv` printing every inventory transaction of
# a sample database against the sqlite3 shell's `-csv` printing the same table
# of the back-end file: wall time as the best of several runs with the files
# in the page cache, the peak resident memory, and the time ratio
# kestle/sqlite3. The runs of the two commands alternate, so that a busy
# machine slows both alike. Output goes to /dev/null.
#
# Usage: bench/db_sql_bench.sh [ORDERS] [KESTLE] [RUNS]
#   ORDERS  orders of the sample (default 50000: about 245,000 transactions)
#   KESTLE  the kestle binary (default build/kestle)
#   RUNS    runs of each command; the fastest counts (default 5)
set -euo pipefail

orders=${1:-50000}
kestle=${2:-build/kestle}
runs=${3:-5}

[[ -x "$kestle" ]] || { echo "db_sql_bench: no kestle binary at $kestle" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "db_sql_bench: /usr/bin/time (GNU time) is needed" >&2; exit 2; }
command -v sqlite3 >/dev/null || { echo "db_sql_bench: the sqlite3 shell is needed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kestle_db_sql_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "making a sample of $orders orders..."
"$kestle" -q db sample "$work" --orders "$orders"
front="$work/orders.db"
back="$work/orders_be.db"
rows=$(sqlite3 "$back" 'SELECT count(*) FROM "inventory transactions"')
cat "$front" "$back" >/dev/null  # into the page cache

declare -A best peak
# measure NAME COMMAND...: one run; keeps the best wall time and the peak RSS.
measure() {
  local name=$1 t0 t1 kib secs
  shift
  t0=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null
  t1=$(date +%s%N)
  read -r kib <"$work/time.txt"
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
  if [[ -z "${best[$name]:-}" ]] || awk -v a="$secs" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
    best[$name]=$secs
  fi
  ((kib > ${peak[$name]:-0})) && peak[$name]=$kib
  return 0
}

for ((i = 0; i < runs; i++)); do
  measure sqlite3 sqlite3 -csv -header "$back" 'SELECT * FROM "inventory transactions"'
  measure kestle "$kestle" db sql --format csv "$front" 'SELECT * FROM [inventory transactions]'
done

echo "rows: $rows, best of $runs runs"
for name in sqlite3 kestle; do
  awk -v n="$name" -v r="$rows" -v s="${best[$name]}" -v k="${peak[$name]}" 'BEGIN {
    printf "%-8s %7.3f s  %9.0f rows/s  peak RSS %6.1f MiB\n", n, s, r / s, k / 1024 }'
done
awk -v k="${best[kestle]}" -v c="${best[sqlite3]}" 'BEGIN {
  printf "ratio kestle/sqlite3: %.2f (goal: at most 1.5)\n", k / c }'
