#!/usr/bin/env bash
# Runs inside an X server (xvfb-run): linux-gpib's user library, built from its source tarball
# (no kernel module needed), under the real viewer with no GPIB board configured. The start ends
# in the Connect dialog with the library's answer on its row, and --read says the same once on
# standard error with status 1. $1: the build folder; $2: the folder holding the tarball
# (SKELD_THIRDPARTY_DIR overrides it); $3: the preloaded watcher of the start's first window.
set -euo pipefail
build=$(readlink -f "$1")
thirdparty=${SKELD_THIRDPARTY_DIR:-$2}
watch=$(readlink -f "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

skip() {
  echo "SKIP: $*"
  exit 77
}
# A clean clone elsewhere finds the folder beside the checkout it was cloned from.
origin=$(git -C "$(dirname "$0")" remote get-url origin 2>/dev/null || true)
searched=$thirdparty
tarball=$(ls "$thirdparty"/linux-gpib-user-*.tar.xz 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$tarball" ] && [ -z "${SKELD_THIRDPARTY_DIR:-}" ] && [ -d "$origin" ]; then
  searched="$searched, $origin/../shared/thirdparty"
  tarball=$(ls "$origin"/../shared/thirdparty/linux-gpib-user-*.tar.xz 2>/dev/null | sort -V | tail -n 1 || true)
fi
[ -n "$tarball" ] || skip "no linux-gpib-user-*.tar.xz in $searched (set SKELD_THIRDPARTY_DIR)"
for tool in aclocal autoconf autoheader automake libtoolize flex bison make cc; do
  command -v "$tool" >/dev/null || skip "$tool is missing; scripts/install-deps.sh installs the autotools"
done
if ldconfig -p | grep -q 'libgpib\.so\.0'; then
  skip "a driver library libgpib.so.0 is installed here: the built one might not be the one loaded"
fi

# Built once per build folder and tarball.
name=$(basename "$tarball" .tar.xz)
cache="$build/thirdparty/$name"
lib="$cache/linux-gpib-user/lib/.libs"
if [ ! -e "$cache/built" ]; then
  echo "building $name in $cache"
  rm -rf "$cache" "$cache.tmp"
  mkdir -p "$cache.tmp"
  tar -xJf "$tarball" -C "$cache.tmp"
  if ! (cd "$cache.tmp/linux-gpib-user" && ./bootstrap && ./configure --disable-all-bindings \
    --disable-documentation && make -C include && make -C lib) >"$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log"
    echo "FAIL: linux-gpib did not build"
    exit 1
  fi
  mv "$cache.tmp" "$cache"
  touch "$cache/built"
fi

status=0
fail() {
  echo "FAIL: $*"
  status=1
}
exports=$(nm -D --defined-only "$lib/libgpib.so.0")
grep -qw ThreadIberr <<<"$exports" || fail "the library has no per-thread status calls"
if grep -qw RegisterGpibGlobalsForThread <<<"$exports"; then
  fail "the library registers status variables: its per-thread calls would not be used"
fi

unset SKELD_GPIB_INTERFACE QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$work/config"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
advice='Check the board'"'"'s entry in /etc/gpib.conf, that gpib_config has been run for it, and that its kernel module is loaded.'
# A configuration naming a board whose kernel driver is not there.
cat >"$work/gpib.conf" <<'EOF'
interface {
	minor = 0
	board_type = "ni_pci"
	pad = 0
	master = yes
}
EOF

# --read: what, the library folder, IB_CONFIG, the text after "could not be used: ".
read_case() {
  local what=$1 libdir=$2 config=$3 says=$4
  local out="$work/out" err="$work/err" code=0
  env -u DISPLAY LD_LIBRARY_PATH="$libdir" IB_CONFIG="$config" \
    "$build/skeld-errlog" --read >"$out" 2>"$err" || code=$?
  echo "--- $what: status $code"
  cat "$err"
  [ "$code" = 1 ] || fail "$what: --read ended with status $code, not 1"
  [ ! -s "$out" ] || fail "$what: --read wrote a log"
  [ "$(grep -c 'could not be used' "$err" || true)" = 1 ] || fail "$what: not told once"
  grep -qF "GPIB driver library could not be used: $says" "$err" || fail "$what: not \"$says\""
  [ "$(grep -c '^With a Prologix or AR488 adapter' "$err" || true)" = 1 ] || fail "$what: no advice"
  ! grep -q 'Initialization Error' "$err" || fail "$what: a second block, the initialization box"
}
answered="libgpib.so.0 answered"
read_case "no configuration" "$lib" "$work/absent.conf" "$answered EARG to the bus set-up"
grep -qF "$advice" "$work/err" || fail "no configuration: not what to check"
if [ -e /dev/gpib0 ]; then
  echo "(/dev/gpib0 is here: the case of a board without its kernel module is left out)"
else
  read_case "a board without its kernel module" "$lib" "$work/gpib.conf" "$answered EDVR to the bus set-up"
fi
mkdir "$work/none"
read_case "no library" "$work/none" "$work/absent.conf" \
  "libgpib.so.0: cannot open shared object file: No such file or directory"

# The window: the start's first window is the Connect dialog, its library row with the answer;
# cancelled, the program ends with status 1.
code=0
LD_LIBRARY_PATH="$lib" IB_CONFIG="$work/absent.conf" CONNECT_DIALOG_WATCH="$work/window" \
  LD_PRELOAD="$watch" timeout 60 "$build/skeld-errlog" 2>"$work/err" || code=$?
echo "--- window: status $code"
cat "$work/window" 2>/dev/null || fail "the start showed no window that waits for the user"
[ "$code" = 1 ] || fail "the window start ended with status $code, not 1"
[ "$(sed -n 1p "$work/window" 2>/dev/null)" = ConnectDialog ] || fail "the first window is not the Connect dialog"
note=$(sed -n '3,$p' "$work/window" 2>/dev/null | tr '\n' ' ')
grep -qF "$answered EARG to the bus set-up" <<<"$note" || fail "the library row does not name EARG"
grep -qF "$advice" <<<"$note" || fail "the library row does not say what to check"
exit $status
