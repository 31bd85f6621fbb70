#!/usr/bin/env bash
# One-step set-up, build and run on a fresh Debian bookworm machine.
#   tools/dev.sh run    installs what building and running need, builds and starts the application
#   tools/dev.sh test   installs what the tests need too, builds and runs every test
#   tools/dev.sh setup  installs everything the tests and CI use, builds nothing
# Further arguments after the command go to the application.
set -euo pipefail
cd "$(dirname "$0")/.."

# What building and running the application needs.
RUN_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libcurl4-openssl-dev libgeographiclib-dev qtkeychain-qt6-dev
  fonts-dejavu-core xplanet-images
  libcanberra-dev sound-theme-freedesktop
)
# What the tests, benchmarks, fuzzers and CI checks add.
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libssl-dev
  clang-14 libclang-rt-14-dev
  locales libxml2-utils dbus-daemon desktop-file-utils
  clang-format-14 python3
  xvfb xauth
  openbox imagemagick xdotool
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# install_packages PACKAGE...: installs those not yet installed.
install_packages() {
  local missing=()
  for p in "$@"; do
    installed "$p" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

install_test_packages() {
  install_packages "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
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
    install_test_packages ;;
  run)
    install_packages "${RUN_PACKAGES[@]}"
    # Without the test packages the build leaves tests and benchmarks out;
    # once `test` has installed them, both commands share one build.
    options=()
    installed libgtest-dev && installed libbenchmark-dev || options=(-DTESSA_TESTS=OFF -DTESSA_BENCH=OFF)
    cmake --preset release "${options[@]}" >/dev/null
    cmake --build --preset release --target tessaroute
    exec build/release/src/app/tessaroute "$@" ;;
  test)
    install_test_packages
    cmake --preset release -DTESSA_TESTS=ON -DTESSA_BENCH=ON
    cmake --build --preset release
    ctest --preset release ;;
  *)
    echo "usage: tools/dev.sh run|test|setup" >&2
    exit 2 ;;
esac
