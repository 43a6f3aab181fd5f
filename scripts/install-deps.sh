#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing, packaging and
# running the suite need. As root it runs apt-get itself; otherwise it
# prints the exact command to run. Packages already present are left alone.
#
# This is the one list the build's find_package and find_program calls are
# satisfied by: apt-get runs with --no-install-recommends, so a package that
# a CMake package configuration needs only through a recommendation (as
# Qt6UiTools needs Qt6OpenGLWidgets, from libqt6opengl6-dev) is named here
# itself. scripts/check-clean-machine.sh proves the list on a bare Debian 12.
set -euo pipefail

packages=(
  # compiler and build
  cmake ninja-build g++
  # numeric libraries and the command line
  libeigen3-dev libboost-math-dev libcli11-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # windows and plots
  qt6-base-dev libqt6opengl6-dev qt6-tools-dev qt6-svg-dev libqcustomplot-dev
  # man pages, and the Debian package's computed dependencies
  help2man dpkg-dev file
  # a virtual display for screenshots
  xvfb xauth
  # the tests' readers of exported CSV and of the desktop entries and file type
  python3 shared-mime-info desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

cmd="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}"
  echo "install-deps: run as root:"
  echo "  $cmd"
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
