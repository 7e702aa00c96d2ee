#!/usr/bin/env bash
# The Kestle demo: builds the `kestle` tool and runs its four jobs on sample
# data: converts the example IIF files, creates a sample split database,
# archives finished orders, backs up the back-end file and runs the shipping
# probe. Installs missing Debian packages first. Everything it writes goes to
# out/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
ensure_packages "${CORE_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kestle -j"$(jobs)" >/dev/null
k=build/kestle
out=out/demo
rm -rf "$out"
mkdir -p "$out/iif"

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

say "1. IIF conversion: list headers before and after"
for f in examples/*.iif; do
  name=$(basename "$f")
  $k iif "$f" "$out/iif/$name"
  echo "-- $name ($(wc -l <"$f") lines in, $(wc -l <"$out/iif/$name") lines out)"
  diff <(grep -a '^!\(INVITEM\|CUST\|VEND\|EMP\)' "$f" | tr -d '\r' | tr '\t' ' ') \
       <(grep -a '^!\(INVITEM\|CUST\|VEND\|EMP\)' "$out/iif/$name" | tr -d '\r' | tr '\t' ' ') \
    | sed -n 's/^< /   before: /p; s/^> /   after:  /p' || true
done

say "2. A sample split database (front-end orders.db linked to back-end orders_be.db)"
$k db sample "$out/db" --orders 2000
$k db sql "$out/db/orders.db" \
  "SELECT Status.Status, Count(*) AS Orders FROM [sales orders] INNER JOIN Status ON [sales orders].StatusId = Status.StatusId GROUP BY Status.Status"
$k db sql "$out/db/orders.db" "SELECT Count(*) AS Transactions FROM [inventory transactions]"

say "3. Archive: closed and archived orders whose activity ended before 2025-01-01"
$k archive "$out/db/orders.db" --end 2025-01-01 --lpc 2025-01-02 --dry-run | tail -n 3
$k archive "$out/db/orders.db" --end 2025-01-01 --lpc 2025-01-02 --yes  # no question: the demo owns its data
$k db sql "$out/db/orders.db" "SELECT Count(*) AS Transactions FROM [inventory transactions]"
echo "-- dates too close together are refused (exit code 3):"
$k archive "$out/db/orders.db" --end 2025-01-01 --lpc 2025-01-01 || echo "   exit code $?"

say "4. Backup of the back-end file into its Backup folder, recorded in BackupManagerTable"
$k backup "$out/db/orders.db" --name "Demo backup"
$k db sql "$out/db/orders.db" "SELECT BackupName, BackupLocation, BackupDate FROM BackupManagerTable"

say "5. Shipping hand-off probe"
$k ship ups "$out/db/orders.db" && echo "   UPS: the database answers; no message"
$k db link "$out/db/bare.db" "$out/db/orders_be.db" "sales orders" >/dev/null
echo "-- without a VersionControl table the probe reports (message boxes go to stderr):"
$k ship ups "$out/db/bare.db" || echo "   exit code $?"

say "Done. Output is in $out/"
