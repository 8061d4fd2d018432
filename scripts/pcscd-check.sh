# Whether the pcscd behind this mount namespace's /run/pcscd/pcscd.comm answers,
# asked with a PC/SC call. Not pidof: it also sees the private pcscd of a demo
# or a test in another mount namespace. Sourced by scripts/run and its test.
pcscd_serves() {
  timeout 5 pcsc_scan -r >/dev/null 2>&1
}

# Waits until it answers, up to SECONDS (default 10).
pcscd_wait() {
  local end=$((SECONDS + ${1:-10}))
  until pcscd_serves; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}
