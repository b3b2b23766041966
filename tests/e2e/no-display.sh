#!/usr/bin/env bash
# The window path with no display at all ends at once with one line that points to --read,
# instead of the platform plugin's abort. $1: the viewer.
set -euo pipefail
err=$(mktemp)
trap 'rm -f "$err"' EXIT
start=$(date +%s%N)
rc=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$1" >/dev/null 2>"$err" || rc=$?
ms=$((($(date +%s%N) - start) / 1000000))
echo "status $rc after $ms ms: $(cat "$err")"
status=0
[ "$rc" = 1 ] || { echo "FAIL: status $rc, not 1"; status=1; }
[ "$(wc -l <"$err")" = 1 ] || { echo "FAIL: not one line on standard error"; status=1; }
grep -q -- '--read' "$err" || { echo "FAIL: the line does not point to --read"; status=1; }
((ms < 2000)) || { echo "FAIL: took $ms ms"; status=1; }
exit $status
