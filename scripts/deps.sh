# Installs the Debian packages that are missing. Sourced by the scripts.
drvp_install() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

DRVP_BUILD_PACKAGES=(build-essential pkg-config cmake ninja-build qtbase5-dev qttools5-dev-tools
  libpcsclite-dev libxlsxwriter-dev)
DRVP_RUN_PACKAGES=(pcscd libqt5network5 xdg-utils fonts-dejavu-core)
DRVP_TEST_PACKAGES=(clang libclang-rt-14-dev vsmartcard-vpcd pcsc-tools openssl xvfb xauth unzip
  iproute2 util-linux)
