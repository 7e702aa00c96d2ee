#!/usr/bin/env bash
# Cross-compiles Kestle.dll with mingw-w64 for x86_64 and i686 Windows.
#
#   scripts/build-windows.sh            # build-win64/Kestle.dll, build-win32/Kestle.dll
#
# The x86_64 tree also holds the Wine test client (kestle_wine_test.exe), the
# test build of the library (test_build/Kestle.dll, whose message boxes go to
# a log file) and the DAO stub type library used as a test fixture.
# Installs the Debian cross toolchain and Wine when they are missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build64="${KESTLE_BUILD_WIN64:-$root/build-win64}"
build32="${KESTLE_BUILD_WIN32:-$root/build-win32}"
jobs="${KESTLE_JOBS:-2}"

packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine64 wine)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

configure() {  # configure DIR TOOLCHAIN [cmake args...]
  local dir="$1" toolchain="$2"
  shift 2
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" "$@"
  else
    cmake -S "$root" -B "$dir" >/dev/null
  fi
}

configure "$build64" mingw-w64-x86_64.cmake
cmake --build "$build64" -j "$jobs" --target Kestle KestleTestBuild kestle_wine_test

configure "$build32" mingw-w64-i686.cmake -DKESTLE_WINE_TESTS=OFF
cmake --build "$build32" -j "$jobs" --target Kestle

echo "Built $build64/Kestle.dll and $build32/Kestle.dll"
