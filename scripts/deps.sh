#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the fuzz targets and the benchmarks
# need, when missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libsqlite3-dev sqlite3 libssl-dev libfmt-dev libspdlog-dev tzdata
      clang libclang-rt-14-dev python3)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
