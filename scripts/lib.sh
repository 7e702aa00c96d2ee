# Shared shell helpers of the Kestle scripts (sourced, not run).

# ensure_packages PKG...: installs the Debian packages that are missing, with
# one `apt-get update` first. Does nothing when all are installed.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The packages the portable build (nlohmann-json3-dev for db sql's JSON), its
# tests and benchmarks (sqlite3, the shell db sql is measured beside) need, and the
# man page (help2man), the install tests (pkgconf, man-db) and the Debian
# packages (dpkg-dev's dpkg-shlibdeps, file).
CORE_PACKAGES=(cmake ninja-build g++ make libsqlite3-dev libcli11-dev libgtest-dev libgmock-dev
  libbenchmark-dev nlohmann-json3-dev sqlite3 python3 time help2man pkgconf man-db dpkg-dev file)
# libFuzzer and the sanitizer runtimes for clang.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The Windows cross toolchain, Wine to test the DLL, and debootstrap for the
# i386 chroot in which 32-bit Wine runs (scripts/wine32.sh).
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine64 wine python3
  debootstrap)

# jobs: how many compile jobs to run.
jobs() { nproc 2>/dev/null || echo 2; }
