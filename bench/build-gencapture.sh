#!/usr/bin/env bash
# Builds the capture generator into build/tools/gencapture. It is a standalone program (standard
# library and POSIX only), so it does not need the project's CMake build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build/tools"
mkdir -p "$out"
"${CXX:-g++}" -O2 -std=c++20 -Wall -Wextra -o "$out/gencapture" "$root/bench/gencapture.cpp"
echo "$out/gencapture"
