#!/usr/bin/env bash
# Runs inside an X server (xvfb-run): starts the installed skeld-errlog-demo (with the options
# after $1) with the bus trace written to $1 and checks that the viewer reads the whole
# simulated log, within 60 s.
set -euo pipefail
trace=$1
shift
: >"$trace"
# The demo must leave the interface the viewer remembers alone.
config=$(mktemp -d)
GPIBSIM_TRACE="$trace" XDG_CONFIG_HOME="$config" skeld-errlog-demo "$@" &
viewer=$!
trap 'kill "$viewer" 2>/dev/null || true; rm -rf "$config"' EXIT

# The log ends with an empty item: a reply of two double quotes and a line feed.
end_item='"\"\"\n" ibsta='
for _ in $(seq 600); do
  grep -qF "$end_item" "$trace" && break
  kill -0 "$viewer" 2>/dev/null || break
  sleep 0.1
done

status=0
fail() {
  echo "FAIL: $*"
  status=1
}
kill -0 "$viewer" 2>/dev/null || fail "the viewer ended early"
title=$(xdotool search --pid "$viewer" --name 'Connected to TDS' getwindowname 2>/dev/null || true)
[ -n "$title" ] || fail "no window titled 'Connected to TDS ...'"
echo "window: $title"
echo "commands written:"
{ grep '^ibwrt ' "$trace" || true; } | sed 's/^/  /'
# Every ERRLOG:NEXT? but the last brings one entry; ERRLOG? brings the first.
queries=$(grep -c '^ibwrt .*"ERRLOG:NEXT?"' "$trace" || true)
entries=$(grep -c '^ibrd .* "\\"[^\\]' "$trace" || true)
echo "ERRLOG:NEXT? queries: $queries, entries read: $entries"
if ! grep -qF "$end_item" "$trace"; then
  fail "the end of the log was not read (waited up to 60 s)"
elif [ "$(grep '^ibrd ' "$trace" | tail -n 1 | grep -cF "$end_item")" != 1 ]; then
  fail "reading went on after the end item"
fi
((queries > 0 && queries == entries)) || fail "the log was not read entry by entry to its end"
[ -z "$(ls -A "$config")" ] || fail "the demo wrote settings: $(find "$config" -type f)"
exit $status
