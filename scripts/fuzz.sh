#!/usr/bin/env bash
# Builds the IIF conversion fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it.
#
# Usage: scripts/fuzz.sh [SECONDS]   (default 30)
# The build goes to build-fuzz/; the corpus, seeded from examples/*.iif, is
# kept in build-fuzz/corpus between runs. Exits non-zero when the fuzzer
# finds a crash or a broken invariant (the input is saved in build-fuzz/).
set -euo pipefail

seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-fuzz"

# clang and its libFuzzer runtime, installed only when absent.
if ! command -v clang++ >/dev/null ||
   ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  echo "fuzz.sh: installing clang and libclang-rt-14-dev"
  apt-get update -qq
  apt-get install -y --no-install-recommends clang libclang-rt-14-dev
fi

sources=(
  "$root/fuzz/iif_fuzzer.cc"
  "$root/src/component/parse_iif.cc"
)
# The byte scans of this machine's processor (as CMakeLists.txt picks them).
other_scan=x86
[ "$(uname -m)" = x86_64 ] && other_scan=swar
for f in "$root"/src/iif/*.cc "$root"/src/platform/*.cc; do
  case "$f" in
    *_test.cc | */fake_env.cc | *_windows.cc | *_"$other_scan".cc) ;;
    *) sources+=("$f") ;;
  esac
done

mkdir -p "$out/corpus"
echo "fuzz.sh: building $out/iif_fuzzer"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" "${sources[@]}" -o "$out/iif_fuzzer"

cp -n "$root"/examples/*.iif "$out/corpus/" 2>/dev/null || true
cd "$out"
echo "fuzz.sh: running for ${seconds}s"
./iif_fuzzer -max_total_time="$seconds" -dict="$root/fuzz/iif.dict" -max_len=8192 \
  -print_final_stats=1 corpus
