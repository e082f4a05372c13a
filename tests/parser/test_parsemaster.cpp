#include "parser/parsemaster.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "parser/framebuilder.h"
#include "parser/parser_8021q.h"

namespace morwick {
namespace {

using test::IPv4;
using test::IPv6;
using test::tBytes;
using test::tIPv6Bytes;
using test::tFrameBuilder;

constexpr int32_t kFrameNo = 42;
constexpr int32_t kFileNo = 3;

tRawFrame MakeFrame(const tBytes& bytes, uint32_t LinkType = 1, uint32_t WireSize = 0) {
    tWireDetails wire;
    wire.LinkType = LinkType;
    wire.CaptureSize = static_cast<uint32_t>(bytes.size());
    wire.WireSize = WireSize ? WireSize : static_cast<uint32_t>(bytes.size());
    return tRawFrame(tTimingDetails{}, wire, tFileFrameLocation{kFileNo, kFrameNo, 0}, bytes);
}

std::vector<int32_t> Types(const tParseMaster& pm) {
    std::vector<int32_t> types;
    for (int32_t i = 1; i <= pm.ParserCount(); ++i) types.push_back(pm.getParserTypeByIndex(i));
    return types;
}

// Captures what the walk writes to the debug log.
class tLogCapture {
public:
    tLogCapture() : priv_previous(spdlog::default_logger()) {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(priv_out);
        sink->set_pattern("%l|%v");
        auto logger = std::make_shared<spdlog::logger>("capture", sink);
        logger->set_level(spdlog::level::trace);
        spdlog::set_default_logger(logger);
    }
    ~tLogCapture() { spdlog::set_default_logger(priv_previous); }
    std::string text() const { return priv_out.str(); }

private:
    std::ostringstream priv_out;
    std::shared_ptr<spdlog::logger> priv_previous;
};

const uint32_t kA = IPv4("10.0.0.1");
const uint32_t kB = IPv4("10.0.0.2");

tBytes EthIPv4TCP(size_t Payload, uint16_t Src = 49152, uint16_t Dst = 80) {
    return tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 6).tcp(Src, Dst).payload(Payload).build();
}

struct tWalkCase {
    const char* what;
    tBytes bytes;
    uint32_t linkType;
    std::vector<int32_t> types;
    int32_t payloadLength;
    int32_t paddingCount;
    bool hasFCS;
    tParseProcessMode mode = ppmParseAll;
};

TEST(ParseMaster, WalksTheHeadersOfCommonFrames) {
    const tBytes ethTcp = EthIPv4TCP(0);
    const tBytes padded = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 6).tcp(1234, 80).buildPadded();
    const tBytes withFCS = tFrameBuilder::withFCS(padded);
    tBytes llcPlain = tFrameBuilder().ethernet(0x0026).llc(0x42, 0x42).payload(35).build();
    const tWalkCase cases[] = {
        {"TCP without payload", ethTcp, 1, {hdrEthernet, hdrIPv4, hdrTCP}, 0, 0, false},
        {"TCP with payload", EthIPv4TCP(10), 1, {hdrEthernet, hdrIPv4, hdrTCP}, 10, 0, false},
        {"60-byte frame with padding", padded, 1, {hdrEthernet, hdrIPv4, hdrTCP}, 0, 6, false},
        {"64-byte frame with FCS", withFCS, 1, {hdrEthernet, hdrIPv4, hdrTCP}, 0, 6, true},
        {"two VLAN tags",
         tFrameBuilder().ethernet(0x8100).vlan(100, 0x8100).vlan(200, 0x0800).ipv4(kA, kB, 17)
             .udp(1000, 2000).payload(4).build(),
         1, {hdrEthernet, hdrVLAN, hdrVLAN, hdrIPv4, hdrUDP}, 4, 0, false},
        {"LLC without SNAP", llcPlain, 1, {hdrEthernet, hdrLLC}, 35, 0, false},
        {"LLC with SNAP",
         tFrameBuilder().ethernet(0x0030).snap(0x0800).ipv4(kA, kB, 17).udp(1000, 2000)
             .payload(12).build(),
         1, {hdrEthernet, hdrLLC, hdrIPv4, hdrUDP}, 12, 0, false},
        {"MPLS stack",
         tFrameBuilder().ethernet(0x8847).mpls(16, false).mpls(17, true).ipv4(kA, kB, 6)
             .tcp(1234, 80).payload(3).build(),
         1, {hdrEthernet, hdrMPLS, hdrMPLS, hdrIPv4, hdrTCP}, 3, 0, false},
        {"Linux cooked with VLAN tag",
         tFrameBuilder().linuxSLL(4, 0x0800, tFrameBuilder::kMacA, 7).ipv4(kA, kB, 17)
             .udp(1000, 2000).payload(5).build(),
         113, {hdrLinuxSLL, hdrIPv4, hdrUDP}, 5, 0, false},
        {"Juniper with stripped link header",
         tFrameBuilder().juniper(0x03).ipv4(kA, kB, 17).udp(1000, 2000).payload(5).build(), 178,
         {hdrJuniper, hdrIPv4, hdrUDP}, 5, 0, false},
        {"Juniper with Ethernet",
         tFrameBuilder().juniper(0x01).ethernet(0x0800).ipv4(kA, kB, 17).udp(1000, 2000)
             .payload(5).build(),
         178, {hdrJuniper, hdrEthernet, hdrIPv4, hdrUDP}, 5, 0, false},
        {"FabricPath",
         tFrameBuilder().fabricPath().ethernet(0x0800).ipv4(kA, kB, 17).udp(1000, 2000)
             .payload(5).build(),
         1, {hdrFabricPath, hdrEthernet, hdrIPv4, hdrUDP}, 5, 0, false},
        {"IPv4 with options",
         tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 6, {0x01, 0x01, 0x01, 0x00}).tcp(1234, 80)
             .payload(2).build(),
         1, {hdrEthernet, hdrIPv4, hdrTCP}, 2, 0, false},
        {"raw IPv4 (101)", tFrameBuilder().ipv4(kA, kB, 17).udp(1000, 2000).payload(5).build(),
         101, {hdrIPv4, hdrUDP}, 5, 0, false},
        {"raw IPv4 (228)", tFrameBuilder().ipv4(kA, kB, 17).udp(1000, 2000).payload(5).build(),
         228, {hdrIPv4, hdrUDP}, 5, 0, false},
        {"link type 105", EthIPv4TCP(0), 105, {}, 54, 0, false},
        {"layer-2 mode stops before IP",
         tFrameBuilder().ethernet(0x8100).vlan(5, 0x0800).ipv4(kA, kB, 6).tcp(1, 2).build(), 1,
         {hdrEthernet, hdrVLAN}, 40, 0, false, ppmUpToLayer2},
        {"layer-3 mode stops before TCP", EthIPv4TCP(6), 1, {hdrEthernet, hdrIPv4}, 26, 0, false,
         ppmUpToLayer3},
        {"layer-4 mode keeps the DNS message as payload",
         tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17).udp(53, 5353).payload(20).build(), 1,
         {hdrEthernet, hdrIPv4, hdrUDP}, 20, 0, false, ppmUpToLayer4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const tRawFrame frame = MakeFrame(c.bytes, c.linkType);
        const tParseMaster pm(frame, c.mode);
        EXPECT_EQ(Types(pm), c.types);
        EXPECT_EQ(pm.RemainingPayloadLen(), c.payloadLength);
        EXPECT_EQ(pm.HasRemainingPayload(), c.payloadLength > 0);
        EXPECT_EQ(pm.PaddingByteCount(), c.paddingCount);
        EXPECT_EQ(pm.HasEthernetFCS(), c.hasFCS);
        EXPECT_EQ(pm.ParserErrorCount(), 0);
        if (c.payloadLength > 0) {
            // The payload is the tail of the frame before the trailer.
            const tFrameChunk payload = pm.RemainingPayloadCopy();
            const size_t start = c.bytes.size() - static_cast<size_t>(c.paddingCount) -
                                 (c.hasFCS ? 4 : 0) - static_cast<size_t>(c.payloadLength);
            EXPECT_TRUE(std::equal(payload.Bytes().begin(), payload.Bytes().end(),
                                   c.bytes.begin() + static_cast<std::ptrdiff_t>(start)));
            // The view, the kept chunk and the copy hold the same bytes, and the view
            // lies in the frame itself.
            EXPECT_EQ(pm.RemainingPayloadBytes().data(), frame.Data() + start);
            EXPECT_TRUE(std::ranges::equal(pm.RemainingPayloadBytes(), payload.Bytes()));
            EXPECT_EQ(pm.RemainingPayload(), payload);
            EXPECT_EQ(&pm.RemainingPayload(), &pm.RemainingPayload());
        } else {
            EXPECT_TRUE(pm.RemainingPayloadBytes().empty());
            EXPECT_EQ(pm.RemainingPayload().Len(), 0);
            EXPECT_EQ(pm.RemainingPayloadCopy().Data(), nullptr);
        }
    }
}

TEST(ParseMaster, TrailerPaddingAndFrameCheckSequence) {
    const tBytes padded = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 6).tcp(1234, 80).buildPadded();
    struct tCase {
        const char* what;
        tBytes bytes;
        bool fcs, fcsCorrect;
        int32_t padding;
        uint32_t wire;
    } cases[] = {
        {"padding only", padded, false, true, 6, 0},
        {"padding and a correct FCS", tFrameBuilder::withFCS(padded, true), true, true, 6, 0},
        {"padding and a wrong FCS", tFrameBuilder::withFCS(padded, false), true, false, 6, 0},
        // A trailer that is not zeros followed by a sequence is all padding.
        {"non-zero trailer", [&] { tBytes b = padded; b[55] = 0x33; b.resize(64, 0x11); return b; }(),
         false, true, 10, 0},
        {"FCS alone", tFrameBuilder::withFCS(EthIPv4TCP(0)), true, true, 0, 0},
        {"three trailing bytes", [] { tBytes b = EthIPv4TCP(0); b.resize(57, 0); return b; }(),
         false, true, 3, 0},
        // Captured without the four bytes the wire had: the trailer is what was captured.
        {"sliced FCS", padded, false, true, 6, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const tRawFrame frame = MakeFrame(c.bytes, 1, c.wire);
        const tParseMaster pm(frame, ppmParseAll);
        EXPECT_EQ(pm.HasEthernetFCS(), c.fcs);
        EXPECT_EQ(pm.EthernetFSCCorrect(), c.fcsCorrect);
        EXPECT_EQ(pm.PaddingByteCount(), c.padding);
        EXPECT_EQ(pm.PaddingByteCopy().Len(), c.padding);
        // Padding starts right after the IPv4 packet (54 bytes) in every case.
        const auto start = c.bytes.begin() + 54;
        EXPECT_TRUE(std::ranges::equal(pm.PaddingBytes(), std::span(start, start + c.padding)));
        EXPECT_TRUE(std::ranges::equal(pm.PaddingByteCopy().Bytes(), pm.PaddingBytes()));
        EXPECT_EQ(pm.RemainingPayloadLen(), 0);
        if (c.fcs) {
            const size_t n = c.bytes.size();
            const uint32_t last = (uint32_t{c.bytes[n - 4]} << 24) | (uint32_t{c.bytes[n - 3]} << 16) |
                                  (uint32_t{c.bytes[n - 2]} << 8) | c.bytes[n - 1];
            EXPECT_EQ(pm.EthernetFCS(), last);
        }
    }
}

TEST(ParseMaster, SummaryOfAnEthernetIPv4TCPFrame) {
    const tBytes bytes = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 6, {}, 0x4000, 0x0BCD)
                             .tcp(40000, 443, 0x12, 777, 888).payload(9).build();
    const tRawFrame frame = MakeFrame(bytes, 1, 1500);
    const tParseMaster pm(frame, ppmParseAll);
    ASSERT_EQ(pm.ParserCount(), 3);
    EXPECT_EQ(pm.EtherLayerCount(), 1);
    EXPECT_EQ(pm.IPLayerCount(), 1);
    EXPECT_EQ(pm.VLANCount(), 0);
    EXPECT_EQ(pm.VLANIDsAsString(), "");
    EXPECT_EQ(pm.FirstIPLayerVersion(), 4);
    EXPECT_EQ(pm.LastIPLayerVersion(), 4);
    EXPECT_EQ(pm.Identification(), 0x0BCD);
    EXPECT_EQ(pm.Layer4Protocol(), 6);
    EXPECT_EQ(pm.IPv4SocketPair().Source.IPAddress.ValueAsLong, kA);
    EXPECT_EQ(pm.IPv4SocketPair().Destination.IPAddress.ValueAsLong, kB);
    EXPECT_EQ(pm.IPv4SocketPair().Source.Port, 40000);
    EXPECT_EQ(pm.IPv4SocketPair().Destination.Port, 443);
    EXPECT_EQ(pm.MACAddressPair().Source.RangeBytes, tFrameBuilder::kMacA);
    EXPECT_EQ(pm.MACAddressPair().Destination.RangeBytes, tFrameBuilder::kMacB);
    EXPECT_EQ(pm.TCPSequenceNo().Value, 777u);
    EXPECT_EQ(pm.TCPAcknowledgeNo().Value, 888u);
    EXPECT_TRUE(pm.TCPFlags().has(tcpSYN));
    EXPECT_TRUE(pm.TCPFlags().has(tcpACK));
    EXPECT_EQ(pm.TCPPayloadLength(), 9);
    EXPECT_FALSE(pm.IsFragment());
    EXPECT_TRUE(pm.IsTruncated());
    EXPECT_EQ(pm.TruncatedByteCount(), 1500 - static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(pm.ComplexityRating(), 1);
    EXPECT_EQ(pm.ParsedProtocols(), (tParsedProtocolSet{ppEthernet, ppIPv4, ppTCP}));

    ASSERT_EQ(pm.IPLayers().size(), 1u);
    const tSocketLayerEntry& socket = pm.IPLayers()[0];
    EXPECT_EQ(socket.IPVersion, 4);
    EXPECT_EQ(socket.Layer4NextProtocol, l4TCP);
    EXPECT_EQ(socket.IPv4SocketPair.Destination.Port, 443);
    EXPECT_EQ(socket.EthernetAddrPair.Source.RangeBytes, tFrameBuilder::kMacA);

    EXPECT_EQ(pm.LayerOffsetList()[2], (tLayerOffset{0, 14}));
    EXPECT_EQ(pm.LayerOffsetList()[3], (tLayerOffset{14, 34}));
    EXPECT_EQ(pm.LayerOffsetList()[4], (tLayerOffset{34, 54}));
    EXPECT_EQ(pm.LayerOffsetList()[7], (tLayerOffset{-1, -1}));

    EXPECT_EQ(pm.getParserTypeByIndex(4), hdrInvalid);
    EXPECT_EQ(pm.getParserByIndex(4), nullptr);
    EXPECT_EQ(pm.getParserParseInfoByIndex(4).Parser, nullptr);
    EXPECT_FALSE(pm.getParserCRCOkayByIndex(4));
    EXPECT_EQ(pm.getParserByIndex(2), pm.getParserByProtocol(ppIPv4, 1));
    EXPECT_EQ(pm.getParserByProtocol(ppIPv4, 0), pm.getParserByProtocol(ppIPv4, 1));
    EXPECT_EQ(pm.getParserByProtocol(ppIPv4, 2), nullptr);
    EXPECT_EQ(pm.getParserByProtocol(ppUDP, 1), nullptr);
    EXPECT_EQ(pm.getParserParseInfoByIndex(3).Anchor, (tProtocolAnchor{hdrTCP, 34}));
    EXPECT_EQ(pm.getParserByIndex(3)->ParentAnchor(), (tProtocolAnchor{hdrIPv4, 14}));
}

TEST(ParseMaster, ChecksumsOfEachLayer) {
    const tIPv6Bytes src = IPv6(0x2001, 1), dst = IPv6(0x2001, 2);
    struct tCase {
        const char* what;
        tBytes bytes;
        std::vector<bool> crc;  // per entry
    } cases[] = {
        {"TCP right", EthIPv4TCP(7), {false, true, true}},
        {"TCP wrong",
         tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 6).tcp(1, 2).corruptChecksum().payload(7).build(),
         {false, true, false}},
        {"IPv4 header wrong",
         tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17).corruptChecksum().udp(1, 2).payload(7).build(),
         {false, false, true}},
        {"UDP right",
         tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17).udp(1000, 2000).payload(7).build(),
         {false, true, true}},
        {"UDP wrong",
         tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17).udp(1000, 2000).corruptChecksum().payload(7).build(),
         {false, true, false}},
        {"TCP over IPv6 right",
         tFrameBuilder().ethernet(0x86DD).ipv6(src, dst, 6).tcp(1000, 80).payload(5).build(),
         {false, false, true}},
        {"UDP over IPv6 wrong",
         tFrameBuilder().ethernet(0x86DD).ipv6(src, dst, 17).udp(1000, 2000).corruptChecksum().payload(5).build(),
         {false, false, false}},
        {"UDP over IPv6 right, odd length",
         tFrameBuilder().ethernet(0x86DD).ipv6(src, dst, 17).udp(1000, 2000).payload(13).build(),
         {false, false, true}},
        {"TCP over IPv6 wrong",
         tFrameBuilder().ethernet(0x86DD).ipv6(src, dst, 6).tcp(1000, 80).corruptChecksum().payload(6).build(),
         {false, false, false}},
        {"TCP right, odd length", EthIPv4TCP(1), {false, true, true}},
        {"TCP right, long payload", EthIPv4TCP(1401), {false, true, true}},
        // The Ethernet padding after the IP packet takes no part in the checksums.
        {"TCP right, trailer after the packet",
         [] { tBytes b = EthIPv4TCP(3); b.resize(b.size() + 9, 0x5A); return b; }(),
         {false, true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const tRawFrame frame = MakeFrame(c.bytes);
        const tParseMaster pm(frame, ppmParseAll);
        ASSERT_EQ(pm.ParserCount(), static_cast<int32_t>(c.crc.size()));
        for (int32_t i = 1; i <= pm.ParserCount(); ++i)
            EXPECT_EQ(pm.getParserCRCOkayByIndex(i), c.crc[static_cast<size_t>(i - 1)]) << i;
    }
}

TEST(ParseMaster, VLANTagsAndComplexity) {
    const tBytes one = tFrameBuilder().ethernet(0x8100).vlan(300, 0x0800).ipv4(kA, kB, 17)
                           .udp(1, 2).build();
    const tBytes two = tFrameBuilder().ethernet(0x88A8).vlan(100, 0x8100).vlan(200, 0x0800)
                           .ipv4(kA, kB, 17).udp(1, 2).build();
    const tRawFrame f1 = MakeFrame(one), f2 = MakeFrame(two);
    const tParseMaster p1(f1, ppmParseAll), p2(f2, ppmParseAll);
    EXPECT_EQ(p1.VLANCount(), 1);
    EXPECT_EQ(p1.VLANID(), 300);
    EXPECT_EQ(p1.VLANIDsAsString(), "300");
    EXPECT_EQ(p1.ComplexityRating(), 2);
    EXPECT_EQ(p2.VLANCount(), 2);
    EXPECT_EQ(p2.VLANID(), 200);
    EXPECT_EQ(p2.VLANIDsAsString(), "100-200");
    EXPECT_EQ(p2.ComplexityRating(), 10);
    EXPECT_EQ(static_cast<t802dot1qParser*>(p2.getParserByProtocol(ppVLANTag, 2))->VLANID(), 200);

    const tRawFrame arp = MakeFrame(tFrameBuilder().ethernet(0x0806).arp(1, kA, kB).buildPadded());
    EXPECT_EQ(tParseMaster(arp, ppmParseAll).ComplexityRating(), 0);
}

TEST(ParseMaster, ARPWithTrailer) {
    const tBytes bytes = tFrameBuilder().ethernet(0x0806).arp(2, kA, kB).buildPadded();
    const tRawFrame frame = MakeFrame(bytes);
    const tParseMaster pm(frame, ppmParseAll);
    EXPECT_EQ(Types(pm), (std::vector<int32_t>{hdrEthernet, hdrARP}));
    EXPECT_TRUE(pm.ParsedProtocols().has(ppARP));
    EXPECT_EQ(pm.LayerOffsetList()[3], (tLayerOffset{14, 42}));
    // ARP has no next header: the 18 zero bytes after it are padding.
    EXPECT_EQ(pm.RemainingPayloadLen(), 0);
    EXPECT_EQ(pm.PaddingByteCount(), 18);
    EXPECT_FALSE(pm.HasEthernetFCS());
}

TEST(ParseMaster, FragmentsAreFlagged) {
    const tIPv6Bytes src = IPv6(0xFE80, 1), dst = IPv6(0xFE80, 2);
    const tBytes v4first = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17, {}, 0x2000)
                               .udp(1, 2).payload(30).build();
    const tBytes v4later = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17, {}, 0x0004)
                               .payload(30).build();
    const tBytes v6 = tFrameBuilder().ethernet(0x86DD).ipv6(src, dst, 44).ipv6Fragment(17, 0, true)
                          .udp(1, 2).payload(30).build();
    for (const tBytes* bytes : {&v4first, &v4later, &v6}) {
        const tRawFrame frame = MakeFrame(*bytes);
        const tParseMaster pm(frame, ppmParseAll);
        EXPECT_TRUE(pm.IsFragment());
        ASSERT_GE(pm.ParserCount(), 2);
        EXPECT_EQ(pm.getParserTypeByIndex(1), hdrEthernet);
    }
    const tRawFrame frame = MakeFrame(v6);
    const tParseMaster pm(frame, ppmParseAll);
    ASSERT_GE(pm.ParserCount(), 3);
    EXPECT_EQ(pm.getParserTypeByIndex(3), hdrIPv6Fragment);
    EXPECT_EQ(pm.LastIPLayerVersion(), 6);
    EXPECT_EQ(pm.Layer4Protocol(), 0);  // next header 44 is not a transport
}

TEST(ParseMaster, MPLSLabelsMarkTunnels) {
    const tBytes bytes = tFrameBuilder().ethernet(0x8847).mpls(16, false).mpls(17, true)
                             .ipv4(kA, kB, 6).tcp(1234, 80).build();
    const tRawFrame frame = MakeFrame(bytes);
    const tParseMaster pm(frame, ppmParseAll);
    ASSERT_EQ(pm.ParserCount(), 5);
    const tTunnelFlagSet expected[] = {
        {tfTunnelCarrier, tfTunnelMPLS}, {tfTunnelCarrier, tfTunnelMPLS},
        {tfTunnelLayer, tfTunnelMPLS}, {tfTunnelPayload}, {tfTunnelPayload}};
    for (int32_t i = 1; i <= 5; ++i)
        EXPECT_EQ(pm.getParserParseInfoByIndex(i).TunnelFlags, expected[i - 1]) << i;
    EXPECT_TRUE(pm.ParsedProtocols().has(ppMPLS));
}

TEST(ParseMaster, InvalidValuesDropTheLayerAndAreLogged) {
    // A TCP data offset of 4 words is impossible.
    tBytes bytes = EthIPv4TCP(8);
    bytes[14 + 20 + 12] = 0x40;
    tLogCapture log;
    const tRawFrame frame = MakeFrame(bytes);
    const tParseMaster pm(frame, ppmParseAll);
    EXPECT_EQ(Types(pm), (std::vector<int32_t>{hdrEthernet, hdrIPv4}));
    EXPECT_EQ(pm.RemainingPayloadLen(), 28);
    EXPECT_EQ(pm.RemainingPayloadCopy().getByte(0), bytes[34]);
    EXPECT_FALSE(pm.ParsedProtocols().has(ppTCP));
    EXPECT_EQ(log.text(), "error|Invalid values while parsing frame #42 of file 3\n");
}

TEST(ParseMaster, UndersizeDropsTheLayerWithoutLogging) {
    tLogCapture log;
    const tBytes full = EthIPv4TCP(0);
    const tBytes cut(full.begin(), full.begin() + 20);  // IPv4 header cut short
    const tRawFrame frame = MakeFrame(cut, 1, 60);
    const tParseMaster pm(frame, ppmParseAll);
    EXPECT_EQ(Types(pm), (std::vector<int32_t>{hdrEthernet}));
    EXPECT_EQ(pm.RemainingPayloadLen(), 6);
    EXPECT_TRUE(pm.IsTruncated());
    EXPECT_EQ(pm.TruncatedByteCount(), 40);
    EXPECT_EQ(log.text(), "");
}

TEST(ParseMaster, EmptyFrame) {
    const tRawFrame frame = MakeFrame({});
    const tParseMaster pm(frame, ppmParseAll);
    EXPECT_EQ(pm.ParserCount(), 0);
    EXPECT_EQ(pm.RemainingPayloadLen(), 0);
    EXPECT_EQ(pm.PaddingByteCount(), 0);
}

// A parser that throws while parsing, and one that names its own offset again and again.
class tThrowingParser : public tFrameParser {
public:
    using tFrameParser::tFrameParser;
    bool checkIsPlausible() override { return true; }
    tParseResult parse() override { throw std::runtime_error("broken parser"); }
};
class tStuckParser : public tFrameParser {
public:
    using tFrameParser::tFrameParser;
    bool checkIsPlausible() override { return true; }
    tParseResult parse() override {
        priv_osilayer = 7;
        priv_nextAnchor = {hdrNTP, priv_frameoffset};
        return prSuccess;
    }
};

class tOverride {
public:
    tOverride(int32_t Type, tParserFactory Factory) : priv_type(Type) {
        SetParserFactoryOverride(Type, Factory);
    }
    ~tOverride() { SetParserFactoryOverride(priv_type, nullptr); }

private:
    int32_t priv_type;
};

TEST(ParseMaster, AnExceptionInOneLayerIsContained) {
    tOverride o(hdrNTP, [](tParserArena& a, const tParserArgs& x) -> tFrameParser* {
        return a.make<tThrowingParser>(x.Data, x.Offset, x.CapturedLength, x.WireLength, x.FrameIndex);
    });
    tLogCapture log;
    const tBytes bytes = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17).udp(123, 123).payload(48).build();
    const tRawFrame frame = MakeFrame(bytes);
    const tParseMaster pm(frame, ppmParseAll);
    EXPECT_EQ(pm.ParserErrorCount(), 1);
    EXPECT_EQ(Types(pm), (std::vector<int32_t>{hdrEthernet, hdrIPv4, hdrUDP}));
    EXPECT_EQ(pm.RemainingPayloadLen(), 48);
    EXPECT_EQ(log.text(), "error|Exception triggered while parsing frame #42 of file 3\n");
}

TEST(ParseMaster, AWalkThatStopsMovingEnds) {
    tOverride o(hdrNTP, [](tParserArena& a, const tParserArgs& x) -> tFrameParser* {
        return a.make<tStuckParser>(x.Data, x.Offset, x.CapturedLength, x.WireLength, x.FrameIndex);
    });
    const tBytes bytes = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 17).udp(123, 123).payload(48).build();
    const tRawFrame frame = MakeFrame(bytes);
    const tParseMaster pm(frame, ppmParseAll);
    EXPECT_GT(pm.ParserCount(), 3);
    EXPECT_LT(pm.ParserCount(), 12);
    EXPECT_EQ(pm.RemainingPayloadLen(), 48);
}

TEST(ParseMaster, DiagnosticMessagesAreCollectedWithFrameAndParser) {
    // Two MSS options make the TCP parser warn.
    const tBytes bytes = tFrameBuilder().ethernet(0x0800).ipv4(kA, kB, 6)
                             .tcp(1, 2, 0x02, 1, 0, {2, 4, 5, 0xB4, 2, 4, 5, 0xB4}).build();
    const tRawFrame frame = MakeFrame(bytes);
    tParseMaster pm(frame, ppmParseAll);
    ASSERT_GE(pm.getDiagnosticMsgCount(), 1);
    const tDiagnosticMsg msg = pm.getDiagnosticMsg(1);
    EXPECT_EQ(msg.id, MSG_TCP_MULTIPLE_MSS_OPTIONS_SPECIFIED);
    EXPECT_EQ(msg.frameindex, kFrameNo);
    EXPECT_EQ(msg.parsertype, hdrTCP);
    EXPECT_EQ(pm.getDiagnosticMsg(0).id, 0);
    pm.clearDiagnosticMsgList();
    EXPECT_EQ(pm.getDiagnosticMsgCount(), 0);
}

TEST(ParseMasterRules, PortsRule) {
    struct tCase {
        bool udp;
        uint16_t src, dst;
        int32_t type;
    } cases[] = {
        {true, 53, 4789, hdrVXLAN},   {true, 37008, 53, hdrTZSP},  {false, 53, 4789, hdrDNS},
        {false, 80, 4789, hdrPayload}, {true, 1985, 1985, hdrHSRP}, {true, 1985, 80, hdrPayload},
        {true, 67, 68, hdrDHCPv4},    {true, 5000, 2055, hdrNetFlow}, {true, 2055, 5000, hdrPayload},
        {true, 123, 123, hdrNTP},     {true, 123, 5000, hdrPayload}, {false, 2152, 1, hdrGTPv1},
        {true, 1, 5072, hdrAYIYA},    {true, 6081, 1, hdrGeneve},  {true, 1, 5247, hdrCAPWAP},
        {false, 6081, 1, hdrPayload}, {true, 53, 53, hdrDNS},      {true, 0, 9996, hdrNetFlow},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeaderTypeByPorts(c.udp, c.src, c.dst), c.type)
            << (c.udp ? "UDP " : "TCP ") << c.src << "->" << c.dst;
}

TEST(ParseMasterRules, DepthModes) {
    struct tCase {
        tParseProcessMode mode;
        uint8_t layer;
        int32_t next;
        bool stop;
    } cases[] = {
        {ppmParseAll, 4, hdrDNS, false},      {ppmEdit, 2, hdrIPv4, false},
        {ppmUpToLayer4, 4, hdrDNS, true},     {ppmUpToLayer4, 4, hdrVXLAN, false},
        {ppmUpToLayer4, 4, hdrGTPv1, false},  {ppmUpToLayer4, 4, hdrTZSP, false}, {ppmUpToLayer4, 4, hdrNTP, true},
        {ppmUpToLayer4, 4, hdrNoNextHeader, true}, {ppmUpToLayer4, 3, hdrDNS, false},
        {ppmUpToLayer3, 3, hdrTCP, true},     {ppmUpToLayer3, 3, hdrIPv6, false},
        {ppmUpToLayer2, 2, hdrIPv4, true},    {ppmUpToLayer2, 2, hdrVLAN, false},
        {ppmUpToLayer2, 7, hdrIPv4, false},   {ppmSanitize, 2, hdrFabricPath, true},
        {ppmSanitize, 4, hdrDNS, true},       {ppmSanitize, 4, hdrVXLAN, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DepthLimitReached(c.mode, c.layer, c.next), c.stop)
            << int(c.mode) << "/" << int(c.layer) << "/" << c.next;
}

TEST(ParseMasterRules, StartTypesAndLayerClasses) {
    const uint8_t fabric[14] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x89, 0x03};
    EXPECT_EQ(StartHeaderType(1, fabric, 14), hdrFabricPath);
    EXPECT_EQ(StartHeaderType(1, fabric, 13), hdrEthernet);
    EXPECT_EQ(StartHeaderType(113, nullptr, 0), hdrLinuxSLL);
    EXPECT_EQ(StartHeaderType(127, nullptr, 0), hdrRadiotap);
    EXPECT_EQ(StartHeaderType(178, nullptr, 0), hdrJuniper);
    EXPECT_EQ(StartHeaderType(105, fabric, 14), hdrPayload);
    EXPECT_EQ(HeaderTypeLayerClass(hdrRadiotap), 1);
    EXPECT_EQ(HeaderTypeLayerClass(hdrLLC), 2);
    EXPECT_EQ(HeaderTypeLayerClass(hdrGeneve), 3);
    EXPECT_EQ(HeaderTypeLayerClass(hdrUDP), 4);
    EXPECT_EQ(HeaderTypeLayerClass(hdrLinuxSLL), 7);
    EXPECT_EQ(HeaderTypeLayerClass(12345), 7);
}

}  // namespace
}  // namespace morwick
