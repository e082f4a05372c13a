#include <gtest/gtest.h>

#include "parser/parser_tcp.h"
#include "storage/conversationstorage.h"
#include "storage/framefixtures.h"

using namespace morwick;
using namespace morwick::test;

namespace {

constexpr uint8_t FIN = 0x01, SYN = 0x02, RST = 0x04, PSH = 0x08, ACK = 0x10;

// One TCP connection between a client and a server, fed frame by frame into a store.
struct tSession {
    std::string_view ClientAddr = "10.0.0.9";
    std::string_view ServerAddr = "10.0.0.2";
    uint16_t ClientPort = 49152;
    uint16_t ServerPort = 80;
    tConversationStorage Store;
    int64_t Number = 0;

    void Send(bool FromClient, uint8_t Flags, uint32_t Seq, size_t Payload, tFrameTimeStamp Time) {
        tFrameBuilder b;
        b.ethernet(0x0800);
        if (FromClient) b.ipv4(IPv4(ClientAddr), IPv4(ServerAddr), 6).tcp(ClientPort, ServerPort, Flags, Seq);
        else b.ipv4(IPv4(ServerAddr), IPv4(ClientAddr), 6).tcp(ServerPort, ClientPort, Flags, Seq);
        b.payload(Payload);
        ++Number;
        Store.AddFrame(MakeRawFrame(b.build(), {.Number = Number, .Time = Time}));
    }
    // SYN with sequence 1000 at 0 s, SYN/ACK at 50 ms, the client's ACK (1001) at RTT.
    void Handshake(int32_t RTTns = 100'000'000) {
        Send(true, SYN, 1000, 0, At(0));
        Send(false, SYN | ACK, 5000, 0, At(0, RTTns / 2));
        Send(true, ACK, 1001, 0, At(0, RTTns));
    }
    const tTCPConversation& Conv() const {
        const tTCPConversation* c = Store.FindTCPConversation(
            SocketPair(IP(V4(ClientAddr)), ClientPort, IP(V4(ServerAddr)), ServerPort));
        EXPECT_NE(c, nullptr);
        static const tTCPConversation kNone{};
        return c ? *c : kNone;
    }
};

}  // namespace

TEST(TCPSessions, HandshakeMeasuresTheRoundTrip) {
    tSession s;
    s.Send(true, SYN, 1000, 0, At(0, 900'000'000));
    EXPECT_EQ(s.Conv().SessionStatus, 1);
    s.Send(false, SYN | ACK, 5000, 0, At(1, 0));
    EXPECT_EQ(s.Conv().SessionStatus, 1);  // a SYN/ACK to the recorded client
    s.Send(true, ACK, 1001, 0, At(1, 100'000'000));
    const tTCPConversation& c = s.Conv();
    EXPECT_EQ(c.SessionStatus, 6);
    EXPECT_EQ(c.ClientIP, IP(V4("10.0.0.9")));
    EXPECT_EQ(c.InitialRTTns, 200'000'000);
    EXPECT_EQ(c.HandshakeCount, 1);
    EXPECT_EQ(c.InitialSequenceNo, 1000u);
    EXPECT_EQ(c.HandshakeThird, 1001u);
    EXPECT_EQ(c.HandshakeThirdTime, At(1, 100'000'000));
    EXPECT_TRUE(c.SynSeen);
    EXPECT_FALSE(c.FinSeen);
    EXPECT_EQ(c.Flags, (tTCPFlagSet{tcpSYN, tcpACK}));
    EXPECT_EQ(c.FramesSrcToDst + c.FramesDstToSrc, 3);
    // The client 10.0.0.9 is the normalised Destination; its SYN came first.
    EXPECT_TRUE(c.Attributes.has(caAddressPairFlipped));
    EXPECT_FALSE(c.Attributes.has(caOneSidedCommunication));
    EXPECT_EQ(c.Markers, tMarkerSet{mFoundByIPv4});
    EXPECT_EQ(SessionDescription(c.SessionStatus, c.Attributes), "Handshake complete");
}

TEST(TCPSessions, TeardownAfterTheHandshake) {
    struct Case {
        const char* name;
        size_t clientData;   // bytes the client sends before the close
        bool serverCloses;
        tFrameTimeStamp closeTime;
        uint8_t status;
    };
    const Case cases[] = {
        {"client data, client FIN", 100, false, At(2), 7},
        {"no data, client FIN", 0, false, At(2), 7},
        {"client data, server FIN", 100, true, At(9), 7},
        {"no data, server FIN after 5 s", 0, true, At(5, 100'000'000), 11},
        {"no data, server FIN after 0.5 s", 0, true, At(0, 600'000'000), 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tSession s;
        s.Handshake(100'000'000);
        if (c.clientData > 0) s.Send(true, PSH | ACK, 1001, c.clientData, At(1));
        if (c.serverCloses) s.Send(false, FIN | ACK, 5001, 0, c.closeTime);
        else s.Send(true, FIN | ACK, static_cast<uint32_t>(1001 + c.clientData), 0, c.closeTime);
        const tTCPConversation& conv = s.Conv();
        EXPECT_EQ(conv.SessionStatus, c.status);
        EXPECT_TRUE(conv.FinSeen);
        EXPECT_EQ(conv.FinTimestamp, c.closeTime);
        EXPECT_EQ(conv.ClientPayloadBytes, static_cast<int64_t>(c.clientData));
        EXPECT_EQ(conv.ServerPayloadBytes, 0);
        EXPECT_EQ(conv.PayloadBytes, static_cast<int32_t>(c.clientData));
    }
}

TEST(TCPSessions, EarlyEndings) {
    struct Step {
        bool fromClient;
        uint8_t flags;
        uint32_t seq;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        uint8_t status;
        tConversationAttributeSet expected;
        const char* description;
    };
    const Case cases[] = {
        {"SYN rejected", {{true, SYN, 7}, {false, RST | ACK, 0}}, 5, {caTCPSYNReset}, "SYN rejected"},
        {"SYN two way", {{true, SYN, 7}, {false, SYN, 9}}, 3, {}, "SYN Two Way"},
        // A SYN/ACK that is not addressed to the recorded client leaves the session half open.
        {"half-open", {{true, SYN, 7}, {true, SYN | ACK, 9}}, 4, {}, "TCP half-open"},
        {"half-open then reset", {{true, SYN, 7}, {true, SYN | ACK, 9}, {false, RST, 0}}, 9, {}, "TCP half-open then reset"},
        {"SYN retries", {{true, SYN, 7}, {true, SYN, 7}, {true, SYN, 7}}, 1, {caTCPMultiSYNRetry}, "SYN sent"},
        {"SYN/ACK first", {{false, SYN | ACK, 9}}, 2, {}, "SYN/ACK sent"},
        {"teardown without handshake", {{true, ACK, 50}, {false, FIN | ACK, 60}}, 8, {}, "Teardown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tSession s;
        int second = 0;
        for (const Step& step : c.steps) s.Send(step.fromClient, step.flags, step.seq, 0, At(second++));
        const tTCPConversation& conv = s.Conv();
        EXPECT_EQ(conv.SessionStatus, c.status);
        const tConversationAttributeSet sessionMarks{caTCPSYNReset, caTCPMultiSYNRetry, caTCPPortReused};
        EXPECT_EQ(conv.Attributes & sessionMarks, c.expected);
        EXPECT_EQ(SessionDescription(conv.SessionStatus, conv.Attributes), c.description);
        EXPECT_EQ(conv.SynRetries, std::string_view(c.name) == "SYN retries" ? 2 : 0);
    }
}

TEST(TCPSessions, PortReuseAfterHandshakeAndTeardown) {
    tSession s;
    s.Handshake();
    s.Send(true, FIN | ACK, 1001, 0, At(1));
    ASSERT_EQ(s.Conv().SessionStatus, 7);
    s.Send(true, SYN, 777, 0, At(30));
    const tTCPConversation& c = s.Conv();
    EXPECT_EQ(c.SessionStatus, 7);
    EXPECT_TRUE(c.Attributes.has(caTCPPortReused));
    EXPECT_EQ(SessionDescription(c.SessionStatus, c.Attributes), "Handshake and Teardown, port reused");
    // The handshake was measured once; the new SYN does not start a second measurement.
    EXPECT_EQ(c.HandshakeCount, 1);
}

TEST(TCPSessions, MidStreamPickupGuessesTheClientByPorts) {
    struct Case {
        uint16_t clientPort, serverPort;
        bool clientKnown;
    };
    for (const Case c : {Case{49152, 443, true}, Case{80, 443, false}, Case{3306, 3389, false}}) {
        SCOPED_TRACE(c.clientPort);
        tSession s;
        s.ClientPort = c.clientPort;
        s.ServerPort = c.serverPort;
        s.Send(true, PSH | ACK, 100, 40, At(0));
        s.Send(false, PSH | ACK, 900, 60, At(1));
        const tTCPConversation& conv = s.Conv();
        EXPECT_EQ(conv.SessionStatus, 0);
        EXPECT_FALSE(conv.SynSeen);
        if (c.clientKnown) {
            EXPECT_EQ(conv.ClientIP, IP(V4("10.0.0.9")));
            // The first segment built the record; only the later ones are counted.
            EXPECT_EQ(conv.ServerPayloadBytes, 60);
            EXPECT_EQ(conv.ClientPayloadBytes, 0);
        } else if (c.clientPort == 3306) {
            // Both ports listed: the normalised Source (10.0.0.2:3389) is taken as client.
            EXPECT_EQ(conv.ClientIP, IP(V4("10.0.0.2")));
        } else {
            EXPECT_TRUE(conv.ClientIP.isZeroAddress());
            EXPECT_EQ(conv.ClientPayloadBytes, 0);
            EXPECT_EQ(conv.ServerPayloadBytes, 0);
        }
    }
}

TEST(TCPSessions, PayloadIsCountedPerSide) {
    tSession s;
    s.Send(true, SYN, 1000, 0, At(0));
    s.Send(false, SYN | ACK, 5000, 0, At(0, 1000));
    s.Send(true, PSH | ACK, 1001, 300, At(0, 2000));
    s.Send(false, PSH | ACK, 5001, 1200, At(0, 3000));
    s.Send(false, PSH | ACK, 6201, 800, At(0, 4000));
    const tTCPConversation& c = s.Conv();
    EXPECT_EQ(c.ClientPayloadBytes, 300);
    EXPECT_EQ(c.ServerPayloadBytes, 2000);
    EXPECT_EQ(c.PayloadBytes, 2300);
    // The data segment carried HandshakeThird: it completed the handshake.
    EXPECT_EQ(c.SessionStatus, 6);
    EXPECT_EQ(c.InitialRTTns, 2000);
}

TEST(TCPSessions, HandshakeThirdWrapsAround) {
    tSession s;
    s.Send(true, SYN, 0xFFFFFFFFu, 0, At(0));
    EXPECT_EQ(s.Conv().HandshakeThird, 0u);
    s.Send(false, SYN | ACK, 10, 0, At(0, 10));
    s.Send(true, ACK, 0, 0, At(0, 20));
    EXPECT_EQ(s.Conv().SessionStatus, 6);
    EXPECT_EQ(s.Conv().InitialRTTns, 20);

    tSession withData;
    withData.Send(true, SYN, 0xFFFFFFF0u, 0x20, At(0));
    EXPECT_EQ(withData.Conv().HandshakeThird, 0x11u);
    EXPECT_EQ(withData.Conv().ClientPayloadBytes, 0x20);
}

TEST(TCPSessions, SegmentBetweenPortsOfOneHostCountsForward) {
    tSession s;
    s.ServerAddr = s.ClientAddr;
    s.Send(false, ACK, 1, 0, At(0));  // from port 80 to 49152 of the same address
    s.Send(true, ACK, 1, 0, At(1));
    const tTCPConversation& c = s.Conv();
    EXPECT_EQ(c.FramesSrcToDst, 2);
    EXPECT_EQ(c.FramesDstToSrc, 0);
    EXPECT_FALSE(c.Attributes.has(caAddressPairFlipped));
}

TEST(TCPSessions, IPv6ConversationsAreMarkedIPv6) {
    tConversationStorage store;
    tFrameBuilder b;
    b.ethernet(0x86DD).ipv6(IPv6(0x2001, 1), IPv6(0x2001, 2), 6).tcp(50000, 443, SYN, 42);
    store.AddFrame(MakeRawFrame(b.build(), {}));
    const tTCPConversation* c =
        store.FindTCPConversation(SocketPair(IP(V6(IPv6(0x2001, 1))), 50000, IP(V6(IPv6(0x2001, 2))), 443));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Markers, tMarkerSet{mFoundByIPv6});
    EXPECT_EQ(c->ClientIP, IP(V6(IPv6(0x2001, 1))));
    EXPECT_EQ(c->SessionStatus, 1);
    EXPECT_FALSE(c->Attributes.has(caNoQuickFilter));
}
