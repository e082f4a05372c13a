// gencapture: writes a large, deterministic, realistic classic pcap capture for scan-speed
// measurements.
//
//   gencapture OUT.pcap --frames N --conversations C [--seed S]
//
// The file is little-endian pcap with microsecond time stamps and Ethernet link type. It holds
// exactly N frames spread over C distinct conversations that run interleaved:
//   - TCP sessions over IPv4 and IPv6 (three-way handshake, request/response payload in both
//     directions, FIN/ACK teardown or a reset; short budgets give refused or unanswered SYNs),
//   - UDP flows in both directions,
//   - DNS queries and answers over UDP port 53 (A/AAAA/CNAME records, compressed names),
//   - ARP requests and replies.
// Some conversations are carried in 802.1Q VLAN-tagged frames. IPv4 header, TCP and UDP
// checksums are correct; time stamps increase strictly.
//
// Standalone on purpose: it needs only the C++ standard library and POSIX (see
// build-gencapture.sh).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Random numbers: splitmix64, small and fast, reproducible across platforms.

struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed) {}
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); n > 0.
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((next() >> 32) * n >> 32); }
  bool chance(uint32_t percent) { return below(100) < percent; }
};

uint64_t mix(uint64_t a, uint64_t b) {
  Rng r(a * 0xD1B54A32D192ED03ull ^ b);
  return r.next();
}

// ---------------------------------------------------------------------------------------------
// Output: one large buffer, written with write(2) when full.

class Output {
 public:
  explicit Output(const char* path) : path_(path), buf_(kBufferSize) {
    fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd_ < 0) fail("cannot create");
  }
  ~Output() {
    if (fd_ >= 0) ::close(fd_);
  }
  void put(const uint8_t* p, size_t n) {
    if (used_ + n > buf_.size()) flush();
    std::memcpy(buf_.data() + used_, p, n);
    used_ += n;
    written_ += n;
  }
  void flush() {
    size_t off = 0;
    while (off < used_) {
      ssize_t w = ::write(fd_, buf_.data() + off, used_ - off);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) fail("cannot write");
      off += static_cast<size_t>(w);
    }
    used_ = 0;
  }
  void close() {
    flush();
    if (::close(fd_) != 0) fail("cannot close");
    fd_ = -1;
  }
  uint64_t written() const { return written_; }

 private:
  static constexpr size_t kBufferSize = 8u << 20;
  [[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "gencapture: %s %s: %s\n", what, path_, std::strerror(errno));
    std::exit(1);
  }
  const char* path_;
  int fd_ = -1;
  std::vector<uint8_t> buf_;
  size_t used_ = 0;
  uint64_t written_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Byte writers. Network headers are big-endian, the pcap headers little-endian.

inline void be16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void be32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline void le16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void le32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Ones-complement sum of big-endian 16-bit words; an odd last byte is padded with zero.
uint32_t sumWords(uint32_t sum, const uint8_t* p, size_t n) {
  while (n >= 2) {
    sum += (static_cast<uint32_t>(p[0]) << 8) | p[1];
    p += 2;
    n -= 2;
  }
  if (n) sum += static_cast<uint32_t>(p[0]) << 8;
  return sum;
}
uint16_t foldSum(uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

// ---------------------------------------------------------------------------------------------
// Layout constants.

constexpr size_t kEthHeader = 14;
constexpr size_t kVlanTag = 4;
constexpr size_t kIPv4Header = 20;
constexpr size_t kIPv6Header = 40;
constexpr size_t kTCPHeader = 20;
constexpr size_t kSynOptions = 12;  // MSS, NOP, window scale, NOP, NOP, SACK permitted
constexpr size_t kUDPHeader = 8;
constexpr size_t kMinFrame = 60;    // Ethernet minimum without the frame check sequence
constexpr size_t kMaxFrame = 1600;
constexpr uint32_t kMSS4 = 1460;
constexpr uint32_t kMSS6 = 1440;

constexpr uint16_t kEtherIPv4 = 0x0800;
constexpr uint16_t kEtherIPv6 = 0x86DD;
constexpr uint16_t kEtherARP = 0x0806;
constexpr uint16_t kEtherVLAN = 0x8100;

constexpr uint8_t kProtoTCP = 6;
constexpr uint8_t kProtoUDP = 17;

constexpr uint8_t kFIN = 0x01, kSYN = 0x02, kRST = 0x04, kPSH = 0x08, kACK = 0x10;

constexpr uint32_t kGateways = 4;
constexpr uint32_t kResolvers = 4;

// ---------------------------------------------------------------------------------------------
// Addressing plan. Client hosts live in 10.0.0.0/8 and 2001:db8:1::/48 behind a few gateways;
// servers in 198.18.0.0/15 and 2001:db8:ff::/48; resolvers at 198.18.255.x / 2001:db8:53::x.

struct Plan {
  uint32_t clients = 16;
  uint32_t servers = 8;
  uint32_t sites = 100;
  uint32_t portSalt = 0;
};

void clientMAC(uint32_t h, uint8_t* m) {
  m[0] = 0x02; m[1] = 0x10;
  be32(m + 2, h + 1);
}
void gatewayMAC(uint32_t g, uint8_t* m) {
  m[0] = 0x00; m[1] = 0x1B; m[2] = 0x21; m[3] = 0xA0; m[4] = 0x00;
  m[5] = static_cast<uint8_t>(g + 1);
}
uint32_t clientIPv4(uint32_t h) { return 0x0A000000u + 1 + h; }
uint32_t serverIPv4(uint32_t s) { return 0xC6120000u + 1 + (s % 0xFE00); }
uint32_t resolverIPv4(uint32_t r) { return 0xC612FF35u + r; }
void clientIPv6(uint32_t h, uint8_t* a) {
  static const uint8_t prefix[8] = {0x20, 0x01, 0x0d, 0xb8, 0x00, 0x01, 0x00, 0x00};
  std::memcpy(a, prefix, 8);
  be32(a + 8, 0x02100000u);
  be32(a + 12, h + 1);
}
void serverIPv6(uint32_t s, uint8_t* a) {
  static const uint8_t prefix[8] = {0x20, 0x01, 0x0d, 0xb8, 0x00, 0xff, 0x00, 0x00};
  std::memcpy(a, prefix, 8);
  be32(a + 8, 0);
  be32(a + 12, s + 1);
}
void resolverIPv6(uint32_t r, uint8_t* a) {
  static const uint8_t prefix[8] = {0x20, 0x01, 0x0d, 0xb8, 0x00, 0x53, 0x00, 0x00};
  std::memcpy(a, prefix, 8);
  be32(a + 8, 0);
  be32(a + 12, r + 1);
}

// ---------------------------------------------------------------------------------------------
// Conversations.

enum class Kind : uint8_t { TCP4, TCP6, UDP4, UDP6, DNS4, DNS6, ARP };

enum class App : uint8_t { HTTP, TLS, Raw };

struct Conv {
  uint32_t index = 0;
  Kind kind = Kind::TCP4;
  App app = App::Raw;
  bool vlan = false;
  bool reset = false;
  uint16_t vid = 0;
  uint32_t total = 0;  // frames planned
  uint32_t sent = 0;   // frames written
  uint32_t host = 0;   // client host
  uint32_t peer = 0;   // server, resolver or (ARP) target host
  uint16_t cport = 0, sport = 0;
  uint32_t cseq = 0, sseq = 0;    // next sequence numbers
  uint16_t cipid = 0, sipid = 0;  // IPv4 identifications
  uint32_t srvLeft = 0;           // server segments left in the current response
  uint32_t unacked = 0;           // server segments the client has not acknowledged yet
  uint32_t site = 0;              // DNS: name queried
  uint16_t dnsid = 0;
  bool aaaa = false;
  bool openResponse = false;      // HTTP: the next server segment starts a response
  uint32_t bodyLeft = 0;          // HTTP: Content-Length of the response being sent
  uint32_t lastSize = 0;          // size of the last segment of the current response
  uint64_t rng = 0;               // per-conversation random stream
};

bool isIPv6(Kind k) { return k == Kind::TCP6 || k == Kind::UDP6 || k == Kind::DNS6; }

// A block of random bytes that payloads are cut from, so that a payload costs one copy.
struct Filler {
  std::vector<uint8_t> bytes;
  explicit Filler(uint64_t seed) : bytes(1u << 16) {
    Rng r(seed);
    for (size_t i = 0; i < bytes.size(); i += 8) {
      uint64_t v = r.next();
      std::memcpy(bytes.data() + i, &v, 8);
    }
  }
  void fill(uint8_t* dst, size_t n, uint32_t at) const {
    size_t off = at % (bytes.size() - kMaxFrame);
    std::memcpy(dst, bytes.data() + off, n);
  }
};

class Generator {
 public:
  Generator(Output& out, uint64_t frames, uint32_t conversations, uint64_t seed)
      : out_(out), frames_(frames), convs_(conversations), seed_(seed), sched_(mix(seed, 1)),
        filler_(mix(seed, 2)) {
    plan_.clients = std::clamp<uint32_t>(conversations / 8, 16, 1u << 20);
    plan_.servers = std::clamp<uint32_t>(conversations / 64, 8, 60000);
    plan_.sites = std::clamp<uint32_t>(conversations / 4, 100, 1u << 20);
    plan_.portSalt = static_cast<uint32_t>(mix(seed, 3) % 5533);
    unassigned_ = frames;
  }

  void run() {
    writeFileHeader();
    const uint32_t poolSize = std::min<uint32_t>(convs_, 2048);
    std::vector<Conv> pool;
    pool.reserve(poolSize);
    while (pool.size() < poolSize) pool.push_back(start());
    while (!pool.empty()) {
      uint32_t slot = sched_.below(static_cast<uint32_t>(pool.size()));
      Conv& c = pool[slot];
      emit(c);
      if (++c.sent == c.total) {
        if (started_ < convs_) {
          c = start();
        } else {
          c = pool.back();
          pool.pop_back();
        }
      }
    }
  }

  uint64_t framesWritten() const { return written_; }

 private:
  // --- planning -------------------------------------------------------------------------------

  Conv start() {
    Conv c;
    c.index = started_;
    Rng r(mix(seed_ ^ 0x5EED, c.index));
    c.rng = r.next();
    uint32_t w = r.below(100);
    c.kind = w < 40 ? Kind::TCP4 : w < 52 ? Kind::TCP6 : w < 66 ? Kind::UDP4 : w < 70 ? Kind::UDP6
           : w < 86 ? Kind::DNS4 : w < 90 ? Kind::DNS6 : Kind::ARP;
    c.vlan = r.chance(15);
    c.vid = static_cast<uint16_t>(10 + r.below(8) * 10);
    c.host = c.index % plan_.clients;
    uint32_t k = c.index / plan_.clients;
    // Ephemeral client ports from a range where peer tools register no dissector, distinct per
    // host: 7919 and 5533 are coprime, so k -> port is one-to-one (k stays below 5533).
    c.cport = static_cast<uint16_t>(60002 + (k * 7919u + c.host * 104729u + plan_.portSalt) % 5533);
    c.cipid = static_cast<uint16_t>(r.next());
    c.sipid = static_cast<uint16_t>(r.next());
    c.cseq = static_cast<uint32_t>(r.next());
    c.sseq = static_cast<uint32_t>(r.next());

    // Frame budget: the remaining frames spread evenly over the remaining conversations, with
    // some spread; every later conversation keeps at least one frame.
    uint32_t remaining = convs_ - started_;
    uint64_t even = unassigned_ / remaining;
    uint64_t len;
    if (remaining == 1) {
      len = unassigned_;
      if (c.kind == Kind::ARP || c.kind == Kind::DNS4 || c.kind == Kind::DNS6) c.kind = Kind::TCP4;
    } else {
      len = even / 2 + (even ? r.next() % (even + 1) : 0);
      len = std::max<uint64_t>(len, 1);
      if (c.kind == Kind::ARP) len = std::min<uint64_t>(len, r.chance(10) ? 1 : r.chance(10) ? 4 : 2);
      if (c.kind == Kind::DNS4 || c.kind == Kind::DNS6) len = std::min<uint64_t>(len, 2 + 2 * r.below(2));
      len = std::min<uint64_t>(len, unassigned_ - (remaining - 1));
    }
    c.total = static_cast<uint32_t>(std::min<uint64_t>(len, 0xFFFFFFFFu));
    unassigned_ -= c.total;
    ++started_;

    switch (c.kind) {
      case Kind::TCP4:
      case Kind::TCP6: {
        c.peer = r.below(plan_.servers);
        uint32_t a = r.below(100);
        if (a < 35) { c.app = App::HTTP; c.sport = 80; }
        else if (a < 80) { c.app = App::TLS; c.sport = 443; }
        else { c.app = App::Raw; c.sport = static_cast<uint16_t>(33000 + r.below(1000)); }
        c.reset = r.chance(10);
        break;
      }
      case Kind::UDP4:
      case Kind::UDP6:
        c.peer = r.below(plan_.servers);
        c.sport = static_cast<uint16_t>(40000 + r.below(1000));
        break;
      case Kind::DNS4:
      case Kind::DNS6:
        c.peer = r.below(kResolvers);
        c.sport = 53;
        break;
      case Kind::ARP:
        c.peer = (c.host + 1 + k) % plan_.clients;
        break;
    }
    return c;
  }

  // --- frame assembly -------------------------------------------------------------------------

  void writeFileHeader() {
    uint8_t h[24];
    le32(h, 0xA1B2C3D4u);
    le16(h + 4, 2);
    le16(h + 6, 4);
    le32(h + 8, 0);
    le32(h + 12, 0);
    le32(h + 16, 65535);
    le32(h + 20, 1);
    out_.put(h, sizeof h);
  }

  void writeFrame(size_t len) {
    if (len < kMinFrame) {
      std::memset(frame_ + len, 0, kMinFrame - len);
      len = kMinFrame;
    }
    usec_ += 1 + sched_.below(60);
    uint8_t rec[16];
    le32(rec, static_cast<uint32_t>(usec_ / 1000000));
    le32(rec + 4, static_cast<uint32_t>(usec_ % 1000000));
    le32(rec + 8, static_cast<uint32_t>(len));
    le32(rec + 12, static_cast<uint32_t>(len));
    out_.put(rec, sizeof rec);
    out_.put(frame_, len);
    ++written_;
  }

  // Ethernet header (with the VLAN tag when the conversation has one); returns its length.
  size_t ethernet(const Conv& c, const uint8_t* dst, const uint8_t* src, uint16_t type) {
    std::memcpy(frame_, dst, 6);
    std::memcpy(frame_ + 6, src, 6);
    if (c.vlan) {
      be16(frame_ + 12, kEtherVLAN);
      be16(frame_ + 14, c.vid);
      be16(frame_ + 16, type);
      return kEthHeader + kVlanTag;
    }
    be16(frame_ + 12, type);
    return kEthHeader;
  }

  struct Ends {
    uint8_t srcMAC[6], dstMAC[6];
    uint32_t src4, dst4;
    uint8_t src6[16], dst6[16];
    uint8_t ttl;
  };

  Ends ends(const Conv& c, bool fromClient) {
    Ends e{};
    uint8_t cm[6], gm[6];
    clientMAC(c.host, cm);
    gatewayMAC((c.vid / 10 + c.host) % kGateways, gm);
    bool dns = c.kind == Kind::DNS4 || c.kind == Kind::DNS6;
    uint32_t c4 = clientIPv4(c.host);
    uint32_t s4 = dns ? resolverIPv4(c.peer) : serverIPv4(c.peer);
    uint8_t c6[16], s6[16];
    clientIPv6(c.host, c6);
    if (dns) resolverIPv6(c.peer, s6); else serverIPv6(c.peer, s6);
    if (fromClient) {
      std::memcpy(e.srcMAC, cm, 6); std::memcpy(e.dstMAC, gm, 6);
      e.src4 = c4; e.dst4 = s4;
      std::memcpy(e.src6, c6, 16); std::memcpy(e.dst6, s6, 16);
      e.ttl = 64;
    } else {
      std::memcpy(e.srcMAC, gm, 6); std::memcpy(e.dstMAC, cm, 6);
      e.src4 = s4; e.dst4 = c4;
      std::memcpy(e.src6, s6, 16); std::memcpy(e.dst6, c6, 16);
      e.ttl = static_cast<uint8_t>(48 + c.peer % 10);
    }
    return e;
  }

  // Writes the IP header in front of an L4 segment of l4len bytes at frame_[l3 + iph], fills
  // the L4 checksum at l4 offset csumAt, and writes the frame.
  void finishIP(Conv& c, bool fromClient, const Ends& e, size_t l3, uint8_t proto, size_t l4len,
                size_t csumAt) {
    bool v6 = isIPv6(c.kind);
    uint8_t* ip = frame_ + l3;
    uint8_t* l4 = ip + (v6 ? kIPv6Header : kIPv4Header);
    uint32_t sum = 0;
    if (v6) {
      be32(ip, 0x60000000u);
      be16(ip + 4, static_cast<uint32_t>(l4len));
      ip[6] = proto;
      ip[7] = e.ttl;
      std::memcpy(ip + 8, e.src6, 16);
      std::memcpy(ip + 24, e.dst6, 16);
      sum = sumWords(sum, ip + 8, 32);
    } else {
      uint16_t& id = fromClient ? c.cipid : c.sipid;
      ip[0] = 0x45;
      ip[1] = 0;
      be16(ip + 2, static_cast<uint32_t>(kIPv4Header + l4len));
      be16(ip + 4, id++);
      be16(ip + 6, 0x4000);  // don't fragment
      ip[8] = e.ttl;
      ip[9] = proto;
      be16(ip + 10, 0);
      be32(ip + 12, e.src4);
      be32(ip + 16, e.dst4);
      be16(ip + 10, foldSum(sumWords(0, ip, kIPv4Header)));
      sum = sumWords(sum, ip + 12, 8);
    }
    sum += proto;
    sum += static_cast<uint32_t>(l4len);
    be16(l4 + csumAt, 0);
    uint16_t cs = foldSum(sumWords(sum, l4, l4len));
    if (proto == kProtoUDP && cs == 0) cs = 0xFFFF;
    be16(l4 + csumAt, cs);
    writeFrame(l3 + (v6 ? kIPv6Header : kIPv4Header) + l4len);
  }

  // --- TCP ------------------------------------------------------------------------------------

  void tcpSegment(Conv& c, bool fromClient, uint8_t flags, size_t payload, bool synOptions) {
    Ends e = ends(c, fromClient);
    bool v6 = isIPv6(c.kind);
    size_t l3 = ethernet(c, e.dstMAC, e.srcMAC, v6 ? kEtherIPv6 : kEtherIPv4);
    uint8_t* t = frame_ + l3 + (v6 ? kIPv6Header : kIPv4Header);
    size_t th = kTCPHeader + (synOptions ? kSynOptions : 0);
    uint32_t& seq = fromClient ? c.cseq : c.sseq;
    uint32_t ack = fromClient ? c.sseq : c.cseq;
    be16(t, fromClient ? c.cport : c.sport);
    be16(t + 2, fromClient ? c.sport : c.cport);
    be32(t + 4, seq);
    be32(t + 8, (flags & kACK) ? ack : 0);
    t[12] = static_cast<uint8_t>((th / 4) << 4);
    t[13] = flags;
    be16(t + 14, synOptions ? (fromClient ? 64240 : 65535) : (fromClient ? 502 : 501));
    be16(t + 16, 0);
    be16(t + 18, 0);
    if (synOptions) {
      uint8_t* o = t + kTCPHeader;
      o[0] = 2; o[1] = 4; be16(o + 2, v6 ? kMSS6 : kMSS4);
      o[4] = 1; o[5] = 3; o[6] = 3; o[7] = 8;
      o[8] = 1; o[9] = 1; o[10] = 4; o[11] = 2;
    }
    if (payload) fillTCPPayload(c, fromClient, t + th, payload);
    seq += static_cast<uint32_t>(payload) + ((flags & (kSYN | kFIN)) ? 1 : 0);
    finishIP(c, fromClient, e, l3, kProtoTCP, th + payload, 16);
  }

  void fillTCPPayload(Conv& c, bool fromClient, uint8_t* p, size_t n) {
    Rng r(c.rng + c.sent);
    if (c.app == App::TLS && n > 5) {
      // One TLS application-data record per segment.
      p[0] = 23; p[1] = 3; p[2] = 3;
      be16(p + 3, static_cast<uint32_t>(n - 5));
      filler_.fill(p + 5, n - 5, static_cast<uint32_t>(r.next()));
      return;
    }
    if (c.app == App::HTTP) {
      // Text is written only into segments that open a request or a response; the rest of a
      // response is body bytes.
      char text[256];
      int len = 0;
      if (fromClient) {
        len = std::snprintf(text, sizeof text,
                            "GET /obj/%u HTTP/1.1\r\nHost: www.site%u.example.com\r\n"
                            "User-Agent: gencapture/1.0\r\nAccept: */*\r\nX-Pad: ",
                            static_cast<unsigned>(r.below(100000)),
                            static_cast<unsigned>(c.peer % plan_.sites));
        // A padding header line makes the request fill the segment exactly.
        if (static_cast<size_t>(len) + 4 <= n) {
          std::memcpy(p, text, static_cast<size_t>(len));
          std::memset(p + len, 'a', n - static_cast<size_t>(len) - 4);
          std::memcpy(p + n - 4, "\r\n\r\n", 4);
          return;
        }
      } else if (c.openResponse) {
        len = std::snprintf(text, sizeof text,
                            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                            "Content-Length: %u\r\n\r\n",
                            static_cast<unsigned>(c.bodyLeft));
        if (static_cast<size_t>(len) <= n) {
          std::memcpy(p, text, static_cast<size_t>(len));
          filler_.fill(p + len, n - static_cast<size_t>(len), static_cast<uint32_t>(r.next()));
          return;
        }
      }
    }
    fillAppPayload(p, n, static_cast<uint32_t>(r.next()));
  }

  // Payload of an application without a well-known port: a fixed ASCII tag, then random bytes.
  // The tag keeps the heuristic dissectors of peer tools from reading the bytes as RTP or RTCP.
  void fillAppPayload(uint8_t* p, size_t n, uint32_t at) const {
    static constexpr char kTag[] = "x-gencap";
    size_t t = std::min(n, sizeof kTag - 1);
    std::memcpy(p, kTag, t);
    if (n > t) filler_.fill(p + t, n - t, at);
  }

  // The body length of an HTTP response that fills `total` bytes together with its header;
  // the header counts against the Content-Length it announces.
  static uint32_t httpBodyLength(uint32_t total) {
    static const uint32_t fixed = static_cast<uint32_t>(std::strlen(
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: \r\n\r\n"));
    for (uint32_t digits = 1; digits <= 10; ++digits) {
      if (total < fixed + digits) return 0;
      uint32_t body = total - fixed - digits;
      if (std::to_string(body).size() == digits) return body;
    }
    return 0;
  }

  void emitTCP(Conv& c) {
    const uint32_t n = c.total, i = c.sent;
    const uint32_t mss = isIPv6(c.kind) ? kMSS6 : kMSS4;
    Rng r(c.rng ^ (uint64_t{i} << 32));
    if (n == 1) { tcpSegment(c, true, kSYN, 0, true); return; }
    if (n == 2) {
      if (i == 0) tcpSegment(c, true, kSYN, 0, true);
      else tcpSegment(c, false, kRST | kACK, 0, false);
      return;
    }
    if (i == 0) { tcpSegment(c, true, kSYN, 0, true); return; }
    if (i == 1) { tcpSegment(c, false, kSYN | kACK, 0, true); return; }
    if (i == 2) { tcpSegment(c, true, kACK, 0, false); return; }
    bool reset = c.reset || n < 6;
    uint32_t teardown = n == 3 ? 0 : reset ? 1 : 3;
    uint32_t dataEnd = n - teardown;
    if (i < dataEnd) {
      if (c.srvLeft == 0) {
        // A new request: the server answers it with a burst of segments.
        c.srvLeft = 1 + r.below(12);
        c.unacked = 0;
        uint32_t last = 120 + r.below(mss - 120);
        c.lastSize = last;
        c.bodyLeft = httpBodyLength((c.srvLeft - 1) * mss + last);
        c.openResponse = true;
        size_t req = c.app == App::HTTP ? 160 + r.below(300) : 40 + r.below(600);
        tcpSegment(c, true, kPSH | kACK, req, false);
        return;
      }
      if (c.unacked >= 2) {
        c.unacked = 0;
        tcpSegment(c, true, kACK, 0, false);
        return;
      }
      uint32_t size = c.srvLeft == 1 ? c.lastSize : mss;
      tcpSegment(c, false, c.srvLeft == 1 ? (kPSH | kACK) : kACK, size, false);
      c.openResponse = false;
      --c.srvLeft;
      ++c.unacked;
      return;
    }
    uint32_t j = i - dataEnd;
    if (reset) { tcpSegment(c, true, kRST | kACK, 0, false); return; }
    if (j == 0) tcpSegment(c, true, kFIN | kACK, 0, false);
    else if (j == 1) tcpSegment(c, false, kFIN | kACK, 0, false);
    else tcpSegment(c, true, kACK, 0, false);
  }

  // --- UDP and DNS ----------------------------------------------------------------------------

  void udpDatagram(Conv& c, bool fromClient, size_t payload, bool dns) {
    Ends e = ends(c, fromClient);
    bool v6 = isIPv6(c.kind);
    size_t l3 = ethernet(c, e.dstMAC, e.srcMAC, v6 ? kEtherIPv6 : kEtherIPv4);
    uint8_t* u = frame_ + l3 + (v6 ? kIPv6Header : kIPv4Header);
    be16(u, fromClient ? c.cport : c.sport);
    be16(u + 2, fromClient ? c.sport : c.cport);
    if (dns) payload = buildDNS(c, fromClient, u + kUDPHeader);
    else fillAppPayload(u + kUDPHeader, payload, static_cast<uint32_t>(mix(c.rng, c.sent)));
    be16(u + 4, static_cast<uint32_t>(kUDPHeader + payload));
    finishIP(c, fromClient, e, l3, kProtoUDP, kUDPHeader + payload, 6);
  }

  void emitUDP(Conv& c) {
    Rng r(c.rng ^ (uint64_t{c.sent} << 32));
    bool fromClient = c.sent == 0 || r.chance(60);
    size_t size = r.chance(30) ? 900 + r.below(300) : 20 + r.below(300);
    udpDatagram(c, fromClient, size, false);
  }

  static size_t putLabel(uint8_t* p, std::string_view s) {
    p[0] = static_cast<uint8_t>(s.size());
    std::memcpy(p + 1, s.data(), s.size());
    return 1 + s.size();
  }

  // A DNS query for www.site<k>.example.com, or its answer: optionally a CNAME to
  // e<n>.cdn.example.com (compressed against the question), then one or two A or AAAA
  // records owned by the last name; some answers are NXDOMAIN.
  size_t buildDNS(Conv& c, bool query, uint8_t* m) {
    if (query) {
      Rng r(c.rng ^ (uint64_t{c.sent} << 40));
      c.dnsid = static_cast<uint16_t>(r.next());
      c.site = r.below(plan_.sites);
      c.aaaa = c.kind == Kind::DNS6 ? r.chance(70) : r.chance(25);
    }
    Rng r(c.rng ^ (uint64_t{c.sent} << 40) ^ 0xA5);
    be16(m, c.dnsid);
    bool nx = !query && r.chance(5);
    be16(m + 2, query ? 0x0100 : (nx ? 0x8183 : 0x8180));
    be16(m + 4, 1);
    be16(m + 6, 0);
    be16(m + 8, 0);
    be16(m + 10, 0);
    size_t o = 12;
    char site[16];
    int sl = std::snprintf(site, sizeof site, "site%u", static_cast<unsigned>(c.site));
    o += putLabel(m + o, "www");
    o += putLabel(m + o, std::string_view(site, static_cast<size_t>(sl)));
    const size_t exampleAt = o;
    o += putLabel(m + o, "example");
    o += putLabel(m + o, "com");
    m[o++] = 0;
    be16(m + o, c.aaaa ? 28 : 1);
    be16(m + o + 2, 1);
    o += 4;
    if (query || nx) return o;

    uint16_t answers = 0;
    size_t owner = 12;  // the question name
    if (r.chance(50)) {
      be16(m + o, 0xC000 | 12);
      be16(m + o + 2, 5);
      be16(m + o + 4, 1);
      be32(m + o + 6, 300);
      size_t rdlenAt = o + 10;
      o += 12;
      owner = o;
      char edge[16];
      int el = std::snprintf(edge, sizeof edge, "e%u", static_cast<unsigned>(r.below(4096)));
      size_t start = o;
      o += putLabel(m + o, std::string_view(edge, static_cast<size_t>(el)));
      o += putLabel(m + o, "cdn");
      be16(m + o, 0xC000 | static_cast<uint32_t>(exampleAt));
      o += 2;
      be16(m + rdlenAt, static_cast<uint32_t>(o - start));
      ++answers;
    }
    uint32_t addrs = 1 + r.below(2);
    for (uint32_t a = 0; a < addrs; ++a) {
      uint32_t server = (c.site + a) % plan_.servers;
      be16(m + o, 0xC000 | static_cast<uint32_t>(owner));
      be16(m + o + 2, c.aaaa ? 28 : 1);
      be16(m + o + 4, 1);
      be32(m + o + 6, 60);
      o += 10;
      if (c.aaaa) {
        be16(m + o, 16);
        serverIPv6(server, m + o + 2);
        o += 18;
      } else {
        be16(m + o, 4);
        be32(m + o + 2, serverIPv4(server));
        o += 6;
      }
      ++answers;
    }
    be16(m + 6, answers);
    return o;
  }

  void emitDNS(Conv& c) { udpDatagram(c, c.sent % 2 == 0, 0, true); }

  // --- ARP ------------------------------------------------------------------------------------

  void emitARP(Conv& c) {
    bool request = c.sent % 2 == 0;
    uint8_t a[6], b[6];
    clientMAC(c.host, a);
    clientMAC(c.peer, b);
    static const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    size_t l3 = request ? ethernet(c, broadcast, a, kEtherARP) : ethernet(c, a, b, kEtherARP);
    uint8_t* p = frame_ + l3;
    be16(p, 1);
    be16(p + 2, kEtherIPv4);
    p[4] = 6;
    p[5] = 4;
    be16(p + 6, request ? 1 : 2);
    if (request) {
      std::memcpy(p + 8, a, 6);
      be32(p + 14, clientIPv4(c.host));
      std::memset(p + 18, 0, 6);
      be32(p + 24, clientIPv4(c.peer));
    } else {
      std::memcpy(p + 8, b, 6);
      be32(p + 14, clientIPv4(c.peer));
      std::memcpy(p + 18, a, 6);
      be32(p + 24, clientIPv4(c.host));
    }
    writeFrame(l3 + 28);
  }

  void emit(Conv& c) {
    switch (c.kind) {
      case Kind::TCP4:
      case Kind::TCP6: emitTCP(c); break;
      case Kind::UDP4:
      case Kind::UDP6: emitUDP(c); break;
      case Kind::DNS4:
      case Kind::DNS6: emitDNS(c); break;
      case Kind::ARP: emitARP(c); break;
    }
  }

  Output& out_;
  uint64_t frames_;
  uint32_t convs_;
  uint64_t seed_;
  Rng sched_;
  Filler filler_;
  Plan plan_;
  uint64_t unassigned_ = 0;
  uint32_t started_ = 0;
  uint64_t written_ = 0;
  uint64_t usec_ = uint64_t{1709294400} * 1000000;  // 2024-03-01 12:00:00 UTC
  uint8_t frame_[kMaxFrame] = {};
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: gencapture OUT.pcap --frames N --conversations C [--seed S]\n"
               "  writes N frames (little-endian microsecond pcap, Ethernet) spread over C\n"
               "  distinct TCP, UDP, DNS and ARP conversations; the same arguments give the\n"
               "  same file.\n");
  std::exit(2);
}

uint64_t number(const char* s) {
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(s, &end, 10);
  if (errno || end == s || *end || s[0] == '-') usage();
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = nullptr;
  uint64_t frames = 0, conversations = 0, seed = 1;
  bool haveFrames = false, haveConvs = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if ((a == "--frames" || a == "--conversations" || a == "--seed") && i + 1 < argc) {
      uint64_t v = number(argv[++i]);
      if (a == "--frames") { frames = v; haveFrames = true; }
      else if (a == "--conversations") { conversations = v; haveConvs = true; }
      else seed = v;
    } else if (a == "-h" || a == "--help") {
      usage();
    } else if (!a.empty() && a[0] != '-' && !out) {
      out = argv[i];
    } else {
      usage();
    }
  }
  if (!out || !haveFrames || !haveConvs || frames == 0 || conversations == 0) usage();
  if (conversations > 0xFFFFFFF0u) usage();
  if (conversations > frames) {
    std::fprintf(stderr, "gencapture: %llu conversations need at least as many frames; using %llu\n",
                 static_cast<unsigned long long>(conversations),
                 static_cast<unsigned long long>(frames));
    conversations = frames;
  }

  Output file(out);
  Generator g(file, frames, static_cast<uint32_t>(conversations), seed);
  g.run();
  file.close();
  std::fprintf(stderr, "gencapture: %s: %llu frames, %llu conversations, %llu bytes\n", out,
               static_cast<unsigned long long>(g.framesWritten()),
               static_cast<unsigned long long>(conversations),
               static_cast<unsigned long long>(file.written()));
  return 0;
}
