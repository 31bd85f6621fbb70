#!/usr/bin/env bash
# One-step set-up, build and run on a fresh Debian bookworm machine.
#   tools/dev.sh run    installs what is missing, builds and starts the application
#   tools/dev.sh test   installs what is missing, builds and runs every test
#   tools/dev.sh setup  only installs what is missing
# Further arguments after the command go to the application.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcurl4-openssl-dev libgeographiclib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libssl-dev
  clang-14 libclang-rt-14-dev
  fonts-dejavu-core locales xplanet-images libxml2-utils dbus-daemon
  clang-format-14 python3
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
  # The number-format tests run under a German locale.
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
}

cmd="${1:-}"
shift || true
case "$cmd" in
  setup)
    install_packages ;;
  run)
    install_packages
    cmake --preset release >/dev/null
    cmake --build --preset release --target tessaroute
    exec build/release/src/app/tessaroute "$@" ;;
  test)
    install_packages
    cmake --preset release
    cmake --build --preset release
    ctest --preset release ;;
  *)
    echo "usage: tools/dev.sh run|test" >&2
    exit 2 ;;
esac
