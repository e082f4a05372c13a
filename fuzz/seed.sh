#!/usr/bin/env bash
# Builds the seed corpora of the fuzz targets from the capture collection.
#   fuzz/seed.sh [CAPTURES_DIR] [OUT_DIR]
# Defaults: ../shared/captures (beside the project folder) and build/fuzz/corpus. Writes
#   OUT_DIR/fuzz_loader_pcap     whole pcap files under 64 KB
#   OUT_DIR/fuzz_loader_pcapng   whole pcapng files under 64 KB
#   OUT_DIR/fuzz_parsemaster     single frames, each prefixed with its 4-byte link type
#   OUT_DIR/fuzz_readfqdn        DNS messages over UDP with the reader's 8-byte prefix
# A missing capture folder leaves the corpora empty (the targets then start from nothing).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
captures="${1:-$here/../../shared/captures}"
out="${2:-$here/../build/fuzz/corpus}"
mkdir -p "$out"/fuzz_loader_pcap "$out"/fuzz_loader_pcapng "$out"/fuzz_parsemaster "$out"/fuzz_readfqdn
if [[ ! -d "$captures" ]]; then
    echo "seed: no capture folder at $captures; corpora left as they are"
    exit 0
fi

python3 - "$captures" "$out" <<'PY'
import hashlib, os, struct, sys

captures, out = sys.argv[1], sys.argv[2]
MAX_FILE = 64 * 1024
FRAMES_PER_FILE = 40
counts = {}

def save(target, data):
    name = hashlib.sha1(data).hexdigest()
    path = os.path.join(out, target, name)
    if not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(data)
        counts[target] = counts.get(target, 0) + 1

def pcap_frames(b):
    """(link type, bytes) of the records of a classic pcap file."""
    if len(b) < 24:
        return
    magic = b[:4]
    layouts = {
        b"\xd4\xc3\xb2\xa1": ("<", 16), b"\xa1\xb2\xc3\xd4": (">", 16),
        b"\x4d\x3c\xb2\xa1": ("<", 16), b"\xa1\xb2\x3c\x4d": (">", 16),
        b"\x34\xcd\xb2\xa1": ("<", 24), b"\xa1\xb2\xcd\x34": (">", 24),
    }
    if magic not in layouts:
        return
    e, rh = layouts[magic]
    link = struct.unpack(e + "I", b[20:24])[0] & 0x0FFFFFFF
    off = 24
    while off + rh <= len(b):
        incl = struct.unpack(e + "I", b[off + 8:off + 12])[0]
        off += rh
        if incl > 65535 or off + incl > len(b):
            return
        yield link, b[off:off + incl]
        off += incl

def pcapng_frames(b):
    """(link type, bytes) of the packet blocks of a little-endian pcapng file."""
    off, links = 0, []
    while off + 12 <= len(b):
        btype, blen = struct.unpack("<II", b[off:off + 8])
        if blen < 12 or blen % 4 or off + blen > len(b):
            return
        body = b[off + 8:off + blen - 4]
        if btype == 0x0A0D0D0A:
            links = []
        elif btype == 1 and len(body) >= 8:
            links.append(struct.unpack("<H", body[:2])[0])
        elif btype == 6 and len(body) >= 20:
            ifid, _, _, cap = struct.unpack("<IIII", body[:16])
            if ifid < len(links) and cap <= len(body) - 20:
                yield links[ifid], body[20:20 + cap]
        elif btype == 3 and len(body) >= 4 and links:
            yield links[0], body[4:]
        off += blen

def dns_payload(link, f):
    """The UDP payload of a frame to or from port 53, or None."""
    if link == 1:
        if len(f) < 14:
            return None
        et, p = struct.unpack(">H", f[12:14])[0], 14
        while et in (0x8100, 0x88A8) and len(f) >= p + 4:
            et, p = struct.unpack(">H", f[p + 2:p + 4])[0], p + 4
    elif link == 113:
        if len(f) < 16:
            return None
        et, p = struct.unpack(">H", f[14:16])[0], 16
    elif link in (101, 228):
        et, p = 0x0800, 0
    else:
        return None
    if et == 0x0800 and len(f) >= p + 20 and f[p] >> 4 == 4:
        proto, p = f[p + 9], p + (f[p] & 15) * 4
    elif et == 0x86DD and len(f) >= p + 40:
        proto, p = f[p + 6], p + 40
    else:
        return None
    if proto != 17 or len(f) < p + 8:
        return None
    sport, dport = struct.unpack(">HH", f[p:p + 4])
    if 53 not in (sport, dport) and 5353 not in (sport, dport):
        return None
    return f[p + 8:]

for root, _, files in os.walk(captures):
    for name in sorted(files):
        path = os.path.join(root, name)
        try:
            with open(path, "rb") as fh:
                b = fh.read()
        except OSError:
            continue
        is_ng = b[:4] == b"\x0a\x0d\x0d\x0a"
        frames = pcapng_frames(b) if is_ng else pcap_frames(b)
        try:
            frames = list(frames)
        except struct.error:
            frames = []
        if not frames and not is_ng and b[:4] not in (b"\xd4\xc3\xb2\xa1", b"\xa1\xb2\xc3\xd4"):
            continue
        if len(b) <= MAX_FILE:
            save("fuzz_loader_pcapng" if is_ng else "fuzz_loader_pcap", b)
        for link, f in frames[:FRAMES_PER_FILE]:
            save("fuzz_parsemaster", struct.pack("<I", link) + f)
        for link, f in frames:
            dns = dns_payload(link, f)
            if dns is not None and len(dns) >= 12:
                save("fuzz_readfqdn", struct.pack("<hih", 0, len(dns), 12) + dns)

for t in sorted(counts):
    print(f"seed: {t}: {counts[t]} new inputs")
PY
