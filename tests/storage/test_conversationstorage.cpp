#include "storage/conversationstorage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "base/errors.h"
#include "storage/framefixtures.h"

using namespace morwick;
using namespace morwick::test;

namespace {

const tMAC kMacA = tFrameBuilder::kMacA;
const tMAC kMacB = tFrameBuilder::kMacB;

// Ethernet / IPv4 / UDP from Src to Dst (MAC A to B when Forward, else B to A).
tBytes UDPFrame(std::string_view Src, std::string_view Dst, uint16_t SrcPort, uint16_t DstPort, bool Forward,
                size_t Payload = 20) {
    tFrameBuilder b;
    if (Forward) b.ethernet(0x0800, kMacB, kMacA);
    else b.ethernet(0x0800, kMacA, kMacB);
    b.ipv4(IPv4(Src), IPv4(Dst), 17).udp(SrcPort, DstPort).payload(Payload);
    return b.build();
}

tBytes TCPFrame(std::string_view Src, std::string_view Dst, tBytes IPOptions = {}) {
    tFrameBuilder b;
    b.ethernet(0x0800).ipv4(IPv4(Src), IPv4(Dst), 6, IPOptions).tcp(40000, 8443, 0x18).payload(10);
    return b.build();
}

// Both stores hold the same records in the same order, dictionary by dictionary.
template <typename Map>
void ExpectSameMap(const Map& A, const Map& B, const char* Name) {
    ASSERT_EQ(A.size(), B.size()) << Name;
    auto b = B.begin();
    for (const auto& [key, record] : A) {
        EXPECT_TRUE(key == b->first) << Name;
        EXPECT_TRUE(record == b->second) << Name << " " << record.DictionaryKey();
        ++b;
    }
}

void ExpectSameStore(const tConversationStorage& A, const tConversationStorage& B) {
    ExpectSameMap(A.MACEndpoints(), B.MACEndpoints(), "MAC endpoints");
    ExpectSameMap(A.MACConversations(), B.MACConversations(), "MAC conversations");
    ExpectSameMap(A.IPv4Endpoints(), B.IPv4Endpoints(), "IPv4 endpoints");
    ExpectSameMap(A.IPv4Conversations(), B.IPv4Conversations(), "IPv4 conversations");
    ExpectSameMap(A.IPv6Endpoints(), B.IPv6Endpoints(), "IPv6 endpoints");
    ExpectSameMap(A.IPv6Conversations(), B.IPv6Conversations(), "IPv6 conversations");
    ExpectSameMap(A.TCPConversations(), B.TCPConversations(), "TCP conversations");
    ExpectSameMap(A.UDPConversations(), B.UDPConversations(), "UDP conversations");
}

}  // namespace

TEST(ConversationStorage, FrameWithoutKnownLinkLayerAddsNothing) {
    tConversationStorage store;
    store.AddFrame(MakeRawFrame(UDPFrame("10.0.0.1", "10.0.0.2", 1000, 2000, true), {.LinkType = 105}));
    EXPECT_TRUE(store.MACEndpoints().empty());
    EXPECT_TRUE(store.IPv4Endpoints().empty());
    EXPECT_TRUE(store.UDPConversations().empty());
}

TEST(ConversationStorage, SingleFrameBuildsEveryLayerRecord) {
    tConversationStorage store;
    const tBytes bytes = UDPFrame("10.0.0.2", "10.0.0.1", 5000, 6000, true);
    store.AddFrame(MakeRawFrame(bytes, {.Number = 7, .Time = At(3, 500), .Interface = 2, .Offset = 4242}));
    const uint32_t wire = static_cast<uint32_t>(bytes.size());

    const tMACEndpoint* src = store.FindMACEndpoint(MAC(kMacA));
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->FramesSent, 1);
    EXPECT_EQ(src->BytesSent, wire);
    EXPECT_EQ(src->FramesReceived, 0);
    EXPECT_EQ(src->Markers, tMarkerSet{mFoundByEthernet});
    EXPECT_EQ(src->FirstFrameIndex, 7);
    EXPECT_EQ(src->LastFrameOffset, 4242);
    EXPECT_EQ(src->FirstFrameTime, At(3, 500));
    EXPECT_EQ(src->OriginTimestamp, At(3, 500));
    EXPECT_EQ(InterfaceListToString(src->InterfaceList), "2");
    EXPECT_EQ(src->Attributes, (tConversationAttributeSet{caSingleFrame, caNoQuickFilter}));

    const tIPv4Endpoint* sender = store.FindIPv4Endpoint(V4("10.0.0.2"));
    const tIPv4Endpoint* receiver = store.FindIPv4Endpoint(V4("10.0.0.1"));
    ASSERT_NE(sender, nullptr);
    ASSERT_NE(receiver, nullptr);
    EXPECT_EQ(sender->TTL, 64);
    EXPECT_EQ(receiver->TTL, 0);
    EXPECT_EQ(receiver->BytesReceived, wire);
    EXPECT_EQ(sender->Markers, tMarkerSet{mFoundByIPv4});

    tIPv4AddressPair pair;
    pair.initialize(V4("10.0.0.1"), V4("10.0.0.2"));
    const tIPv4Conversation* conv = store.FindIPv4Conversation(pair);
    ASSERT_NE(conv, nullptr);
    // The frame went from the normalised Destination to the Source.
    EXPECT_EQ(conv->IPv4AddressPair.Source, V4("10.0.0.1"));
    EXPECT_EQ(conv->FramesDstToSrc, 1);
    EXPECT_EQ(conv->BytesDstToSrc, wire);
    EXPECT_EQ(conv->FramesSrcToDst, 0);
    EXPECT_EQ(conv->OriginAddressPair.Source, V4("10.0.0.2"));
    EXPECT_EQ(conv->Attributes,
              (tConversationAttributeSet{caSingleFrame, caOneSidedCommunication, caAddressPairFlipped, caNoQuickFilter}));

    const tUDPConversation* udp =
        store.FindUDPConversation(SocketPair(IP(V4("10.0.0.1")), 6000, IP(V4("10.0.0.2")), 5000));
    ASSERT_NE(udp, nullptr);
    EXPECT_EQ(udp->SocketPair.DictionaryKey(), "10.0.0.1:6000-10.0.0.2:5000");
    EXPECT_EQ(udp->FramesDstToSrc, 1);
    EXPECT_EQ(udp->Markers, tMarkerSet{mFoundByIPv4});
    EXPECT_TRUE(udp->Attributes.has(caAddressPairFlipped));
}

// Frames merged in groups leave the store exactly as frames merged one by one: repeated
// conversations in both directions, a TCP handshake, time going backwards, a last group
// that is not full.
TEST(ConversationStorage, GroupedIntakeEqualsFrameByFrame) {
    std::vector<tBytes> frames;
    for (int round = 0; round < 5; ++round) {
        frames.push_back(UDPFrame("10.0.0.1", "10.0.0.2", 1111, 53000, true, 10 + round));
        frames.push_back(UDPFrame("10.0.0.2", "10.0.0.1", 53000, 1111, false, 30));
        frames.push_back(UDPFrame("10.0.0.3", "10.0.0.1", 999, 1111, false, 5));
        frames.push_back(TCPFrame("192.168.1.1", "192.168.1.2"));
    }
    tFrameBuilder syn, synAck, ack;
    syn.ethernet(0x0800).ipv4(IPv4("10.1.0.1"), IPv4("10.1.0.2"), 6).tcp(50000, 80, 0x02);
    synAck.ethernet(0x0800, kMacA, kMacB).ipv4(IPv4("10.1.0.2"), IPv4("10.1.0.1"), 6).tcp(80, 50000, 0x12);
    ack.ethernet(0x0800).ipv4(IPv4("10.1.0.1"), IPv4("10.1.0.2"), 6).tcp(50000, 80, 0x10);
    frames.push_back(syn.build());
    frames.push_back(synAck.build());
    frames.push_back(ack.build());

    struct tCase {
        int32_t Group;
        bool Threaded;  // merged by the store's merge thread
    };
    for (const tCase c : {tCase{2, false}, tCase{3, false}, tCase{16, false}, tCase{2, true}, tCase{5, true}}) {
        SCOPED_TRACE(testing::Message() << c.Group << (c.Threaded ? " threaded" : ""));
        tConversationStorage single, grouped;
        grouped.setFrameGroupSize(c.Group);
        grouped.setMergeThread(c.Threaded);
        EXPECT_EQ(grouped.FrameGroupSize(), c.Group);
        EXPECT_EQ(grouped.MergeThread(), c.Threaded);
        int64_t number = 0;
        for (const tBytes& bytes : frames) {
            ++number;
            // every seventh frame a second earlier than the one before it
            const tRawFrame frame =
                MakeRawFrame(bytes, {.Number = number, .Time = At(number % 7 == 0 ? number - 2 : number)});
            single.AddFrame(frame);
            grouped.AddFrame(frame);
        }
        grouped.FlushFrameGroup();
        ExpectSameStore(single, grouped);
        ASSERT_NE(grouped.FindTCPConversation(SocketPair(IP(V4("10.1.0.1")), 50000, IP(V4("10.1.0.2")), 80)),
                  nullptr);
    }
}

TEST(ConversationStorage, ReadingAPendingGroupIsAFault) {
    tConversationStorage store;
    store.setFrameGroupSize(4);
    store.AddFrame(MakeRawFrame(UDPFrame("10.0.0.1", "10.0.0.2", 1, 2, true), {}));
    EXPECT_THROW(store.UDPConversations(), tAssertionError);
    EXPECT_THROW(store.FindIPv4Endpoint(V4("10.0.0.1")), tAssertionError);
    store.FlushFrameGroup();
    EXPECT_EQ(store.UDPConversations().size(), 1u);
    EXPECT_NE(store.FindIPv4Endpoint(V4("10.0.0.1")), nullptr);
}

TEST(ConversationStorage, TwoDirectionsOfOneConversation) {
    struct Case {
        bool firstFromLower;  // the first frame goes from 10.0.0.1 (the normalised Source)
        bool flipped;
    };
    for (const Case c : {Case{true, false}, Case{false, true}}) {
        SCOPED_TRACE(c.firstFromLower);
        tConversationStorage store;
        const tBytes up = UDPFrame("10.0.0.1", "10.0.0.2", 1111, 53000, true, 10);
        const tBytes down = UDPFrame("10.0.0.2", "10.0.0.1", 53000, 1111, false, 30);
        store.AddFrame(MakeRawFrame(c.firstFromLower ? up : down, {.Number = 1, .Time = At(1)}));
        store.AddFrame(MakeRawFrame(c.firstFromLower ? down : up, {.Number = 2, .Time = At(2)}));

        tIPv4AddressPair pair;
        pair.initialize(V4("10.0.0.2"), V4("10.0.0.1"));
        const tIPv4Conversation* conv = store.FindIPv4Conversation(pair);
        ASSERT_NE(conv, nullptr);
        EXPECT_EQ(store.IPv4Conversations().size(), 1u);
        EXPECT_EQ(conv->FramesSrcToDst, 1);
        EXPECT_EQ(conv->FramesDstToSrc, 1);
        EXPECT_EQ(conv->BytesSrcToDst, static_cast<int64_t>(up.size()));
        EXPECT_EQ(conv->BytesDstToSrc, static_cast<int64_t>(down.size()));
        EXPECT_FALSE(conv->Attributes.has(caOneSidedCommunication));
        EXPECT_FALSE(conv->Attributes.has(caSingleFrame));
        EXPECT_EQ(conv->Attributes.has(caAddressPairFlipped), c.flipped);
        EXPECT_EQ(conv->OriginTimestamp, tFrameTimeStamp{});
        EXPECT_EQ(conv->FirstFrame, 1);
        EXPECT_EQ(conv->LastFrame, 2);

        const tMACConversation* mac = store.FindMACConversation(tMACAddressPair{MAC(kMacB), MAC(kMacA), 0});
        ASSERT_NE(mac, nullptr);
        EXPECT_EQ(mac->FramesSrcToDst + mac->FramesDstToSrc, 2);
        EXPECT_FALSE(mac->Attributes.has(caOneSidedCommunication));

        const tUDPConversation* udp =
            store.FindUDPConversation(SocketPair(IP(V4("10.0.0.2")), 53000, IP(V4("10.0.0.1")), 1111));
        ASSERT_NE(udp, nullptr);
        EXPECT_EQ(udp->FramesSrcToDst, 1);
        EXPECT_EQ(udp->FramesDstToSrc, 1);
        EXPECT_EQ(udp->Attributes.has(caAddressPairFlipped), c.flipped);

        const tIPv4Endpoint* ep = store.FindIPv4Endpoint(V4("10.0.0.1"));
        ASSERT_NE(ep, nullptr);
        EXPECT_EQ(ep->FramesSent, 1);
        EXPECT_EQ(ep->FramesReceived, 1);
    }
}

TEST(ConversationStorage, SameDirectionTwiceStaysOneSided) {
    tConversationStorage store;
    const tBytes up = UDPFrame("10.0.0.1", "10.0.0.2", 1111, 2222, true);
    store.AddFrame(MakeRawFrame(up, {.Number = 1, .Time = At(1)}));
    store.AddFrame(MakeRawFrame(up, {.Number = 2, .Time = At(2), .Interface = 3}));
    tIPv4AddressPair pair;
    pair.initialize(V4("10.0.0.1"), V4("10.0.0.2"));
    const tIPv4Conversation* conv = store.FindIPv4Conversation(pair);
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(conv->FramesSrcToDst, 2);
    EXPECT_TRUE(conv->Attributes.has(caOneSidedCommunication));
    EXPECT_TRUE(conv->Attributes.has(caMultipleInterfaces));
    EXPECT_FALSE(conv->Attributes.has(caSpansMultipleFiles));
    EXPECT_EQ(InterfaceListToString(conv->InterfaceList), "0,3");
}

TEST(ConversationStorage, OutOfOrderTimeStamps) {
    tConversationStorage store;
    store.AddFrame(MakeRawFrame(UDPFrame("10.0.0.1", "10.0.0.2", 1, 2, true), {.Number = 1, .Time = At(10, 5)}));
    store.AddFrame(MakeRawFrame(UDPFrame("10.0.0.1", "10.0.0.3", 1, 2, true), {.Number = 2, .Time = At(10, 4)}));

    // Shared by both frames: the source endpoints and the MAC records.
    for (const auto* ep : {store.FindIPv4Endpoint(V4("10.0.0.1"))}) {
        ASSERT_NE(ep, nullptr);
        EXPECT_TRUE(ep->Attributes.has(caTimeOutOfOrder));
        EXPECT_EQ(ep->FirstFrameTime, At(10, 4));
        EXPECT_EQ(ep->LastFrameTime, At(10, 5));
        EXPECT_EQ(ep->FirstFrame, 1);
        EXPECT_EQ(ep->LastFrame, 2);
    }
    const tMACEndpoint* mac = store.FindMACEndpoint(MAC(kMacA));
    ASSERT_NE(mac, nullptr);
    EXPECT_TRUE(mac->Attributes.has(caTimeOutOfOrder));
    // Records of only one frame are not affected.
    const tIPv4Endpoint* other = store.FindIPv4Endpoint(V4("10.0.0.3"));
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(other->Attributes.has(caTimeOutOfOrder));
}

TEST(ConversationStorage, MultiTTLAndHopLimits) {
    tConversationStorage store;
    tBytes first = UDPFrame("10.0.0.1", "10.0.0.2", 1, 2, true);
    tBytes second = first;
    second[kIPv4TTLOffset] = 128;
    tBytes same = first;
    store.AddFrame(MakeRawFrame(first, {.Number = 1, .Time = At(1)}));
    store.AddFrame(MakeRawFrame(same, {.Number = 2, .Time = At(2)}));
    const tIPv4Endpoint* sender = store.FindIPv4Endpoint(V4("10.0.0.1"));
    ASSERT_NE(sender, nullptr);
    EXPECT_FALSE(sender->Attributes.has(caMultiTTL));
    store.AddFrame(MakeRawFrame(second, {.Number = 3, .Time = At(3)}));
    EXPECT_TRUE(sender->Attributes.has(caMultiTTL));
    EXPECT_EQ(sender->TTL, 64);
    const tIPv4Endpoint* receiver = store.FindIPv4Endpoint(V4("10.0.0.2"));
    ASSERT_NE(receiver, nullptr);
    EXPECT_EQ(receiver->TTL, 0);
    EXPECT_FALSE(receiver->Attributes.has(caMultiTTL));

    // IPv6 keeps the hop limit with the address the packets went to.
    tConversationStorage v6store;
    tFrameBuilder b;
    b.ethernet(0x86DD).ipv6(IPv6(0x2001, 1), IPv6(0x2001, 2), 17).udp(1000, 2000).payload(8);
    tBytes v6 = b.build();
    v6store.AddFrame(MakeRawFrame(v6, {.Number = 1}));
    v6[14 + 7] = 255;
    v6store.AddFrame(MakeRawFrame(v6, {.Number = 2, .Time = At(1)}));
    const tIPv6Endpoint* to = v6store.FindIPv6Endpoint(V6(IPv6(0x2001, 2)));
    const tIPv6Endpoint* from = v6store.FindIPv6Endpoint(V6(IPv6(0x2001, 1)));
    ASSERT_NE(to, nullptr);
    ASSERT_NE(from, nullptr);
    EXPECT_EQ(to->HopLimit, 64);
    EXPECT_TRUE(to->Attributes.has(caMultiTTL));
    EXPECT_EQ(from->HopLimit, 0);
    EXPECT_EQ(from->Markers, tMarkerSet{mFoundByIPv6});
}

TEST(ConversationStorage, TrailerAndHardSliceAttributes) {
    tFrameBuilder small;
    small.ethernet(0x0800).ipv4(IPv4("10.0.0.1"), IPv4("10.0.0.2"), 6).tcp(1000, 2000, 0x10);
    const tBytes padded60 = small.buildPadded(60);        // 14 + 40 + 6 padding bytes
    const tBytes padded100 = small.buildPadded(100);      // 40 + 14 + 4 < 100
    tFrameBuilder big;
    big.ethernet(0x0800).ipv4(IPv4("10.0.0.1"), IPv4("10.0.0.2"), 6).tcp(1000, 2000, 0x18).payload(400);
    tBytes sliced = big.build();
    sliced.resize(200);  // captured and wire size 200, the IPv4 header says 440

    struct Case {
        const char* name;
        tBytes bytes;
        uint32_t wire;
        bool trailer;
        bool hardSliced;
    };
    const Case cases[] = {
        {"padded to 60", padded60, 0, false, false},
        {"padded to 100", padded100, 0, true, false},
        {"sliced, wire = captured", sliced, 0, false, true},
        {"sliced, wire recorded", sliced, 454, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tConversationStorage store;
        store.AddFrame(MakeRawFrame(c.bytes, {.WireSize = c.wire}));
        const tIPv4Endpoint* ep = store.FindIPv4Endpoint(V4("10.0.0.1"));
        ASSERT_NE(ep, nullptr);
        EXPECT_EQ(ep->Attributes.has(caEthernetTrailerPresent), c.trailer);
        EXPECT_EQ(ep->Attributes.has(caHardSliced), c.hardSliced);
        const tTCPConversation* tcp =
            store.FindTCPConversation(SocketPair(IP(V4("10.0.0.1")), 1000, IP(V4("10.0.0.2")), 2000));
        ASSERT_NE(tcp, nullptr);
        EXPECT_EQ(tcp->Attributes.has(caEthernetTrailerPresent), c.trailer);
        // The Ethernet records come before the IP layer and never carry IP findings.
        const tMACEndpoint* mac = store.FindMACEndpoint(MAC(kMacA));
        ASSERT_NE(mac, nullptr);
        EXPECT_FALSE(mac->Attributes.has(caEthernetTrailerPresent));
        EXPECT_FALSE(mac->Attributes.has(caHardSliced));
    }
}

TEST(ConversationStorage, ARPMergesIntoEthernetRecords) {
    tConversationStorage store;
    const tMAC zero{};
    // A request: the target hardware address is still unknown (all zero).
    store.AddFrame(MakeRawFrame(ARPFrame(1, kMacA, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kMacA, "10.0.0.1", zero,
                                         "10.0.0.2"),
                                {.Number = 1, .Time = At(1)}));
    // The reply: sender and target equal the Ethernet source and destination.
    const tBytes reply = ARPFrame(2, kMacB, kMacA, kMacB, "10.0.0.2", kMacA, "10.0.0.1");
    store.AddFrame(MakeRawFrame(reply, {.Number = 2, .Time = At(2)}));

    const tMACEndpoint* b = store.FindMACEndpoint(MAC(kMacB));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Markers, (tMarkerSet{mFoundByEthernet, mFoundByARP}));
    EXPECT_EQ(b->FramesSent, 1);
    EXPECT_EQ(b->BytesSent, static_cast<int64_t>(reply.size()));
    EXPECT_EQ(b->FramesReceived, 0);

    const tMACEndpoint* unknown = store.FindMACEndpoint(MAC(zero));
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->Markers, tMarkerSet{mFoundByARP});
    EXPECT_EQ(unknown->FramesReceived + unknown->FramesSent, 0);

    const tIPv4Endpoint* ip = store.FindIPv4Endpoint(V4("10.0.0.2"));
    ASSERT_NE(ip, nullptr);
    EXPECT_EQ(ip->Markers, tMarkerSet{mFoundByARP});
    EXPECT_EQ(ip->FramesReceived + ip->FramesSent, 0);
    EXPECT_EQ(ip->TTL, 0);

    tIPv4AddressPair pair;
    pair.initialize(V4("10.0.0.1"), V4("10.0.0.2"));
    const tIPv4Conversation* conv = store.FindIPv4Conversation(pair);
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(conv->FramesSrcToDst + conv->FramesDstToSrc, 0);
    // Both directions were reported, first by 10.0.0.1 (the normalised Source).
    EXPECT_FALSE(conv->Attributes.has(caOneSidedCommunication));
    EXPECT_FALSE(conv->Attributes.has(caAddressPairFlipped));
    EXPECT_FALSE(conv->Attributes.has(caNoQuickFilter));
}

namespace {

// A stand-in ICMP error header (type 3, 8 bytes) followed by the quoted IPv4 header, for
// builds whose walk does not decode ICMP itself.
class tQuotingICMPParser : public tFrameParser {
public:
    using tFrameParser::tFrameParser;
    bool checkIsPlausible() override { return true; }
    tParseResult parse() override {
        priv_osilayer = 3;
        prot_layersize = 8;
        priv_nextAnchor = {hdrIPv4, priv_frameoffset + 8};
        return isAvailable(priv_frameoffset, 8) ? prSuccess : prFailUndersize;
    }
};

tFrameParser* MakeQuotingICMPParser(tParserArena& Arena, const tParserArgs& A) {
    return Arena.make<tQuotingICMPParser>(A.Data, A.Offset, A.CapturedLength, A.WireLength, A.FrameIndex);
}

bool WalkHasType(const tRawFrame& Frame, int32_t Type) {
    const tParseMaster master(Frame, ppmParseAll);
    for (const auto& e : master.ParseList())
        if (e.Anchor.HeaderType == Type) return true;
    return false;
}

}  // namespace

TEST(ConversationStorage, ICMPQuotedHeadersGetTheirOwnMarker) {
    // Router 10.9.9.9 tells 10.0.0.1 that its packet to 10.0.0.2 could not be delivered.
    tFrameBuilder quoted;
    quoted.ipv4(IPv4("10.0.0.1"), IPv4("10.0.0.2"), 17).udp(3333, 4444).payload(400);
    tBytes inner = quoted.build();
    inner.resize(28);  // the quote holds the IP header and 8 bytes of the datagram
    tFrameBuilder outer;
    outer.ethernet(0x0800, kMacA, kMacB).ipv4(IPv4("10.9.9.9"), IPv4("10.0.0.1"), 1);
    outer.raw({3, 1, 0, 0, 0, 0, 0, 0});
    for (uint8_t byte : inner) outer.raw({byte});
    const tBytes bytes = outer.build();
    const tRawFrame frame = MakeRawFrame(bytes, {.Number = 5});

    const bool builtin = WalkHasType(frame, hdrICMP);
    if (!builtin) SetParserFactoryOverride(hdrICMP, &MakeQuotingICMPParser);
    tConversationStorage store;
    store.AddFrame(frame);
    if (!builtin) SetParserFactoryOverride(hdrICMP, nullptr);

    const tIPv4Endpoint* router = store.FindIPv4Endpoint(V4("10.9.9.9"));
    ASSERT_NE(router, nullptr);
    EXPECT_EQ(router->Markers, tMarkerSet{mFoundByIPv4});
    const tIPv4Endpoint* target = store.FindIPv4Endpoint(V4("10.0.0.2"));
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->Markers, tMarkerSet{mFoundByICMP});
    EXPECT_EQ(target->BytesReceived, static_cast<int64_t>(bytes.size()));
    // The quoted header claims 436 bytes, more than the frame: that is no slicing.
    EXPECT_FALSE(target->Attributes.has(caHardSliced));
    const tIPv4Endpoint* host = store.FindIPv4Endpoint(V4("10.0.0.1"));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->Markers, (tMarkerSet{mFoundByIPv4, mFoundByICMP}));
    EXPECT_EQ(host->FramesReceived, 1);
    EXPECT_EQ(host->FramesSent, 1);
    // TTL comes only from a packet's own header.
    EXPECT_EQ(host->TTL, 0);
    tIPv4AddressPair pair;
    pair.initialize(V4("10.0.0.1"), V4("10.0.0.2"));
    const tIPv4Conversation* conv = store.FindIPv4Conversation(pair);
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(conv->Markers, tMarkerSet{mFoundByICMP});
    EXPECT_TRUE(conv->Attributes.has(caNoQuickFilter));
}

TEST(ConversationStorage, QuickFilterMark) {
    tFrameBuilder v6;
    v6.ethernet(0x86DD).ipv6(IPv6(0x2001, 1), IPv6(0x2001, 2), 6).tcp(1000, 2000);
    tFrameBuilder tunnel;
    tunnel.ethernet(0x0800).ipv4(IPv4("192.168.0.1"), IPv4("192.168.0.2"), 4);
    tunnel.ipv4(IPv4("10.0.0.1"), IPv4("10.0.0.2"), 6).tcp(1000, 2000).payload(4);
    tFrameBuilder vlan;
    vlan.ethernet(0x8100).vlan(5, 0x0800).ipv4(IPv4("10.0.0.1"), IPv4("10.0.0.2"), 6).tcp(1000, 2000);

    struct Case {
        const char* name;
        tBytes bytes;
        bool marked;
    };
    const Case cases[] = {
        {"Ethernet/IPv4/TCP", TCPFrame("10.0.0.1", "10.0.0.2"), false},
        {"IPv4 options", TCPFrame("10.0.0.1", "10.0.0.2", {1, 1, 1, 0}), true},
        {"Ethernet/IPv4/UDP", UDPFrame("10.0.0.1", "10.0.0.2", 1000, 2000, true), true},
        {"Ethernet/IPv6/TCP", v6.build(), false},
        {"IPv4 in IPv4", tunnel.build(), true},
        {"VLAN tag", vlan.build(), true},
        {"Ethernet/ARP", ARPFrame(1, kMacA, kMacB, kMacA, "10.0.0.1", kMacB, "10.0.0.2"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tConversationStorage store;
        store.AddFrame(MakeRawFrame(c.bytes, {}));
        ASSERT_FALSE(store.MACEndpoints().empty());
        for (const auto& [key, ep] : store.MACEndpoints()) EXPECT_EQ(ep.Attributes.has(caNoQuickFilter), c.marked);
        for (const auto& [key, ep] : store.IPv4Endpoints()) EXPECT_EQ(ep.Attributes.has(caNoQuickFilter), c.marked);
        for (const auto& [key, conv] : store.TCPConversations())
            EXPECT_EQ(conv.Attributes.has(caNoQuickFilter), c.marked);
    }
}

TEST(ConversationStorage, TunnelledFrameRecordsBothIPLayers) {
    tFrameBuilder b;
    b.ethernet(0x0800).ipv4(IPv4("192.168.0.1"), IPv4("192.168.0.2"), 4);
    b.ipv4(IPv4("10.0.0.1"), IPv4("10.0.0.2"), 17).udp(1000, 2000).payload(4);
    tConversationStorage store;
    store.AddFrame(MakeRawFrame(b.build(), {}));
    EXPECT_EQ(store.IPv4Endpoints().size(), 4u);
    EXPECT_EQ(store.IPv4Conversations().size(), 2u);
    // The transport belongs to the inner pair.
    ASSERT_EQ(store.UDPConversations().size(), 1u);
    EXPECT_NE(store.FindUDPConversation(SocketPair(IP(V4("10.0.0.1")), 1000, IP(V4("10.0.0.2")), 2000)), nullptr);
}

TEST(ConversationStorage, IPv6SocketPairsWithCollidingOldKeyTextsStayApart) {
    // 1:10::2 and 11::2 both read "110000002" once the colons are dropped.
    tIPv6Bytes a{}, c{}, server = IPv6(0x2001, 0x99);
    a[1] = 0x01; a[3] = 0x10; a[15] = 0x02;
    c[1] = 0x11; c[15] = 0x02;
    tIPv6SocketPair pa, pc;
    pa.initialize(tIPv6Socket{0, V6(a), 80}, tIPv6Socket{0, V6(server), 80});
    pc.initialize(tIPv6Socket{0, V6(c), 80}, tIPv6Socket{0, V6(server), 80});
    ASSERT_EQ(pa.CompactKeyText(), pc.CompactKeyText());

    tConversationStorage store;
    for (const auto& src : {a, c}) {
        tFrameBuilder b;
        b.ethernet(0x86DD).ipv6(src, server, 6).tcp(80, 80, 0x10);
        store.AddFrame(MakeRawFrame(b.build(), {}));
    }
    EXPECT_EQ(store.TCPConversations().size(), 2u);
    EXPECT_EQ(store.IPv6Conversations().size(), 2u);
    const tTCPConversation* first = store.FindTCPConversation(SocketPair(IP(V6(a)), 80, IP(V6(server)), 80));
    const tTCPConversation* second = store.FindTCPConversation(SocketPair(IP(V6(c)), 80, IP(V6(server)), 80));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->FramesSrcToDst + first->FramesDstToSrc, 1);
    EXPECT_NE(first->DictionaryKey(), second->DictionaryKey());
}

TEST(ConversationStorage, RecordsFromAnotherFileSpanFiles) {
    tConversationStorage store;
    store.AddFrame(MakeRawFrame(UDPFrame("10.0.0.1", "10.0.0.2", 1, 2, true), {.Number = 1, .Time = At(5)}));
    tIPv4Endpoint loaded;
    loaded.initialize(4);
    loaded.IPv4Address = V4("10.0.0.1");
    loaded.FramesSent = 3;
    loaded.FirstFrame = 10;
    loaded.LastFrame = 20;
    loaded.FirstFrameTime = At(1);
    loaded.LastFrameTime = At(9);
    loaded.Markers = tMarkerSet{mFoundByIPv4};
    loaded.TTL = 0;
    loaded.InterfaceList.push_back(tInterfaceFileIDEntry{4, 1});
    store.AddIPv4Endpoint(loaded);
    const tIPv4Endpoint* ep = store.FindIPv4Endpoint(V4("10.0.0.1"));
    ASSERT_NE(ep, nullptr);
    EXPECT_EQ(ep->FramesSent, 4);
    EXPECT_TRUE(ep->Attributes.has(caSpansMultipleFiles));
    EXPECT_EQ(InterfaceListToString(ep->InterfaceList), "0/0;4/0");
    // Later file: the last values move, the first values stay with file 0.
    EXPECT_EQ(ep->LastFileID, 4);
    EXPECT_EQ(ep->LastFrame, 20);
    EXPECT_EQ(ep->LastFrameTime, At(9));
    EXPECT_EQ(ep->FirstFileID, 0);
    EXPECT_EQ(ep->FirstFrame, 1);
    EXPECT_EQ(ep->FirstFrameTime, At(5));
    EXPECT_FALSE(ep->Attributes.has(caTimeOutOfOrder));
}

TEST(ConversationStorage, RealCapturesDoNotBreakTheIntake) {
    namespace fs = std::filesystem;
    const fs::path folder = MORWICK_CAPTURES;
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no capture folder";
    // Classic little-endian microsecond pcap files are read here directly, so that this
    // sweep depends on nothing but the store.
    size_t files = 0, frames = 0;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file() || item.file_size() > (8u << 20)) continue;
        std::ifstream in(item.path(), std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (data.size() < 24 || data[0] != 0xD4 || data[1] != 0xC3 || data[2] != 0xB2 || data[3] != 0xA1) continue;
        const uint32_t link = data[20] | (data[21] << 8) | (data[22] << 16) | (uint32_t(data[23]) << 24);
        tConversationStorage store, grouped, threaded;
        grouped.setFrameGroupSize(16);
        threaded.setFrameGroupSize(64);
        threaded.setMergeThread(true);
        size_t pos = 24;
        int64_t number = 0;
        while (pos + 16 <= data.size()) {
            auto le = [&](size_t at) {
                return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (uint32_t(data[at + 3]) << 24);
            };
            const uint32_t incl = le(pos + 8), orig = le(pos + 12);
            if (incl > 65535 || pos + 16 + incl > data.size()) break;
            const tBytes bytes(data.begin() + static_cast<long>(pos + 16), data.begin() + static_cast<long>(pos + 16 + incl));
            tRawFrame frame = MakeRawFrame(bytes, {.Number = ++number, .Time = At(le(pos) % 100000, 0),
                                                   .WireSize = orig, .Offset = static_cast<int64_t>(pos), .LinkType = link});
            store.AddFrame(frame);
            grouped.AddFrame(frame);
            threaded.AddFrame(frame);
            pos += 16 + incl;
            ++frames;
        }
        grouped.FlushFrameGroup();
        ExpectSameStore(store, grouped);
        threaded.FlushFrameGroup();
        ExpectSameStore(store, threaded);
        for (const auto& [key, conv] : store.TCPConversations()) {
            EXPECT_LE(conv.SessionStatus, 11);
            EXPECT_GE(conv.ClientPayloadBytes, 0);
            EXPECT_GE(conv.ServerPayloadBytes, 0);
        }
        ++files;
    }
    if (files == 0) GTEST_SKIP() << "no classic pcap files";
    EXPECT_GT(frames, 0u);
}
