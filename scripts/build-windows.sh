#!/usr/bin/env bash
# Cross-compiles Kestle.dll with mingw-w64 for x86_64 and i686 Windows.
#
#   scripts/build-windows.sh            # build-win64/Kestle.dll, build-win32/Kestle.dll
#
# It then packs the release zip, out/Kestle-VERSION-windows.zip: x64\ and x86\
# with each bitness's Kestle.dll and Kestle.tlb, and the install note
# INSTALL.txt (regsvr32 for each bitness, per machine and per user).
#
# Each tree also holds the Wine test client (kestle_wine_test.exe), the test
# build of the library (test_build/Kestle.dll, whose message boxes go to a
# log file) and the DAO stub type library used as a test fixture.
# Installs the Debian cross toolchain and Wine when they are missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build64="${KESTLE_BUILD_WIN64:-$root/build-win64}"
build32="${KESTLE_BUILD_WIN32:-$root/build-win32}"
jobs="${KESTLE_JOBS:-2}"

source "$root/scripts/lib.sh"
ensure_packages "${WINDOWS_PACKAGES[@]}"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

configure() {  # configure DIR TOOLCHAIN
  local dir="$1" toolchain="$2"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" -DKESTLE_WINE_TESTS=ON
  else
    # A tree configured before the i686 tests existed has them switched off.
    cmake -S "$root" -B "$dir" -DKESTLE_WINE_TESTS=ON >/dev/null
  fi
}

for tree in "$build64:mingw-w64-x86_64.cmake" "$build32:mingw-w64-i686.cmake"; do
  configure "${tree%%:*}" "${tree#*:}"
  cmake --build "${tree%%:*}" -j "$jobs" --target Kestle KestleTestBuild kestle_wine_test
done

echo "Built $build64/Kestle.dll and $build32/Kestle.dll"

# The release zip, packed with Python's zipfile (Python is a build tool here
# already). The note gets Windows line ends.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build64/CMakeCache.txt")"
out="$(realpath -m "${KESTLE_RELEASE_DIR:-$root/out}")"
stage="$(mktemp -d)"
release="$stage/Kestle-$version-windows"
for tree in "x64:$build64" "x86:$build32"; do
  mkdir -p "$release/${tree%%:*}"
  cp "${tree#*:}/Kestle.dll" "$release/${tree%%:*}/Kestle.dll"
  cp "${tree#*:}/src/component/com/kestle.tlb" "$release/${tree%%:*}/Kestle.tlb"
done
sed 's/$/\r/' "$root/src/component/com/INSTALL.txt" >"$release/INSTALL.txt"
mkdir -p "$out"
rm -f "$out/Kestle-$version-windows.zip"
(cd "$stage" && python3 -m zipfile -c "$out/Kestle-$version-windows.zip" "Kestle-$version-windows")
rm -rf "$stage"
echo "Packed $out/Kestle-$version-windows.zip"
