#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need (run as root, or with sudo).
set -euo pipefail
packages=(
  cmake g++ make git python3
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 xvfb xdotool imagemagick fonts-wqy-microhei locales
  googletest libbenchmark-dev
  clang clang-tidy cppcheck libclang-rt-14-dev
  osslsigncode zip openssl
  wixl msitools
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
fi
# Wine maps Chinese file names through the C library's locale: make sure zh_CN.UTF-8 exists.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
if ! locale -a 2>/dev/null | grep -qi '^en_US\.utf-\?8$'; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" localedef -i en_US -f UTF-8 en_US.UTF-8
fi
