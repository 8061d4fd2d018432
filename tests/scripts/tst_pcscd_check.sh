#!/usr/bin/env bash
# scripts/run's question whether the machine's pcscd serves. Runs in the card
# tests' sandbox, whose pcscd answers here; a pcscd of another mount namespace
# must not count, even though its process is in plain sight.
set -u
source "$DRVP_SOURCE_DIR/scripts/pcscd-check.sh"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if [ "${1:-}" != elsewhere ]; then
  pcscd_serves || fail "the pcscd answering at this /run/pcscd does not count"
  exec unshare --mount --propagation private bash "$0" elsewhere
fi

mount -t tmpfs tmpfs /run/pcscd
grep -qx pcscd /proc/[0-9]*/comm 2>/dev/null || fail "the sandbox's pcscd is not visible from here"
pcscd_serves && fail "a pcscd of another mount namespace counts"

conf=$(mktemp -d)
pcscd_pid=
stop() {
  [ -z "$pcscd_pid" ] || kill -KILL "$pcscd_pid" 2>/dev/null
  wait
  rm -rf "$conf"
}
trap stop EXIT
# No reader at all is still a service.
pcscd --foreground -c "$conf" >/dev/null 2>&1 </dev/null &
pcscd_pid=$!
pcscd_wait 60 || fail "a pcscd without readers does not count"

# Killed, it leaves its socket file behind, with no one answering.
kill -KILL "$pcscd_pid"
wait "$pcscd_pid"
pcscd_pid=
[ -S /run/pcscd/pcscd.comm ] || fail "a killed pcscd left no socket file"
pcscd_serves && fail "a socket file without pcscd counts"
exit 0
