#!/usr/bin/env bash
# Builds the release binary and scans the small capture shipped in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_TESTS=OFF -DMORWICK_BENCH=OFF >/dev/null
cmake --build build/demo --target morwick -j"$(nproc)"
work=$(mktemp -d)
cp tests/data/demo.pcap "$work/"
cd "$work"
"$OLDPWD/build/demo/morwick" scan demo.pcap /l4
echo
echo "Meta database: $work/.pcapmeta/demo.db"
