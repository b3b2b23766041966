#!/usr/bin/env bash
# Runs a command in a private network and mount namespace of its own: loopback up, /run a fresh
# tmpfs, Debian's rpcbind serving port 111 there. Nothing reaches the machine's portmapper or
# any other host. Exits 77 (skipped) with the reason where namespaces are not allowed.
# Usage: lan-namespace.sh COMMAND [ARGS...]
set -euo pipefail
if [ "${SKELD_LAN_NAMESPACE-}" != inside ]; then
  command -v rpcbind >/dev/null || { echo "skipped: rpcbind is not installed"; exit 77; }
  enter=(unshare -n -m)
  [ "$(id -u)" -eq 0 ] || enter=(unshare -r -n -m)
  if ! "${enter[@]}" bash -c 'mount -t tmpfs tmpfs /run && ip link set lo up' 2>/dev/null; then
    echo "skipped: private network namespaces are not allowed here (${enter[*]} with a /run of its own failed)"
    exit 77
  fi
  exec env SKELD_LAN_NAMESPACE=inside "${enter[@]}" bash "$0" "$@"
fi
mount -t tmpfs tmpfs /run
ip link set lo up 2>/dev/null || ifconfig lo up
rpcbind -f -w &
portmapper=$!
trap 'kill $portmapper 2>/dev/null || true; wait $portmapper 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break
  sleep 0.05
done
"$@"
