#!/usr/bin/env bash
# Builds Kestle.dll for Windows and tests both builds under Wine: the x86_64
# library under the host's 64-bit Wine, the i686 library under 32-bit Wine.
#
#   scripts/test-windows.sh
#
# 1. Checks the release zip's contents, both DLLs' exports (exactly the four
#    entry points and DllInstall, undecorated), that they need no runtime DLL
#    of the compiler, and their type libraries' locale and system kind.
# 2. For each bitness, runs the C++ automation client against the test build
#    of the library in a Wine prefix: registration (also through regsvr32),
#    type library, IDispatch and dual calls, the __stdcall convention of
#    every export and method, a call from another apartment, IIF
#    conversion, and the archive, backup and shipping jobs against a fake
#    DAO; then the behaviour checks again in a process without DAO's type
#    library registered; then a VBScript through cscript that converts a
#    file and calls the Archiver without a database (Wine's cscript reports
#    no script errors, so the script's own summary line is what counts);
#    registration for the current user only (regsvr32 /n /i:user: the
#    entries under HKCU\Software\Classes, none for the machine, all gone
#    after /u /n /i:user); and regsvr32 on the production library.
# 3. Prints the counts of both bitnesses; fails when anything failed.
#
# The kernel runs no 32-bit programs here, so 32-bit Wine runs in an i386
# chroot through qemu user-mode emulation (scripts/wine32.sh). It is set up
# on first use (five to twenty minutes) in ${KESTLE_CACHE_DIR:-/var/cache/kestle}
# and reused afterwards. When it cannot be had the run fails; it is never
# skipped.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build64="${KESTLE_BUILD_WIN64:-$root/build-win64}"
build32="${KESTLE_BUILD_WIN32:-$root/build-win32}"

"$root/scripts/build-windows.sh"
source "$root/scripts/wine32.sh"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# --- The release zip ---------------------------------------------------------
# Both bitnesses' DLL and type library, and the install note.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build64/CMakeCache.txt")"
release_zip="$(realpath -m "${KESTLE_RELEASE_DIR:-$root/out}")/Kestle-$version-windows.zip"
listed="$(python3 -c 'import sys, zipfile
print(" ".join(sorted(n.split("/", 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist()
                      if not n.endswith("/"))))' "$release_zip")" || listed="no zip"
[ "$listed" = "INSTALL.txt x64/Kestle.dll x64/Kestle.tlb x86/Kestle.dll x86/Kestle.tlb" ] ||
  fail "release zip $release_zip holds: $listed"

# --- Exports and imports -------------------------------------------------
check_dll() {  # check_dll DLL OBJDUMP
  local dll="$1" objdump="$2" exports imports
  exports="$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&NF==0{t=0} t{print $NF}' | sort | tr '\n' ' ')"
  if [ "$exports" != "DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer " ]; then
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
for build in "$build64" "$build32"; do
  strings -el "$build/Kestle.dll" | grep -q KESTLE_MESSAGE_BOX_LOG &&
    fail "the production $build/Kestle.dll contains the message-box test hook"
  strings -el "$build/test_build/Kestle.dll" | grep -q KESTLE_MESSAGE_BOX_LOG ||
    fail "the test build in $build lacks the message-box hook"
done

# --- The suite under Wine ---------------------------------------------------
# run_logged LOG CMD...: runs CMD with its output in LOG (carriage returns
# dropped), prints the log, and returns CMD's exit status. The output goes
# to a file rather than a pipe: Wine's service processes inherit it and, with
# a persistent wineserver, outlive CMD, so a pipe would never reach its end.
run_logged() {
  local log="$1" status=0
  shift
  "$@" >"$log.raw" 2>&1 || status=$?
  tr -d '\r' <"$log.raw" >"$log"
  rm -f "$log.raw"
  cat "$log"
  return "$status"
}

# run_suite LABEL BUILD PATHFN WINE...: runs the client, the script test and
# regsvr32 with the Wine command WINE... on the libraries in BUILD; PATHFN
# turns a host path into the Windows path that this Wine sees. Appends the
# counts to $summary.
summary=""
run_suite() {
  local label="$1" build="$2" path_of="$3"
  shift 3
  local wine=("$@") work="$build/wine-test-work" test_dll
  rm -rf "$work"
  mkdir -p "$work/without-dao"
  test_dll="$("$path_of" "$build/test_build/Kestle.dll")"
  local stub
  stub="$("$path_of" "$build/src/component/com/dao_stub.tlb")"

  echo "--- [$label] C++ automation client"
  run_logged "$work/client.out" "${wine[@]}" "$("$path_of" "$build/kestle_wine_test.exe")" \
    "$test_dll" "$stub" "$("$path_of" "$root")" "$("$path_of" "$work")" ||
    fail "[$label] automation client exit status $?"
  tail -n 1 "$work/client.out" | grep -Eq '^[0-9]+ passed, 0 failed$' ||
    fail "[$label] automation client summary"

  echo "--- [$label] C++ automation client, without DAO's type library registered"
  run_logged "$work/client-without-dao.out" "${wine[@]}" \
    "$("$path_of" "$build/kestle_wine_test.exe")" --without-dao "$test_dll" \
    "$("$path_of" "$root")" "$("$path_of" "$work/without-dao")" ||
    fail "[$label] automation client (without DAO) exit status $?"
  tail -n 1 "$work/client-without-dao.out" | grep -Eq '^[0-9]+ passed, 0 failed$' ||
    fail "[$label] automation client summary (without DAO)"

  # The test build's message boxes go to this log (in both Wines).
  local box_log
  box_log="$("$path_of" "$work/vbs_boxes.log")"
  export KESTLE_MESSAGE_BOX_LOG="$box_log"
  WINE32_ENV=("KESTLE_MESSAGE_BOX_LOG=$box_log")
  # run_vbs CASE: the script test, its output in $work/vbs-CASE.out.
  run_vbs() {
    run_logged "$work/vbs-$1.out" "${wine[@]}" cscript //nologo \
      "$("$path_of" "$root/src/component/com/test/kestle_test.vbs")" \
      "$("$path_of" "$root/examples/canada_company.iif")" \
      "$("$path_of" "$root/examples/expected/canada_company.iif")" \
      "$("$path_of" "$work/vbs_out.iif")" "$("$path_of" "$work/missing.iif")" ||
      fail "[$label] cscript ($1) exit status $?"
    grep -Eq '^vbscript: [0-9]+ passed, 0 failed$' "$work/vbs-$1.out" ||
      fail "[$label] VBScript summary ($1)"
  }
  echo "--- [$label] VBScript through cscript"
  "${wine[@]}" regsvr32 /s "$test_dll" >/dev/null 2>&1 || fail "[$label] regsvr32"
  "${wine[@]}" "$("$path_of" "$build/kestle_wine_test.exe")" --fixture register "$stub" ||
    fail "[$label] DAO stub registration"
  run_vbs with-dao
  # A host without DAO 3.5's type library registered (one on a later DAO):
  # the Database parameters still work.
  "${wine[@]}" "$("$path_of" "$build/kestle_wine_test.exe")" --fixture unregister "$stub" ||
    fail "[$label] DAO stub removal"
  run_vbs without-dao
  "${wine[@]}" regsvr32 /u /s "$test_dll" >/dev/null 2>&1 || fail "[$label] regsvr32 /u"

  unset KESTLE_MESSAGE_BOX_LOG
  WINE32_ENV=()
  local box=$'16\tOrvanta Kestle ActiveX Component\t91: Object variable or With block variable not set'
  [ "$(grep -cxF "$box" "$work/vbs_boxes.log" 2>/dev/null)" = 2 ] ||
    fail "[$label] VBScript: archiveNow(Nothing) message boxes"

  echo "--- [$label] registration for the current user only (regsvr32 /n /i:user)"
  # Wine's HKEY_CLASSES_ROOT is the machine's classes alone (Windows merges
  # the user's in), so objects cannot be created from this registration
  # here; the entries COM would read are checked instead.
  # user_value ROOT KEY: the default value of KEY under ROOT, empty if none.
  user_value() {
    "${wine[@]}" reg query "$1\\$2" /ve 2>/dev/null | tr -d '\r' |
      sed -n 's/^ *(Default) *REG_SZ *//p'
  }
  local user='HKCU\Software\Classes' machine='HKLM\Software\Classes' clsid
  "${wine[@]}" regsvr32 /s /n /i:user "$test_dll" >/dev/null 2>&1 ||
    fail "[$label] regsvr32 /n /i:user"
  clsid="$(user_value "$user" 'Kestle.ParseIIF\CLSID')"
  [ -n "$clsid" ] || fail "[$label] /i:user: no ProgID under $user"
  local server
  server="$(user_value "$user" "CLSID\\$clsid\\InprocServer32")"
  [ "${server,,}" = "${test_dll,,}" ] || fail "[$label] /i:user: InprocServer32 is '$server'"
  [ -z "$(user_value "$machine" 'Kestle.ParseIIF\CLSID')" ] ||
    fail "[$label] /i:user wrote the machine's classes"
  "${wine[@]}" regsvr32 /u /s /n /i:user "$test_dll" >/dev/null 2>&1 ||
    fail "[$label] regsvr32 /u /n /i:user"
  [ -z "$(user_value "$user" 'Kestle.ParseIIF\CLSID')$(user_value "$user" "CLSID\\$clsid")" ] ||
    fail "[$label] /u /n /i:user left the user's entries"

  echo "--- [$label] regsvr32 on the production library"
  local prod
  prod="$("$path_of" "$build/Kestle.dll")"
  "${wine[@]}" regsvr32 /s "$prod" >/dev/null 2>&1 || fail "[$label] regsvr32 of the production library"
  "${wine[@]}" regsvr32 /u /s "$prod" >/dev/null 2>&1 ||
    fail "[$label] regsvr32 /u of the production library"

  tally() { grep -Eo '[0-9]+ passed, [0-9]+ failed$' "$1" 2>/dev/null | tail -n 1 || echo "no summary"; }
  local line="$label: client $(tally "$work/client.out"), without DAO $(tally "$work/client-without-dao.out")"
  line+="; VBScript $(tally "$work/vbs-with-dao.out"), without DAO $(tally "$work/vbs-without-dao.out")"
  summary+="$line"$'\n'
}

# x86_64: the host's 64-bit Wine, with a prefix in the build tree.
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
run_suite x86_64 "$build64" winpath "$wine"
"$wineserver" -w

# i686: 32-bit Wine in the emulated i386 chroot. wine32_stop (also on an
# early exit) stops its wineserver, unmounts and removes the binfmt entry.
wine32_ready=0
on_exit() {
  local status=$?
  wine32_stop
  if [ "$status" -ne 0 ] && [ "$wine32_ready" = 0 ]; then
    echo "FAILED: [i686] no 32-bit Wine environment: the i686 library was not tested" >&2
  fi
}
trap on_exit EXIT
started=$SECONDS
echo "--- [i686] 32-bit Wine environment (${KESTLE_CACHE_DIR:-/var/cache/kestle}/wine32)"
wine32_start "$root" "$build32"
wine32_ready=1
echo "[i686] environment ready after $((SECONDS - started)) s"
run_suite i686 "$build32" wine32_path wine32_run wine
wine32_stop
echo "[i686] run took $((SECONDS - started)) s under emulation"

echo "--- Summary"
printf '%s' "$summary"
if [ "$failures" -ne 0 ]; then
  echo "Windows tests: $failures failure(s)"
  exit 1
fi
echo "Windows tests passed (x86_64 and i686)"
