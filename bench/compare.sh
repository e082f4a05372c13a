#!/usr/bin/env bash
# Measures the scan speed of morwick on a generated capture and compares it with peer tools.
#
#   bench/compare.sh [--frames N] [--conversations C] [--seed S] [--runs R]
#   bench/compare.sh --curve [--frames N] [--conversations C] [--runs R]
#   bench/compare.sh --memory [--gib G] [--conversations C]
#
# Default mode: builds the release binary and the capture generator, writes a capture of N
# frames (default 1,000,000) over C conversations (default 50,000) into a temporary folder and
# times, from the page cache, the best of R runs (default 3) of:
#   cat FILE > /dev/null                       the floor: reading the bytes and nothing else
#   morwick scan FILE /l4                      parse up to layer 4, meta database written
#   morwick scan FILE                          all layers, meta database written
#   ndpiReader -q -i FILE                      nDPI flow classification
#   tshark -n -q -r FILE -z conv,...           Wireshark's conversation tables
# and morwick's peak memory. Missing peers are installed when run as root (Debian packages
# libndpi-bin, tshark, time); a peer that is still missing is reported as "not installed".
#
# --curve: captures of a fixed frame count (default 2,000,000) with 1,000, 10,000, 100,000 and
# 1,000,000 conversations; prints morwick's seconds and ns/frame for each. Then captures of
# 1/4, 1/2, 1 and 2 times that frame count over C conversations: seconds and ns/frame again.
#
# --memory [--gib G]: a capture of at least G GiB (default 4) over C conversations, written to
# the temporary folder; prints the seconds and peak memory of morwick scan /l4 over it, next
# to the peak memory over a capture of 500,000 frames with the same conversations.
#
# The machine may be shared: figures are rough, compare them only within one run.
set -euo pipefail

frames=""
conversations=50000
seed=1
runs=3
curve=0
memory=0
gib=4

usage() {
  sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

while [[ $# -gt 0 ]]; do
  case "$1" in
    --frames) frames="${2:?}"; shift 2 ;;
    --conversations) conversations="${2:?}"; shift 2 ;;
    --seed) seed="${2:?}"; shift 2 ;;
    --runs) runs="${2:?}"; shift 2 ;;
    --curve) curve=1; shift ;;
    --memory) memory=1; shift ;;
    --gib) gib="${2:?}"; shift 2 ;;
    -h|--help) usage ;;
    *) echo "compare.sh: unknown argument: $1" >&2; usage ;;
  esac
done
for v in "${frames:-1}" "$conversations" "$seed" "$runs" "$gib"; do
  [[ "$v" =~ ^[0-9]+$ ]] || { echo "compare.sh: not a number: $v" >&2; exit 2; }
done
if [[ -z "$frames" ]]; then
  if [[ $curve -eq 1 ]]; then frames=2000000; else frames=1000000; fi
fi
if [[ $curve -eq 0 && $memory -eq 0 && $frames -lt 500000 ]]; then
  echo "compare.sh: use at least 500000 frames" >&2
  exit 2
fi
if [[ $curve -eq 1 && $frames -lt 1000000 ]]; then
  echo "compare.sh: --curve needs at least 1000000 frames (one per conversation)" >&2
  exit 2
fi
[[ $runs -ge 1 ]] || runs=1

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# --- build --------------------------------------------------------------------------------------

echo "== building the release binary"
cmake -S . -B build/bench-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_TESTS=OFF \
  -DMORWICK_BENCH=OFF >/dev/null
cmake --build build/bench-release --target morwick >/dev/null
morwick="$root/build/bench-release/morwick"

echo "== building the capture generator"
bench/build-gencapture.sh >/dev/null
gencapture="$root/build/tools/gencapture"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/morwick-bench.XXXXXX")"
cleanup() { rm -rf -- "$tmp"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- peers --------------------------------------------------------------------------------------

have() { command -v "$1" >/dev/null 2>&1; }

install_missing() {
  local pkgs=()
  have ndpiReader || pkgs+=(libndpi-bin)
  have tshark || pkgs+=(tshark)
  [[ -x /usr/bin/time ]] || pkgs+=(time)
  [[ ${#pkgs[@]} -gt 0 ]] || return 0
  if [[ $(id -u) -ne 0 ]] || ! have apt-get; then
    echo "== not root (or no apt-get): not installing ${pkgs[*]}"
    return 0
  fi
  echo "== installing ${pkgs[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if apt-get install -y -q "${pkgs[@]}" >"$tmp/apt.log" 2>&1; then return 0; fi
  # The package lists may be missing or stale.
  if apt-get update -q >>"$tmp/apt.log" 2>&1 &&
     apt-get install -y -q "${pkgs[@]}" >>"$tmp/apt.log" 2>&1; then
    return 0
  fi
  echo "== installation failed:"
  tail -3 "$tmp/apt.log" || true
}
[[ $curve -eq 1 || $memory -eq 1 ]] || install_missing

# --- timing -------------------------------------------------------------------------------------

# Wall-clock seconds of one run of "$@", output discarded; fails when the command fails.
time_once() {
  local t0 t1
  t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || return 1
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }'
}

# Best of $runs runs of "$@"; a hook named by $before (if any) runs before each run, untimed.
before=""
best_of() {
  local best="" t i
  for ((i = 0; i < runs; i++)); do
    [[ -z "$before" ]] || $before
    t=$(time_once "$@") || { echo "FAILED"; return 0; }
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

# Peak resident memory of one run of "$@" in the temporary folder, in MB.
peak_mb() {
  if [[ ! -x /usr/bin/time ]]; then echo "n/a"; return; fi
  (cd "$tmp" && /usr/bin/time -v "$@") >/dev/null 2>"$tmp/time.log" || true
  awk -F': *' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$tmp/time.log"
}

drop_db() { rm -rf -- "$tmp/.pcapmeta"; }

scan_l4() { (cd "$tmp" && "$morwick" scan "$1" /l4); }
scan_full() { (cd "$tmp" && "$morwick" scan "$1"); }

generate() {  # file frames conversations
  "$gencapture" "$1" --frames "$2" --conversations "$3" --seed "$seed" 2>/dev/null
  cat "$1" >/dev/null  # into the page cache
}

# --- curve mode ---------------------------------------------------------------------------------

# One row of a curve: a capture of $2 frames over $3 conversations, labelled $1.
curve_row() {
  local f="$tmp/curve.pcap" t4 tf
  generate "$f" "$2" "$3"
  before=drop_db
  t4=$(best_of scan_l4 "$f")
  tf=$(best_of scan_full "$f")
  before=""
  drop_db
  rm -f -- "$f"
  awk -v c="$1" -v n="$2" -v a="$t4" -v b="$tf" 'BEGIN {
    fa = (a == "FAILED") ? "FAILED" : sprintf("%.3f", a); na = (a == "FAILED") ? "-" : sprintf("%.0f", a * 1e9 / n)
    fb = (b == "FAILED") ? "FAILED" : sprintf("%.3f", b); nb = (b == "FAILED") ? "-" : sprintf("%.0f", b * 1e9 / n)
    printf "%14d  %12s  %10s  %12s  %10s\n", c, fa, na, fb, nb }'
}

if [[ $curve -eq 1 ]]; then
  echo "== morwick over $frames frames, best of $runs runs"
  printf '%14s  %12s  %10s  %12s  %10s\n' conversations "/l4 seconds" "ns/frame" "db seconds" "ns/frame"
  for c in 1000 10000 100000 1000000; do curve_row "$c" "$frames" "$c"; done
  echo "(/l4: parsed up to layer 4; db: all layers; both write the meta database)"
  echo
  echo "== morwick over $conversations conversations, growing frame counts, best of $runs runs"
  printf '%14s  %12s  %10s  %12s  %10s\n' frames "/l4 seconds" "ns/frame" "db seconds" "ns/frame"
  for n in $((frames / 4)) $((frames / 2)) "$frames" $((frames * 2)); do curve_row "$n" "$n" "$conversations"; done
  exit 0
fi

# --- memory mode --------------------------------------------------------------------------------

if [[ $memory -eq 1 ]]; then
  # Bytes per frame of this generator and conversation count, from the 500,000-frame
  # capture; longer captures of the same conversations run a little different, so the
  # frame count is corrected until the file is large enough.
  small="$tmp/small.pcap"
  generate "$small" 500000 "$conversations"
  want=$(( gib * 1024 * 1024 * 1024 ))
  n=$(( want / (($(stat -c %s "$small") - 24) / 500000) * 102 / 100 ))
  big="$tmp/big.pcap"
  for attempt in 1 2 3; do
    echo "== generating $n frames over $conversations conversations (at least $gib GiB) in $tmp"
    "$gencapture" "$big" --frames "$n" --conversations "$conversations" --seed "$seed" 2>/dev/null
    size=$(stat -c %s "$big")
    [[ $size -lt $want ]] || break
    n=$(( n * (want / 1024) / (size / 1024) * 102 / 100 ))
  done
  if [[ $size -lt $want ]]; then echo "compare.sh: the capture came out smaller than $gib GiB" >&2; exit 1; fi
  measure() {  # file -> "seconds peakMB"
    drop_db
    (cd "$tmp" && /usr/bin/time -f '%e %M' "$morwick" scan "$1" /l4) >/dev/null 2>"$tmp/time.log" || {
      echo "FAILED"; return; }
    tail -1 "$tmp/time.log" | awk '{ printf "%s %.1f", $1, $2 / 1024 }'
  }
  read -r ts ms <<<"$(measure "$small")"
  read -r tb mb <<<"$(measure "$big")"
  rows=$(sqlite3 "$tmp/.pcapmeta/big.db" "SELECT (SELECT count(*) FROM MACConversations) + \
    (SELECT count(*) FROM IPv4Conversations) + (SELECT count(*) FROM IPv6Conversations) + \
    (SELECT count(*) FROM TCPConversations) + (SELECT count(*) FROM UDPConversations)" 2>/dev/null || echo "?")
  drop_db
  printf '%-28s %14s %10s %10s %14s\n' capture bytes frames seconds "peak MB"
  printf '%-28s %14d %10d %10s %14s\n' "500,000 frames" "$(stat -c %s "$small")" 500000 "$ts" "$ms"
  printf '%-28s %14d %10d %10s %14s\n' "$gib GiB" "$size" "$n" "$tb" "$mb"
  rm -f -- "$big" "$small"
  echo "conversation rows written for the large capture: $rows"
  echo "(the large capture was written to $tmp and is removed again)"
  exit 0
fi

# --- comparison ---------------------------------------------------------------------------------

capture="$tmp/capture.pcap"
echo "== generating $frames frames over $conversations conversations"
generate "$capture" "$frames" "$conversations"
bytes=$(stat -c %s "$capture")

echo "== timing, best of $runs runs from the page cache"
names=() secs=()
add() { names+=("$1"); secs+=("$2"); }

add "cat (floor)" "$(best_of cat "$capture")"
# Both modes write the meta database; each run starts without one.
before=drop_db
add "morwick scan /l4" "$(best_of scan_l4 "$capture")"
add "morwick scan (database)" "$(best_of scan_full "$capture")"
before=""
[[ -f "$tmp/.pcapmeta/capture.db" ]] || echo "warning: morwick wrote no meta database"
drop_db
if have ndpiReader; then
  add "ndpiReader -q" "$(best_of ndpiReader -q -i "$capture")"
else
  add "ndpiReader -q" "not installed"
fi
if have tshark; then
  add "tshark conv tables" "$(best_of tshark -n -q -r "$capture" -z conv,eth -z conv,ip -z conv,ipv6 \
    -z conv,tcp -z conv,udp)"
else
  add "tshark conv tables" "not installed"
fi

mem_l4=$(peak_mb "$morwick" scan "$capture" /l4)
drop_db
mem_full=$(peak_mb "$morwick" scan "$capture")
drop_db

echo
printf 'capture: %d frames, %d conversations, %.1f MB\n' "$frames" "$conversations" \
  "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')"
printf '%-26s %10s %14s %10s %11s\n' tool seconds frames/s MB/s "x morwick"
ref=${secs[1]}
for i in "${!names[@]}"; do
  awk -v name="${names[$i]}" -v s="${secs[$i]}" -v n="$frames" -v b="$bytes" -v r="$ref" 'BEGIN {
    if (s !~ /^[0-9.]+$/) { printf "%-26s %10s\n", name, s; exit }
    fps = (s > 0) ? n / s : 0; mbs = (s > 0) ? b / 1e6 / s : 0
    ratio = (r ~ /^[0-9.]+$/ && r > 0) ? sprintf("%.2f", s / r) : "-"
    printf "%-26s %10.3f %14.0f %10.1f %11s\n", name, s, fps, mbs, ratio }'
done
awk -v c="${secs[0]}" -v m="$ref" 'BEGIN {
  if (c ~ /^[0-9.]+$/ && m ~ /^[0-9.]+$/ && c > 0)
    printf "morwick scan /l4 takes %.1f x the cat floor (%.3f s above it)\n", m / c, m - c }'
echo "x morwick: seconds relative to morwick scan /l4"
echo "morwick peak memory (maximum resident set size): /l4 ${mem_l4:-n/a} MB, with database ${mem_full:-n/a} MB"
echo "(shared machine: figures are rough)"
