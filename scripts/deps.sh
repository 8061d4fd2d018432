# Installs the Debian packages that are missing. Sourced by the scripts.
drvp_install() {
  local missing=()
  for p in "$@"; do
    if [ "$p" = vsmartcard-vpcd ]; then drvp_divert_vpcd_config; fi
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# vsmartcard-vpcd's own reader config would give the machine's pcscd two empty
# virtual readers listening on every interface. The tests and the demo bring
# their own (pcscd -c), so the package's goes where pcscd never looks, before
# the package comes and for every upgrade after.
drvp_divert_vpcd_config() {
  local conf=/etc/reader.conf.d/vpcd away=/etc/vpcd.reader.conf.disabled
  [ "$(dpkg-divert --truename "$conf")" = "$conf" ] || return 0
  local loaded=
  [ -e "$conf" ] && loaded=1
  echo "Moving $conf to $away (dpkg-divert), away from the machine's pcscd"
  dpkg-divert --quiet --local --rename --divert "$away" --add "$conf"
  [ -z "$loaded" ] || drvp_restart_machine_pcscd
}

# Restarts a running pcscd of the machine the way it was started, so it drops
# the virtual readers.
drvp_restart_machine_pcscd() {
  if [ -d /run/systemd/system ]; then
    if systemctl --quiet is-active pcscd.service; then systemctl restart pcscd.service; fi
    return
  fi
  # The pid file of this mount namespace: a demo's or a test's pcscd has its own.
  local pid
  pid=$(tr -dc 0-9 </run/pcscd/pcscd.pid 2>/dev/null) || return 0
  [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = pcscd ] || return 0
  local command=()
  mapfile -d '' command <"/proc/$pid/cmdline"
  echo "Restarting the machine's pcscd: ${command[*]}"
  kill "$pid"
  timeout 10 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" 2>/dev/null || true
  setsid "${command[@]}" </dev/null >/dev/null 2>&1 &
}

DRVP_BUILD_PACKAGES=(build-essential pkg-config cmake ninja-build qtbase5-dev qttools5-dev-tools
  libpcsclite-dev libxlsxwriter-dev)
DRVP_RUN_PACKAGES=(pcscd libqt5network5 xdg-utils fonts-dejavu-core)
DRVP_TEST_PACKAGES=(clang libclang-rt-14-dev vsmartcard-vpcd pcsc-tools openssl xvfb xauth unzip
  iproute2 util-linux)
