#!/usr/bin/env bash
# Builds the Debian package and checks it: lintian, desktop-file-validate and appstreamcli on
# its files; then installs it with apt-get, starts the installed demo under Xvfb until it has
# read the whole simulated log, and removes the package again, whatever happened.
set -euo pipefail
cd "$(dirname "$0")/.."
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
apt_get() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }

if dpkg-query -W -f='${Status}' skeld-errlog 2>/dev/null | grep -q "install ok installed"; then
  echo "skeld-errlog is installed already; this test installs and removes it, so remove it first." >&2
  exit 1
fi

bash scripts/package.sh
debs=(build-package/skeld-errlog_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "expected one package, found: ${debs[*]}" >&2; exit 1; }
work=$(mktemp -d)
chmod 755 "$work"
cp "${debs[0]}" "$work/"
deb="$work/$(basename "${debs[0]}")"
chmod 644 "$deb"
installed=""
cleanup() {
  [ -z "$installed" ] || apt_get purge -y -q skeld-errlog >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

status=0
step() {
  echo "== $*"
  "$@" || { echo "FAIL: $*"; status=1; }
}
silent() { # passes only when the command succeeds and prints nothing
  local out
  out=$("$@" 2>&1) && [ -z "$out" ] || { printf '%s\n' "$out"; return 1; }
}
no_warnings() { # passes only when the command succeeds and reports no error or warning line
  local out rc=0
  out=$("$@" 2>&1) || rc=$?
  printf '%s\n' "$out"
  [ $rc -eq 0 ] && ! grep -q '^[EW]:' <<<"$out"
}

dpkg-deb -f "$deb"
dpkg-deb -c "$deb"
# lintian advises against running as root.
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(runuser -u nobody --)
step "${as_user[@]}" lintian --fail-on error,warning --display-info "$deb"
dpkg-deb -x "$deb" "$work/root"
for f in "$work"/root/usr/share/applications/*.desktop; do step silent desktop-file-validate "$f"; done
for f in "$work"/root/usr/share/metainfo/*.xml; do step no_warnings appstreamcli validate --no-net "$f"; done
step bash scripts/check-udev-rule.sh "$work/root/usr/lib/udev/rules.d/60-skeld-errlog-usbtmc.rules"
for f in "$work"/root/usr/share/icons/hicolor/scalable/apps/*.svg; do
  step rsvg-convert -w 16 -h 16 -o "$work/icon-16.png" "$f"
done

echo "== apt-get install $deb"
installed=yes
apt_get install -y -q "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }

# The simulated driver must not be where the loader looks by itself.
sim_lib=$(dpkg -L skeld-errlog | grep '/libgpib\.so\.0$')
loader_dirs=$(ldconfig -v -N 2>/dev/null | grep -v '^[[:space:]]' | cut -d: -f1)
echo "== simulated driver at $sim_lib"
if grep -qxF "$(dirname "$sim_lib")" <<<"$loader_dirs"; then
  echo "FAIL: $(dirname "$sim_lib") is searched by the loader"
  status=1
fi

step xvfb-run -a bash scripts/check-demo.sh "$work/trace.txt"
step xvfb-run -a bash scripts/check-demo.sh "$work/trace-prologix.txt" --adapter prologix
step xvfb-run -a bash scripts/check-demo.sh "$work/trace-prologix-tcp.txt" --adapter prologix-tcp
step xvfb-run -a bash scripts/check-demo.sh "$work/trace-rs232.txt" --adapter rs232
step bash scripts/check-demo-stays-simulated.sh
exit $status
