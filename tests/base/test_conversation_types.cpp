#include "base/conversation_types.h"

#include <gtest/gtest.h>

using namespace morwick;

namespace {

tInterfaceFileIDEntry Entry(int32_t file, uint32_t flags) { return tInterfaceFileIDEntry{file, flags}; }

}  // namespace

TEST(ConversationAttributes, StoredIntegerUsesTheDatabaseBits) {
    struct Case {
        tConversationAttributeSet set;
        uint32_t value;
    };
    const Case cases[] = {
        {{}, 0},
        {{caSingleFrame}, 32768},
        {{caTimeOutOfOrder, caTCPPortReused}, 2049},
        {{caEthernetTrailerPresent}, 16},
        {{caOneSidedCommunication, caMultipleInterfaces}, 6},
        {{caSpansMultipleFiles, caIPFragmented, caTCPMultiSession}, 8 + 32 + 64},
        {{caTCPSYNBlocked, caTCPMultiSYNRetry, caTCPSYNReset}, 4096 + 128 + 256},
        {{caAddressPairFlipped, caHardSliced, caNoQuickFilter, caMultiTTL}, 512 + 1024 + 8192 + 16384},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(AttributesToLong(c.set), c.value);
        EXPECT_EQ(LongToAttributes(c.value), c.set);
    }
    EXPECT_EQ(AttributesToLong(tConversationAttributeSet::FromMask(0xFFFF)), 65535u);
    // Bits above the highest attribute bit are ignored.
    EXPECT_EQ(LongToAttributes(65536 + 1), tConversationAttributeSet{caTimeOutOfOrder});
}

TEST(ConversationAttributes, EverySetSurvivesTheRoundTrip) {
    for (uint32_t mask = 0; mask <= 0xFFFF; ++mask) {
        const auto set = tConversationAttributeSet::FromMask(static_cast<uint16_t>(mask));
        ASSERT_EQ(LongToAttributes(AttributesToLong(set)), set) << mask;
    }
}

TEST(InterfaceEntry, TextFormAndIndexList) {
    tInterfaceFileIDEntry e;
    e.initialize(3, 40);  // 40 mod 32 = bit 8
    EXPECT_EQ(e.FileIndex, 3);
    EXPECT_EQ(e.InterfaceFlags, 1u << 8);
    e.MarkInterfaceIndexActive(0);
    e.MarkInterfaceIndexActive(33);
    EXPECT_EQ(e.toString(), "0,1,8");
    EXPECT_EQ(e.GetInterfaceIndexList(), (std::vector<int32_t>{0, 1, 8}));
    EXPECT_EQ(Entry(0, 0x29).toString(), "0,3,5");
    EXPECT_EQ(Entry(0, 0).toString(), "");
    EXPECT_EQ(Entry(0, 0x80000000u).toString(), "31");

    tAbsoluteFileInterface abs;
    abs.initialize(7, 2);
    tInterfaceFileIDEntry fromAbs;
    fromAbs.initialize(abs);
    EXPECT_EQ(fromAbs, Entry(7, 4));
}

TEST(InterfaceList, TextForms) {
    EXPECT_EQ(InterfaceListToString({}), "");
    EXPECT_EQ(InterfaceListToString({Entry(0, 0)}), "");
    EXPECT_EQ(InterfaceListToString({Entry(4, 0x9)}), "0,3");
    EXPECT_EQ(InterfaceListToString({Entry(1, 1), Entry(2, 0x6)}), "1/0;2/1,2");

    struct Case {
        const char* text;
        tInterfaceFileIDList expected;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"5/", {Entry(5, 0)}},
        {"0/1,2", {Entry(0, 0)}},
        {"-2/1", {Entry(0, 0)}},
        {"5/33", {Entry(5, 2)}},
        {" 7 /0,3", {Entry(7, 0x9)}},
        {"3/0;4/1,2", {Entry(3, 1), Entry(4, 0x6)}},
        {"6/1/9", {Entry(6, 2)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(InterfaceListFromString(c.text), c.expected);
    }
    // What the writer produces, prefixed with a file index, reads back.
    EXPECT_EQ(InterfaceListFromString("9/" + InterfaceListToString({Entry(0, 0x41)})), (tInterfaceFileIDList{Entry(9, 0x41)}));
}

TEST(InterfaceList, MergeAddAndFileSets) {
    EXPECT_EQ(MergeInterfaceLists({Entry(0, 2)}, {Entry(0, 4)}), (tInterfaceFileIDList{Entry(0, 6)}));
    EXPECT_EQ(MergeInterfaceLists({Entry(1, 1)}, {Entry(2, 1)}), (tInterfaceFileIDList{Entry(1, 1), Entry(2, 1)}));
    EXPECT_EQ(MergeInterfaceLists({Entry(1, 1), Entry(2, 1)}, {Entry(3, 8), Entry(1, 2)}),
              (tInterfaceFileIDList{Entry(1, 3), Entry(2, 1), Entry(3, 8)}));

    tInterfaceFileIDList list;
    AddInterfaceEntry(list, Entry(5, 1));
    AddInterfaceEntry(list, Entry(5, 4));
    AddInterfaceEntry(list, Entry(6, 1));
    EXPECT_EQ(list, (tInterfaceFileIDList{Entry(5, 5), Entry(6, 1)}));
    EXPECT_TRUE(FileIndexExistsInList(list, 6));
    EXPECT_FALSE(FileIndexExistsInList(list, 7));

    // Copies are independent, also once the list left its inline entry.
    tInterfaceFileIDList copy = list;
    AddInterfaceEntry(copy, Entry(8, 1));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(copy.size(), 3u);

    struct Case {
        tInterfaceFileIDList a, b;
        bool same;
    };
    const Case cases[] = {
        {{Entry(1, 1), Entry(2, 1)}, {Entry(2, 4), Entry(1, 8)}, true},
        {{Entry(1, 1)}, {Entry(1, 2), Entry(2, 1)}, false},
        {{Entry(1, 1)}, {Entry(1, 2)}, true},
        {{Entry(1, 1)}, {Entry(2, 1)}, false},
        {{Entry(1, 1), Entry(2, 1)}, {Entry(1, 1), Entry(3, 1)}, false},
        {{}, {}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(SameFileSet(c.a, c.b), c.same);
}

TEST(ConversationRecords, InitializeSetsFileIndexesAndClearsTheRest) {
    tTCPConversation tcp;
    tcp.FramesSrcToDst = 9;
    tcp.ClientRandom = "x";
    tcp.InterfaceList.push_back(Entry(1, 1));
    tcp.Attributes.add(caMultiTTL);
    tcp.initialize(7);
    EXPECT_EQ(tcp.FirstFileID, 7);
    EXPECT_EQ(tcp.LastFileID, 7);
    EXPECT_EQ(tcp.OriginFileIndex, 7);
    EXPECT_EQ(tcp.FramesSrcToDst, 0);
    EXPECT_TRUE(tcp.ClientRandom.empty());
    EXPECT_TRUE(tcp.InterfaceList.empty());
    EXPECT_TRUE(tcp.Attributes.empty());
    EXPECT_EQ(tcp.ClientIP.IPVersion, 0);

    tMACEndpoint mac;
    mac.initialize(3);
    EXPECT_EQ(mac.FirstFileID, 3);
    EXPECT_EQ(mac.OriginFileIndex, 3);
    tIPv6Endpoint v6;
    v6.HopLimit = 5;
    v6.initialize(2);
    EXPECT_EQ(v6.HopLimit, 0);
    EXPECT_EQ(v6.LastFileID, 2);
}

TEST(ConversationRecords, KeysFollowTheNormalisedPair) {
    tIPv4Address a, b;
    a.initialize(0x0A000001);
    b.initialize(0x0A000002);
    tIPv4Conversation ab, ba;
    ab.IPv4AddressPair.initialize(a, b);
    ba.IPv4AddressPair.initialize(b, a);
    EXPECT_EQ(ab.DictionaryKey(), "10.0.0.1-10.0.0.2");
    EXPECT_EQ(ba.DictionaryKey(), ab.DictionaryKey());
    EXPECT_EQ(ba.BinaryKey(), ab.BinaryKey());

    tMACEndpoint mac;
    mac.MACAddress.RangeBytes = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    EXPECT_EQ(mac.DictionaryKey(), "00:1A:2B:3C:4D:5E");
}

TEST(NameResolutionEntry, KeyTextSeparatesQuestionsAndAnswers) {
    tNameResolutionEntry q, r, upper;
    q.initialize(0);
    q.FQDN.setFQDN("www.Example.com");
    r = q;
    r.isAnswer = true;
    tIPv4Address addr;
    addr.initialize(0xC0000201);
    r.Answer.initialize(addr);
    r.ReplyCode = dnsrcNXDomain;
    upper = q;
    upper.FQDN.setFQDN("WWW.EXAMPLE.COM");
    EXPECT_EQ(q.DictionaryKey(), "www.example.com-0-0:-0");
    EXPECT_EQ(r.DictionaryKey(), "www.example.com-1-1:192.0.2.1-3");
    EXPECT_EQ(upper.DictionaryKey(), q.DictionaryKey());
}

TEST(SessionDescription, LabelsReplacementsAndSuffixes) {
    EXPECT_EQ(SessionStatusText(0), "No Handshake or teardown");
    EXPECT_EQ(SessionStatusText(11), "New socket closed due to client inactivity");
    EXPECT_EQ(SessionStatusText(12), "");

    struct Case {
        uint8_t status;
        tConversationAttributeSet attributes;
        const char* text;
    };
    const Case cases[] = {
        {5, {caTCPSYNReset}, "SYN rejected"},
        {6, {caTCPSYNReset, caTCPMultiSYNRetry, caIPFragmented}, "Handshake complete after initial SYN reject, IP fragmented"},
        {7, {caTCPSYNReset}, "Handshake and Teardown after initial SYN reject"},
        {6, {caTCPMultiSYNRetry}, "Handshake complete after multi SYN retry"},
        {7, {caTCPMultiSYNRetry}, "Handshake and Teardown after multi SYN retry"},
        {1, {caTCPMultiSYNRetry}, "SYN sent"},
        {3, {caTimeOutOfOrder}, "Frames out-of-order"},
        {6, {caTimeOutOfOrder, caTCPSYNReset}, "Handshake complete after initial SYN reject"},
        {12, {}, ""},
        {8,
         {caMultiTTL, caHardSliced, caIPFragmented, caEthernetTrailerPresent, caSpansMultipleFiles, caTCPPortReused,
          caTCPSYNBlocked, caNoQuickFilter, caSingleFrame},
         "Teardown, SYN blocked, port reused, spans multiple files, has Ethernet trailer, IP fragmented, HardSliced, MultiTTL"},
    };
    for (const auto& c : cases) EXPECT_EQ(SessionDescription(c.status, c.attributes), c.text);
}
