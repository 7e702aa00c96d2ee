#!/usr/bin/env bash
# Builds Kestle and runs every test: the portable build's tests, the install
# and package tests (scripts/test-install.sh), the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short fuzzing run of the
# IIF converter, and the Windows DLL's tests under Wine. Installs missing
# Debian packages first. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_packages "${CORE_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

echo "== build (RelWithDebInfo) and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(jobs)"
ctest --test-dir build --output-on-failure -j"$(jobs)"

echo "== install, consumers of the installed library, Debian packages"
scripts/test-install.sh build

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTLE_SANITIZE=ON \
  -DKESTLE_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(jobs)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(jobs)"

echo "== fuzz smoke run of the IIF converter"
scripts/fuzz.sh "${KESTLE_FUZZ_SECONDS:-30}"

echo "== Windows DLL (x86_64 under 64-bit Wine, i686 under emulated 32-bit Wine)"
scripts/test-windows.sh

echo "== all tests passed"
