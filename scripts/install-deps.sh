#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Talvora.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  build-essential g++ cmake ninja-build pkg-config
  # libraries
  libwxgtk3.2-dev libgtk-3-dev libtinyxml-dev libmount-dev libudev-dev libglib2.0-dev
  libmpg123-dev libsndfile1-dev libxxhash-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev valgrind
  # real MP3 files for the audio walk's tests (CBR, VBR with and without Xing)
  lame
  # a FUSE stick that lies about its size (tests/copy/lying_stick.py)
  python3-fuse
  # windows under a virtual display, driven through the accessibility tree
  xvfb xauth dbus-x11 at-spi2-core python3-pyatspi xdotool imagemagick
  metacity fonts-dejavu-core
  # what a screen reader speaks: Orca, with speech-dispatcher's silent module
  orca speech-dispatcher
  # desktop integration checks and packaging
  desktop-file-utils appstream dpkg-dev file
  # locales for the tests that check letter case never depends on them
  locales
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Orca speaks Dutch as the program's users hear it.
if ! locale -a 2>/dev/null | grep -qix 'nl_NL.utf8'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo localedef -i nl_NL -f UTF-8 nl_NL.UTF-8
fi

# A Turkish locale, where the C library folds "I" to no "i": the tests check
# that letter case in names and switches never depends on the locale.
if ! locale -a 2>/dev/null | grep -qix 'tr_TR.utf8'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo localedef -i tr_TR -f UTF-8 tr_TR.UTF-8
fi
