#!/usr/bin/env bash
# Measures `kestle iif` against `cat IN > OUT` on three generated IIF files: a
# list export (about 85% item, customer, vendor and employee rows), the
# transaction-heavy mix of a company export, and one long line of another
# list. For each: wall time and throughput (MB/s) as the best of several runs
# with the input in the page cache, the best CPU time (user + system), the
# peak resident memory, and the ratios kestle/cat of wall and CPU time beside
# the goal, and the median of the ratios of the runs made side by side. The
# runs of the two commands alternate, so that a busy machine slows both
# alike; on a busy machine the CPU ratio and the median are the steadier
# figures.
# `cat` copies inside the kernel (copy_file_range); `dd` with the converter's
# block size shows what any program that reads and writes through its own
# buffer pays at least, and is measured beside them for that reason.
#
# Usage: bench/iif_bench.sh [SIZE_MIB] [KESTLE] [RUNS] [LONG_MIB]
#   SIZE_MIB  size of the two mixes (default 256)
#   KESTLE    the kestle binary (default build/kestle; measure a Release build)
#   RUNS      runs of each command; the fastest counts (default 5)
#   LONG_MIB  length of the long line (default 1024)
set -euo pipefail

size_mib=${1:-256}
kestle=${2:-build/kestle}
runs=${3:-5}
long_mib=${4:-1024}
here=$(cd "$(dirname "$0")" && pwd)

[[ -x "$kestle" ]] || { echo "iif_bench: no kestle binary at $kestle" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "iif_bench: /usr/bin/time (GNU time) is needed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kestle_iif_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
in="$work/in.iif"
out="$work/out.iif"

declare -A best cpu peak last
# smaller A B: true when B is empty or A < B.
smaller() { [[ -z "$2" ]] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
# measure NAME COMMAND...: one run; keeps the best wall and CPU times and the
# peak RSS.
measure() {
  local name=$1 t0 t1 kib user sys secs used
  shift
  rm -f "$out"
  # Wall time in nanoseconds: GNU time's own is in hundredths of a second,
  # too coarse for cat. GNU time gives the peak resident set in KiB and the
  # user and system CPU seconds.
  t0=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$work/time.txt" "$@"
  t1=$(date +%s%N)
  read -r kib user sys <"$work/time.txt"
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
  used=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  last[$name]=$secs
  smaller "$secs" "${best[$name]:-}" && best[$name]=$secs
  smaller "$used" "${cpu[$name]:-}" && cpu[$name]=$used
  ((kib > ${peak[$name]:-0})) && peak[$name]=$kib
  return 0
}

# bench LABEL MIX MIB GOAL: generates the input, measures cat and kestle on it
# and prints both and their ratio.
bench() {
  local label=$1 mix=$2 mib=$3 goal=$4 bytes name
  python3 "$here/iif_gen.py" "$mib" "$in" "$mix"
  bytes=$(stat -c %s "$in")
  cat "$in" >/dev/null  # into the page cache
  best=() cpu=() peak=()
  local pairs=()
  for ((i = 0; i < runs; i++)); do
    measure cat sh -c 'cat "$1" > "$2"' sh "$in" "$out"
    measure kestle "$kestle" iif "$in" "$out"
    measure dd dd if="$in" of="$out" bs=256K status=none
    pairs+=("$(awk -v k="${last[kestle]}" -v c="${last[cat]}" 'BEGIN { printf "%.4f", k / c }')")
  done
  echo "== $label: $bytes bytes, best of $runs runs"
  for name in cat dd kestle; do
    awk -v n="$name" -v b="$bytes" -v s="${best[$name]}" -v u="${cpu[$name]}" -v k="${peak[$name]}" 'BEGIN {
      printf "  %-8s %7.3f s  %8.1f MB/s  CPU %5.2f s  peak RSS %6.1f MiB\n", n, s, b / s / 1e6, u, k / 1024 }'
  done
  awk -v k="${best[kestle]}" -v c="${best[cat]}" -v ku="${cpu[kestle]}" -v cu="${cpu[cat]}" -v g="$goal" 'BEGIN {
    printf "  ratio kestle/cat: wall %.2f, CPU %.2f (goal: at most %s)\n", k / c, ku / (cu > 0 ? cu : 0.01), g }'
  # The ratio of each run to the cat run beside it: the median of those
  # shrugs off the moments when the machine was busy with something else.
  printf '%s\n' "${pairs[@]}" | sort -n | awk '{ r[NR] = $1 } END {
    printf "  ratio kestle/cat, median of the %d side-by-side runs: %.2f\n", NR, r[int((NR + 1) / 2)] }'
  awk -v k="${best[kestle]}" -v d="${best[dd]}" 'BEGIN { printf "  ratio kestle/dd: wall %.2f\n", k / d }'
  rm -f "$in" "$out"
}

bench "list export" lists "$size_mib" 2
bench "transaction-heavy mix" transactions "$size_mib" 1.5
bench "one long line" longline "$long_mib" 2
awk -v k="${peak[kestle]}" 'BEGIN { printf "long line, kestle peak RSS: %.1f MiB (goal: under 16)\n", k / 1024 }'
