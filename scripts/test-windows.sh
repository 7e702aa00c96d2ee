#!/usr/bin/env bash
# Builds Kestle.dll for Windows and tests it under Wine (x86_64).
#
#   scripts/test-windows.sh
#
# 1. Checks both DLLs' exports (exactly the four entry points, undecorated)
#    and that they need no runtime DLL of the compiler.
# 2. Runs the C++ automation client against the test build of the library
#    in a private Wine prefix: registration (also through regsvr32), type
#    library, IDispatch and dual calls, a call from another apartment, IIF
#    conversion, and the archive, backup and shipping jobs against a fake
#    DAO; then the behaviour checks again in a process without DAO's type
#    library registered.
# 3. Runs a VBScript through cscript that converts a file and calls the
#    Archiver without a database (Wine's cscript reports no script errors, so
#    the script's own summary line is what counts).
# The i686 library cannot run here (no 32-bit Wine); it is built and checked
# statically only.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build64="${KESTLE_BUILD_WIN64:-$root/build-win64}"
build32="${KESTLE_BUILD_WIN32:-$root/build-win32}"

"$root/scripts/build-windows.sh"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# --- Exports and imports -------------------------------------------------
check_dll() {  # check_dll DLL OBJDUMP
  local dll="$1" objdump="$2" exports imports
  exports="$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&NF==0{t=0} t{print $NF}' | sort | tr '\n' ' ')"
  if [ "$exports" != "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]; then
    fail "$dll exports: $exports"
  fi
  imports="$("$objdump" -p "$dll" | awk '/DLL Name:/{print tolower($3)}' | sort | tr '\n' ' ')"
  case "$imports" in
    *libstdc++* | *libgcc* | *libwinpthread*) fail "$dll needs compiler runtime DLLs: $imports" ;;
  esac
  echo "$dll: exports ok, imports $imports"
}
check_dll "$build64/Kestle.dll" x86_64-w64-mingw32-objdump
check_dll "$build32/Kestle.dll" i686-w64-mingw32-objdump
i686-w64-mingw32-objdump -f "$build32/Kestle.dll" | grep -q 'file format pei-i386' ||
  fail "$build32/Kestle.dll is not an i386 DLL"

# The embedded type libraries: locale 0x0409, system kind Win32 for the
# i686 library (Win64 for the x86_64 one). MSFT header: lcid at byte 12,
# the system kind in the low bits of the flags at byte 20.
check_tlb() {  # check_tlb TLB SYSKIND
  local words
  read -r -a words <<<"$(od -A n -t x4 -j 12 -N 12 "$1")"
  [ "${words[0]}" = "00000409" ] || fail "$1: lcid ${words[0]}"
  [ $((0x${words[2]} & 0xf)) -eq "$2" ] || fail "$1: system kind of flags ${words[2]}"
}
check_tlb "$build32/src/component/com/kestle.tlb" 1
check_tlb "$build64/src/component/com/kestle.tlb" 3

# The message-box hook exists in the test build only.
strings -el "$build64/Kestle.dll" | grep -q KESTLE_MESSAGE_BOX_LOG &&
  fail "the production Kestle.dll contains the message-box test hook"
strings -el "$build64/test_build/Kestle.dll" | grep -q KESTLE_MESSAGE_BOX_LOG ||
  fail "the test build of Kestle.dll lacks the message-box hook"

# --- Wine ------------------------------------------------------------------
if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
else
  wine=wine
fi
wineserver=/usr/lib/wine/wineserver
command -v "$wineserver" >/dev/null 2>&1 || wineserver=wineserver

export WINEPREFIX="$build64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A fixed locale: Wine then gives the prefix the en-US regional settings.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
fi

winpath() { printf 'Z:%s' "$(realpath -m "$1" | sed 's|/|\\|g')"; }

work="$build64/wine-test-work"
rm -rf "$work"
mkdir -p "$work"
test_dll="$build64/test_build/Kestle.dll"

echo "--- C++ automation client"
set +e
"$wine" "$build64/kestle_wine_test.exe" "$(winpath "$test_dll")" \
  "$(winpath "$build64/src/component/com/dao_stub.tlb")" "$(winpath "$root")" \
  "$(winpath "$work")" 2>&1 | tr -d '\r' | tee "$work/client.out"
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then fail "automation client exit status $status"; fi
tail -n 1 "$work/client.out" | grep -Eq '^[0-9]+ passed, 0 failed$' || fail "automation client summary"

echo "--- C++ automation client, without DAO's type library registered"
mkdir -p "$work/without-dao"
set +e
"$wine" "$build64/kestle_wine_test.exe" --without-dao "$(winpath "$test_dll")" "$(winpath "$root")" \
  "$(winpath "$work/without-dao")" 2>&1 | tr -d '\r' | tee "$work/client-without-dao.out"
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then fail "automation client (without DAO) exit status $status"; fi
tail -n 1 "$work/client-without-dao.out" | grep -Eq '^[0-9]+ passed, 0 failed$' ||
  fail "automation client summary (without DAO)"

# run_vbs LABEL: the script test, its output in $work/vbs-LABEL.out.
run_vbs() {
  local label="$1" status
  set +e
  "$wine" cscript //nologo "$(winpath "$root/src/component/com/test/kestle_test.vbs")" \
    "$(winpath "$root/examples/canada_company.iif")" \
    "$(winpath "$root/examples/expected/canada_company.iif")" \
    "$(winpath "$work/vbs_out.iif")" "$(winpath "$work/missing.iif")" 2>&1 | tr -d '\r' |
    tee "$work/vbs-$label.out"
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 0 ]; then fail "cscript ($label) exit status $status"; fi
  grep -Eq '^vbscript: [0-9]+ passed, 0 failed$' "$work/vbs-$label.out" ||
    fail "VBScript summary ($label)"
}

echo "--- VBScript through cscript"
export KESTLE_MESSAGE_BOX_LOG="$(winpath "$work/vbs_boxes.log")"
"$wine" regsvr32 /s "$(winpath "$test_dll")" >/dev/null 2>&1 || fail "regsvr32"
stub="$(winpath "$build64/src/component/com/dao_stub.tlb")"
"$wine" "$build64/kestle_wine_test.exe" --fixture register "$stub" || fail "DAO stub registration"
run_vbs with-dao
# A host without DAO 3.5's type library registered (one on a later DAO):
# the Database parameters still work.
"$wine" "$build64/kestle_wine_test.exe" --fixture unregister "$stub" || fail "DAO stub removal"
run_vbs without-dao
"$wine" regsvr32 /u /s "$(winpath "$test_dll")" >/dev/null 2>&1 || fail "regsvr32 /u"
unset KESTLE_MESSAGE_BOX_LOG
box=$'16\tOrvanta Kestle ActiveX Component\t91: Object variable or With block variable not set'
[ "$(grep -cxF "$box" "$work/vbs_boxes.log" 2>/dev/null)" = 2 ] ||
  fail "VBScript: archiveNow(Nothing) message boxes"

echo "--- regsvr32 on the production library"
prod="$(winpath "$build64/Kestle.dll")"
"$wine" regsvr32 /s "$prod" >/dev/null 2>&1 || fail "regsvr32 of the production library"
"$wine" regsvr32 /u /s "$prod" >/dev/null 2>&1 || fail "regsvr32 /u of the production library"

"$wineserver" -w

if [ "$failures" -ne 0 ]; then
  echo "Windows tests: $failures failure(s)"
  exit 1
fi
echo "Windows tests passed"
