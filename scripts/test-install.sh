#!/usr/bin/env bash
# Tests Kestle as it is installed and consumed:
# 1. installs the build tree (default build/, already built) into a
#    temporary prefix and builds examples/library_example.cc as an outside
#    project, once through find_package(Kestle) and once through pkg-config,
#    and runs both on a sample database made by the installed kestle; the
#    installed bash completion and man page cover the commands;
# 2. configures a library-only build with shared libraries (no CLI11, no
#    GoogleTest, no undefined symbols allowed), checks the sonames, installs
#    it and builds and runs the two consumers against it;
# 3. makes the Debian packages (cpack -G DEB), unpacks them into a scratch
#    root (dpkg -x), runs `kestle --version` from there, checks their
#    dependencies and builds the consumers against the unpacked -dev files.
#
#   scripts/test-install.sh [BUILD_DIR]
# Exits non-zero on the first failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
shared_build="${KESTLE_BUILD_SHARED:-$root/build-shared}"
jobs="${KESTLE_JOBS:-2}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# run_example LABEL PROGRAM [ENV...]: runs a consumer build of the example on
# a fresh sample database; it converts an IIF file and archives and backs up.
run_example() {
  local label="$1" program="$2" data="$work/data-$1"
  shift 2
  "$kestle" db sample "$data" >/dev/null
  env "$@" "$program" "$root/examples/canada_company.iif" "$data/out.iif" "$data/orders.db" \
    >"$data/run.out" || fail "[$label] example exit status $?: $(cat "$data/run.out")"
  grep -qx 'archiveNow: 1, backupNow: 1' "$data/run.out" || fail "[$label] $(cat "$data/run.out")"
  cmp -s "$data/out.iif" "$root/examples/expected/canada_company.iif" ||
    fail "[$label] converted IIF differs"
  echo "[$label] example ran"
}

# consumers LABEL PREFIX [ENV...]: builds the example against the Kestle
# installed in PREFIX with CMake and with pkg-config, and runs both.
consumers() {
  local label="$1" prefix="$2" dir="$work/consumer-$1"
  shift 2
  mkdir -p "$dir"
  # No C++ standard of its own: Kestle::core's usage requirements bring it.
  cat >"$dir/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(kestle_consumer CXX)
find_package(Kestle 1 REQUIRED)
add_executable(library_example "$root/examples/library_example.cc")
target_link_libraries(library_example PRIVATE Kestle::core Kestle::sqlite)
EOF
  cmake -S "$dir" -B "$dir/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null ||
    fail "[$label] find_package(Kestle)"
  cmake --build "$dir/build" >/dev/null || fail "[$label] CMake consumer build"
  run_example "$label cmake" "$dir/build/library_example" "$@"

  local pc_path flags
  pc_path="$(dirname "$(find "$prefix" -name kestle.pc | head -n 1)")"
  flags="$(PKG_CONFIG_PATH="$pc_path" pkg-config --cflags --libs kestle)" ||
    fail "[$label] pkg-config kestle"
  # shellcheck disable=SC2086 # the flags are words
  g++ -std=c++20 -o "$dir/library_example_pc" "$root/examples/library_example.cc" $flags ||
    fail "[$label] pkg-config consumer build"
  run_example "$label pkg-config" "$dir/library_example_pc" "$@"
}

# --- 1. The build tree, installed ---------------------------------------------
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
kestle="$prefix/bin/kestle"
"$kestle" --version | grep -q '^kestle [0-9]' || fail "installed kestle --version"
consumers static "$prefix"

# completes WORDS... EXPECTED: the completion of the last word offers EXPECTED.
completes() {
  local expected="${*: -1}" offered
  offered="$(cd "$work" && bash -c 'source "$0"; COMP_WORDS=("${@}"); COMP_CWORD=$(($# - 1))
    _kestle; printf "%s\n" "${COMPREPLY[@]}"' \
    "$prefix/share/bash-completion/completions/kestle" "${@:1:$#-1}")"
  grep -qxF -- "$expected" <<<"$offered" || fail "completion of '${*:1:$#-1}': $offered"
}
completes kestle "" db
completes kestle db s sql
completes kestle archive --dry --dry-run
completes kestle help ar archive
MANWIDTH=100 man -l "$prefix/share/man/man1/kestle.1" 2>/dev/null | grep -q 'kestle db sql' ||
  fail "man page lacks the db sql command"
echo "[static] completion and man page"

# --- 2. Library only, shared ----------------------------------------------------
cmake -S "$root" -B "$shared_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_SHARED_LIBS=ON -DKESTLE_BUILD_CLI=OFF -DKESTLE_BUILD_TESTS=OFF -DKESTLE_BENCH=OFF \
  -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-undefined >/dev/null
cmake --build "$shared_build" -j "$jobs" >/dev/null || fail "shared library build"
grep -q "^CLI11_INCLUDE_DIR" "$shared_build/CMakeCache.txt" && fail "library-only configure looked for CLI11"
grep -q "^GTest_DIR" "$shared_build/CMakeCache.txt" && fail "library-only configure looked for GoogleTest"
shared_prefix="$work/shared-prefix"
cmake --install "$shared_build" --prefix "$shared_prefix" >/dev/null
for lib in "$shared_prefix"/lib/libkestle_*.so; do
  soname="$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
  [[ "$soname" =~ ^libkestle_[a-z]+\.so\.[0-9]+$ && -e "$shared_prefix/lib/$soname" ]] ||
    fail "$lib: soname '$soname'"
done
[ -e "$shared_prefix/bin/kestle" ] && fail "library-only install has the tool"
consumers shared "$shared_prefix" LD_LIBRARY_PATH="$shared_prefix/lib"

# --- 3. Debian packages -------------------------------------------------------
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack -G DEB"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$build/kestle_${version}_amd64.deb"
dev_deb="$build/kestle-dev_${version}_amd64.deb"
[ -f "$deb" ] && [ -f "$dev_deb" ] || fail "packages missing: $(ls "$build"/*.deb)"
deb_root="$work/deb-root"
dpkg -x "$deb" "$deb_root"
dpkg -x "$dev_deb" "$deb_root"
"$deb_root/usr/bin/kestle" --version | grep -q '^kestle [0-9]' || fail ".deb kestle --version"
for f in usr/share/man/man1/kestle.1 usr/share/bash-completion/completions/kestle; do
  [ -f "$deb_root/$f" ] || fail ".deb lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q 'libsqlite3-0' || fail ".deb depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$dev_deb" Depends | grep -q 'libsqlite3-dev' || fail "-dev .deb depends"
consumers deb "$deb_root/usr"

echo "install tests passed"
