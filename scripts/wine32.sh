#!/usr/bin/env bash
# 32-bit Wine on a 64-bit Linux machine whose kernel runs no 32-bit programs:
# an i386 Debian chroot with Wine 8.0, whose programs run through qemu-i386
# user-mode emulation registered with binfmt_misc.
#
#   scripts/wine32.sh setup          # creates the environment when missing
#   scripts/wine32.sh run CMD [ARG]  # runs CMD in it, e.g. `run wine cmd /c ver`, with
#                                    # the current folder at /mnt/kestle/src
#
# test-windows.sh sources this file and uses wine32_start, wine32_run and
# wine32_stop. Everything lives in a cache folder outside the checkout,
# ${KESTLE_CACHE_DIR:-/var/cache/kestle}/wine32, built once (five to twenty
# minutes with the machine's load, 1.5 GB) and reused afterwards:
#   qemu-i386  qemu 10 from bookworm-backports (bookworm's qemu 7.2 spends
#              most of a minute in its mmap search for every Wine process)
#   root/      the chroot, with the Wine prefix (WINEARCH=win32) in
#              /opt/kestle/prefix; complete once root/.kestle-complete exists
#   lock       held while the environment is built or used, so that runs
#              from several checkouts take turns
# The host's apt and dpkg configuration are never changed: qemu is taken out
# of its package with apt options private to one download, and the i386
# packages are installed inside the chroot only. The binfmt_misc entry and
# the mounts made for a run are removed when it ends. Needs root.
#
# Settings: KESTLE_CACHE_DIR, KESTLE_DEBIAN_MIRROR (http://deb.debian.org/debian).

wine32_cache="${KESTLE_CACHE_DIR:-/var/cache/kestle}/wine32"
wine32_root="$wine32_cache/root"
wine32_qemu="$wine32_cache/qemu-i386"
wine32_mirror="${KESTLE_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
# Changing how the chroot is made: bump this, and the next run rebuilds it.
wine32_recipe="bookworm i386 minbase, wine wine32, win32 prefix, 1"
wine32_binfmt_dir=/proc/sys/fs/binfmt_misc
wine32_binfmt_name=kestle-qemu-i386
# Where the source tree and a build folder appear inside the chroot.
wine32_src_mount=/mnt/kestle/src
wine32_build_mount=/mnt/kestle/build

# Extra NAME=VALUE settings for the programs run in the chroot.
WINE32_ENV=()
# The folders mounted into the chroot (set by wine32_start).
wine32_src_host=""
wine32_build_host=""

wine32_added_binfmt=0
wine32_mounted_binfmt=0
wine32_started=0

# wine32_die MESSAGE: says loudly why 32-bit Wine cannot be had; returns 1.
wine32_die() {
  {
    echo "=================================================================="
    echo "32-bit Wine environment unavailable: $*"
    echo "The i686 Kestle.dll cannot be tested without it."
    echo "=================================================================="
  } >&2
  return 1
}

# wine32_fetch_qemu: puts qemu-i386 10.x from bookworm-backports into the
# cache, downloading qemu-user with apt options that use private lists,
# caches and sources, and extracting the one (static) binary.
wine32_fetch_qemu() {
  if [ -x "$wine32_qemu" ] && "$wine32_qemu" --version | grep -q 'version 10\.'; then
    return 0
  fi
  local tmp
  tmp="$(mktemp -d)"
  mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/parts"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $wine32_mirror" \
    "bookworm-backports main" >"$tmp/sources.list"
  local apt_opts=(-q -o "Dir::Etc::SourceList=$tmp/sources.list" -o "Dir::Etc::SourceParts=$tmp/parts"
    -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache=$tmp/cache" -o Debug::NoLocking=true
    -o APT::Sandbox::User=root)
  echo "== wine32: downloading qemu-user from bookworm-backports"
  if ! apt-get "${apt_opts[@]}" update >"$tmp/apt.log" 2>&1 ||
    ! (cd "$tmp" && apt-get "${apt_opts[@]}" download qemu-user/bookworm-backports) \
      >>"$tmp/apt.log" 2>&1; then
    cat "$tmp/apt.log" >&2
    rm -rf "$tmp"
    wine32_die "cannot download qemu-user from bookworm-backports ($wine32_mirror)"
    return 1
  fi
  mkdir -p "$wine32_cache"
  dpkg-deb --fsys-tarfile "$tmp"/qemu-user_*.deb | tar -x -C "$tmp" ./usr/bin/qemu-i386
  mv "$tmp/usr/bin/qemu-i386" "$wine32_qemu.new"
  mv "$wine32_qemu.new" "$wine32_qemu"
  rm -rf "$tmp"
  "$wine32_qemu" --version | grep -q 'version 10\.' ||
    wine32_die "$wine32_qemu is not qemu 10.x"
}

# wine32_binfmt: registers qemu-i386 as the interpreter of i386 ELF programs
# (flags P: keep argv[0]; F: the interpreter is opened now, so it also
# serves inside the chroot). Reuses a registration of this same binary.
wine32_binfmt() {
  if [ ! -e "$wine32_binfmt_dir/register" ]; then
    mount -t binfmt_misc binfmt_misc "$wine32_binfmt_dir" 2>/dev/null ||
      {
        wine32_die "binfmt_misc is not available (cannot mount $wine32_binfmt_dir)"
        return 1
      }
    wine32_mounted_binfmt=1
  fi
  local entry="$wine32_binfmt_dir/$wine32_binfmt_name"
  if [ -e "$entry" ]; then
    if grep -qx "interpreter $wine32_qemu" "$entry" && grep -qx enabled "$entry"; then
      return 0
    fi
    echo -1 >"$entry"
  fi
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":$wine32_binfmt_name:M::$magic:$mask:$wine32_qemu:PF" >"$wine32_binfmt_dir/register" ||
    {
      wine32_die "cannot register qemu-i386 with binfmt_misc"
      return 1
    }
  wine32_added_binfmt=1
}

# wine32_unbinfmt: removes what wine32_binfmt added.
wine32_unbinfmt() {
  if [ "$wine32_added_binfmt" = 1 ] && [ -e "$wine32_binfmt_dir/$wine32_binfmt_name" ]; then
    echo -1 >"$wine32_binfmt_dir/$wine32_binfmt_name" || true
  fi
  wine32_added_binfmt=0
  if [ "$wine32_mounted_binfmt" = 1 ]; then
    umount "$wine32_binfmt_dir" 2>/dev/null || true
  fi
  wine32_mounted_binfmt=0
}

# wine32_unmount_all DIR: unmounts everything mounted below DIR, innermost
# first.
wine32_unmount_all() {
  local dir mounts m
  dir="$(realpath -m "$1")"
  mapfile -t mounts < <(awk -v d="$dir" '$5 == d || index($5, d "/") == 1 {print $5}' \
    /proc/self/mountinfo | sort -r)
  for m in "${mounts[@]}"; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
  done
}

# wine32_mount_system DIR: mounts proc, sys and /dev into the chroot DIR.
wine32_mount_system() {
  local dir="$1"
  mountpoint -q "$dir/proc" || mount -t proc proc "$dir/proc"
  mountpoint -q "$dir/sys" || mount -t sysfs sysfs "$dir/sys"
  if ! mountpoint -q "$dir/dev"; then
    mount --rbind /dev "$dir/dev"
    mount --make-rslave "$dir/dev"
  fi
}

# wine32_chroot DIR CMD...: runs CMD in the chroot DIR with a clean
# environment (plus the Wine settings and what WINE32_ENV holds).
wine32_chroot() {
  local dir="$1"
  shift
  chroot "$dir" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    WINEARCH=win32 WINEPREFIX=/opt/kestle/prefix WINEDEBUG=-all \
    "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d" \
    "${WINE32_ENV[@]}" "$@"
}

# wine32_build_root: makes the chroot in a scratch folder and moves it into
# place once complete. The scratch folder keeps its finished stages (the
# base system, Wine), so that an interrupted set-up resumes after them.
wine32_build_root() {
  local tmp="$wine32_cache/root.partial"
  wine32_unmount_all "$tmp"
  if [ ! -f "$tmp/.kestle-base" ]; then
    rm -rf "$tmp"
    command -v debootstrap >/dev/null ||
      {
        wine32_die "debootstrap is not installed"
        return 1
      }
    echo "== wine32: debootstrap of an i386 bookworm into $tmp (a few minutes)"
    if ! debootstrap --arch=i386 --variant=minbase bookworm "$tmp" "$wine32_mirror" \
      >"$wine32_cache/debootstrap.log" 2>&1; then
      tail -n 20 "$wine32_cache/debootstrap.log" >&2
      wine32_unmount_all "$tmp"
      wine32_die "debootstrap failed (log: $wine32_cache/debootstrap.log)"
      return 1
    fi
    # Only the release itself: the i386 security index has failed its size
    # check on the mirror before, and the tests need no security updates.
    echo "deb $wine32_mirror bookworm main" >"$tmp/etc/apt/sources.list"
    touch "$tmp/.kestle-base"
  fi
  cp -L /etc/resolv.conf "$tmp/etc/resolv.conf" 2>/dev/null || true
  wine32_mount_system "$tmp"
  local ok=1
  if [ ! -f "$tmp/.kestle-wine" ]; then
    echo "== wine32: installing wine and wine32 in the chroot"
    {
      wine32_chroot "$tmp" apt-get -q update &&
        wine32_chroot "$tmp" apt-get -q install -y --no-install-recommends wine wine32 &&
        wine32_chroot "$tmp" apt-get clean
    } >"$wine32_cache/apt.log" 2>&1 && touch "$tmp/.kestle-wine" || ok=0
  fi
  if [ "$ok" = 1 ]; then
    echo "== wine32: creating the Wine prefix"
    mkdir -p "$tmp/opt/kestle"
    wine32_chroot "$tmp" wine wineboot -i >"$wine32_cache/wineboot.log" 2>&1 &&
      wine32_chroot "$tmp" wineserver -w || ok=0
  fi
  wine32_unmount_all "$tmp"
  if [ "$ok" != 1 ]; then
    tail -n 20 "$wine32_cache/apt.log" "$wine32_cache/wineboot.log" >&2
    wine32_die "installing Wine in the chroot failed (logs in $wine32_cache)"
    return 1
  fi
  echo "$wine32_recipe" >"$tmp/.kestle-complete"
  rm -rf "$wine32_root"
  mv "$tmp" "$wine32_root"
}

# wine32_lock: takes the cache's lock (fd 9), waiting for another run.
wine32_lock() {
  mkdir -p "$wine32_cache"
  exec 9>"$wine32_cache/lock"
  if ! flock -n 9; then
    echo "== wine32: waiting for another run to release $wine32_cache/lock"
    flock 9
  fi
}

# wine32_setup: creates whatever of the environment is missing. Expects the
# lock held; registers binfmt (wine32_unbinfmt undoes it).
wine32_setup() {
  [ "$(id -u)" -eq 0 ] || {
    wine32_die "needs root (binfmt_misc, mounts, chroot)"
    return 1
  }
  wine32_fetch_qemu || return 1
  wine32_binfmt || return 1
  if [ "$(cat "$wine32_root/.kestle-complete" 2>/dev/null)" != "$wine32_recipe" ]; then
    wine32_build_root || return 1
  fi
}

# wine32_start SRC BUILD: sets the environment up (when missing), mounts
# the source tree SRC and the build folder BUILD into the chroot, and starts
# a wineserver that stays up until wine32_stop, so that each Wine program
# of the run starts without waiting for a server.
wine32_start() {
  wine32_src_host="$(realpath "$1")"
  wine32_build_host="$(realpath "$2")"
  wine32_lock
  wine32_started=1
  wine32_setup || return 1
  wine32_unmount_all "$wine32_root"
  wine32_mount_system "$wine32_root"
  mkdir -p "$wine32_root$wine32_src_mount" "$wine32_root$wine32_build_mount"
  mount --bind "$1" "$wine32_root$wine32_src_mount"
  mount --bind "$2" "$wine32_root$wine32_build_mount"
  wine32_chroot "$wine32_root" wineserver -p ||
    {
      wine32_die "the chroot's wineserver does not start"
      return 1
    }
}

# wine32_run CMD...: runs CMD in the started environment.
wine32_run() {
  wine32_chroot "$wine32_root" "$@"
}

# wine32_path PATH: the Windows path, inside the chroot, of PATH below the
# source tree or the build folder given to wine32_start.
wine32_path() {
  local p
  p="$(realpath -m "$1")"
  case "$p" in
    "$wine32_build_host"/* | "$wine32_build_host") p="$wine32_build_mount${p#"$wine32_build_host"}" ;;
    "$wine32_src_host"/* | "$wine32_src_host") p="$wine32_src_mount${p#"$wine32_src_host"}" ;;
  esac
  printf 'Z:%s' "$(printf '%s' "$p" | sed 's|/|\\|g')"
}

# wine32_stop: stops the wineserver, unmounts, removes the binfmt entry and
# releases the lock. Safe to call more than once, and after a failed start.
wine32_stop() {
  [ "$wine32_started" = 1 ] || return 0
  if [ -x "$wine32_root/usr/bin/wineserver" ] && mountpoint -q "$wine32_root/proc"; then
    wine32_chroot "$wine32_root" wineserver -k >/dev/null 2>&1 || true
    wine32_chroot "$wine32_root" wineserver -w >/dev/null 2>&1 || true
  fi
  wine32_unmount_all "$wine32_root"
  wine32_unmount_all "$wine32_cache/root.partial"
  wine32_unbinfmt
  flock -u 9 2>/dev/null || true
  wine32_started=0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  trap wine32_stop EXIT
  case "${1:-}" in
    setup)
      wine32_lock
      wine32_started=1
      wine32_setup
      echo "32-bit Wine environment ready in $wine32_cache"
      ;;
    run)
      shift
      wine32_start "$(pwd)" "$(pwd)"
      wine32_run "$@"
      ;;
    *)
      echo "usage: $0 setup | run CMD [ARG...]" >&2
      exit 2
      ;;
  esac
fi
