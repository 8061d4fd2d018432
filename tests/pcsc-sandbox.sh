#!/usr/bin/env bash
# Runs one test binary beside a private pcscd with two virtual readers, inside
# its own mount and network namespace, so tests never meet another pcscd or
# each other's ports.
#   pcsc-sandbox.sh start|nostart SECONDS BINARY [ARGS...]
# "nostart" leaves pcscd to the test: DRVP_PCSCD_CMD holds the command line.
set -u
mode=$1 limit=$2
shift 2

if [ -z "${DRVP_IN_SANDBOX:-}" ]; then
  export DRVP_IN_SANDBOX=1
  exec unshare --mount --net --propagation private "$0" "$mode" "$limit" "$@"
fi

ip link set lo up
mkdir -p /run/pcscd
mount -t tmpfs tmpfs /run/pcscd

conf=$(mktemp -d)
trap 'rm -rf "$conf"' EXIT
export DRVP_VPCD_PORT=40000
export DRVP_READER_PREFIX="DRVP Virtual Reader"
cat > "$conf/vpcd" <<CONF
FRIENDLYNAME "$DRVP_READER_PREFIX"
DEVICENAME   /dev/null:$DRVP_VPCD_PORT
LIBPATH      /usr/lib/pcsc/drivers/serial/libifdvpcd.so
CHANNELID    $DRVP_VPCD_PORT
CONF
export DRVP_PCSCD_CMD="pcscd --foreground -c $conf"

pcscd_pid=
stop_pcscd() {
  if [ -n "$pcscd_pid" ]; then
    kill "$pcscd_pid" 2>/dev/null
    wait "$pcscd_pid" 2>/dev/null
    pcscd_pid=
  fi
}
trap 'stop_pcscd; rm -rf "$conf"' EXIT

if [ "$mode" = start ]; then
  $DRVP_PCSCD_CMD >"$conf/pcscd.log" 2>&1 </dev/null &
  pcscd_pid=$!
  ready=
  for _ in $(seq 1 100); do
    if timeout 2 pcsc_scan -r 2>/dev/null | grep -q "$DRVP_READER_PREFIX"; then
      ready=1
      break
    fi
    sleep 0.1
  done
  if [ -z "$ready" ]; then
    echo "pcscd did not show the virtual readers" >&2
    cat "$conf/pcscd.log" >&2
    exit 1
  fi
fi

timeout -k 5 "$limit" "$@"
rc=$?
[ $rc -eq 124 ] && echo "test timed out after $limit s" >&2
exit $rc
