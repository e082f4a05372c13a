#include "base/codes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/errors.h"

using namespace morwick;

TEST(EnumSet, AddRemoveHasAndSetOperations) {
    tTunnelFlagSet s;
    EXPECT_TRUE(s.empty());
    s.add(tfTunnelGRE);
    s.add(tfTunnelTZSP);
    EXPECT_TRUE(s.has(tfTunnelGRE));
    EXPECT_TRUE(s.has(tfTunnelTZSP));
    EXPECT_FALSE(s.has(tfTunnelCarrier));
    EXPECT_EQ(s.mask(), (1u << tfTunnelGRE) | (1u << tfTunnelTZSP));
    s.remove(tfTunnelGRE);
    EXPECT_EQ(s, (tTunnelFlagSet{tfTunnelTZSP}));
    EXPECT_EQ((tTunnelFlagSet{tfTunnelLayer} | tTunnelFlagSet{tfTunnelGRE}), (tTunnelFlagSet{tfTunnelGRE, tfTunnelLayer}));
    EXPECT_EQ((tTunnelFlagSet{tfTunnelLayer, tfTunnelGRE} & tTunnelFlagSet{tfTunnelGRE}), tTunnelFlagSet{tfTunnelGRE});
    EXPECT_EQ((tTunnelFlagSet{tfTunnelLayer, tfTunnelGRE} - tTunnelFlagSet{tfTunnelGRE}), tTunnelFlagSet{tfTunnelLayer});
    // The last value of a 38-member enumeration lands in bit 37 of its 64-bit set.
    tDNSRecordTypeSet r{dnsrtUnknown};
    EXPECT_EQ(r.mask(), uint64_t{1} << 37);
}

TEST(Codes, Layer4ProtocolNamesAndNumbers) {
    struct Case { tLayer4Protocol value; const char* name; };
    for (const Case& c : {Case{l4Any, "Any"}, {l4TCP, "TCP"}, {l4UDP, "UDP"}, {l4ICMP, "ICMP"}, {l4TCPUDP, "TCP/UDP"},
                          {l4unknown, "unknown"}})
        EXPECT_EQ(Layer4ProtocolToString(c.value), c.name);
    struct Text { const char* text; tLayer4Protocol value; };
    for (const Text& c : {Text{"tcp", l4TCP}, {"Udp", l4UDP}, {"ICMP", l4ICMP}, {"any", l4Any}, {"tcp/udp", l4TCPUDP},
                          {"TCP ", l4unknown}, {"", l4unknown}, {"unknown", l4unknown}})
        EXPECT_EQ(StringToLayer4Protocol(c.text), c.value) << c.text;
    struct Num { uint8_t number; tLayer4Protocol value; };
    for (const Num& c : {Num{1, l4ICMP}, {58, l4ICMP}, {6, l4TCP}, {17, l4UDP}, {47, l4Any}, {0, l4Any}, {255, l4Any}})
        EXPECT_EQ(IPProtocolToLayer4Protocol(c.number), c.value) << int(c.number);
}

TEST(Codes, TunnelFlagsToWordAndBack) {
    struct Case { tTunnelFlagSet flags; uint16_t word; tTunnelFlagSet readBack; };
    const Case cases[] = {
        {{}, 0x0000, {}},
        {{tfTunnelCarrier}, 0x0001, {tfTunnelCarrier}},
        {{tfTunnelLayer, tfTunnelGRE}, 0x0022, {tfTunnelLayer, tfTunnelGRE}},
        {{tfTunnelPayload}, 0x000C, {tfTunnelPayload}},
        {{tfTunnelCarrier, tfTunnelTZSP}, 0x0001, {tfTunnelCarrier}},
        {{tfTunnelLayer, tfTunnelTZSP}, 0x0002, {tfTunnelLayer}},
        {{tfTunnelCarrier, tfTunnelMPLS}, 0x0011, {tfTunnelCarrier, tfTunnelMPLS}},
        {{tfTunnelLayer, tfTunnelGTPv1}, 0x0042, {tfTunnelLayer, tfTunnelGTPv1}},
        {{tfTunnelLayer, tfTunnelAYIYA}, 0x0082, {tfTunnelLayer, tfTunnelAYIYA}},
        {{tfTunnelCarrier, tfTunnelVXLAN}, 0x0101, {tfTunnelCarrier, tfTunnelVXLAN}},
        {{tfTunnelLayer, tfTunnelERSPAN}, 0x0202, {tfTunnelLayer, tfTunnelERSPAN}},
        {{tfTunnelLayer, tfTunnelCAPWAP}, 0x0402, {tfTunnelLayer, tfTunnelCAPWAP}},
        {{tfTunnelPayload, tfTunnelGeneve}, 0x080C, {tfTunnelPayload, tfTunnelGeneve}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TunnelFlagsToWord(c.flags), c.word) << std::hex << c.flags.mask();
        EXPECT_EQ(WordToTunnelFlags(c.word), c.readBack) << std::hex << c.word;
    }
    // Either payload bit alone reads as payload; bits above 0x0800 are ignored.
    EXPECT_EQ(WordToTunnelFlags(0x0008), tTunnelFlagSet{tfTunnelPayload});
    EXPECT_EQ(WordToTunnelFlags(0x0004), tTunnelFlagSet{tfTunnelPayload});
    EXPECT_EQ(WordToTunnelFlags(0xF001), tTunnelFlagSet{tfTunnelCarrier});
}

TEST(Codes, TunnelFlagSetOfOnlyTZSPIsAnInternalError) {
    try {
        TunnelFlagsToWord(tTunnelFlagSet{tfTunnelTZSP});
        FAIL() << "expected an error";
    } catch (const tAssertionError& e) {
        EXPECT_STREQ(e.what(), "Unknown tunnel flag encountered (TunnelFlagsToWord)");
    }
}

TEST(Codes, DNSReturnCodeToStoredNumber) {
    const int32_t expected[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 16, 16, 17, 18, 19, 20, 21, 11, 3851};
    for (int code = dnsrcNoError; code <= dnsrcPrivateUse; ++code)
        EXPECT_EQ(ReturnCodeToNumber(static_cast<tDNSReturnCode>(code)), expected[code]) << code;
}

TEST(Codes, StoredNumberToDNSReturnCode) {
    struct Case { int64_t number; tDNSReturnCode code; };
    const Case cases[] = {
        {0, dnsrcNoError},      {1, dnsrcFormErr},       {3, dnsrcNXDomain},      {10, dnsrcNotZone},
        {11, dnsrcAvailable},   {12, dnsrcAvailable},    {15, dnsrcAvailable},    {16, dnsrcBADSIG},
        {17, dnsrcBADKEY},      {18, dnsrcBADTIME},      {19, dnsrcBADMODE},      {20, dnsrcBADNAME},
        {21, dnsrcBADALG},      {22, dnsrcAvailable},    {3840, dnsrcAvailable},  {3841, dnsrcNoError},
        {3845, dnsrcNoError},   {3850, dnsrcNoError},    {3851, dnsrcPrivateUse}, {4000, dnsrcPrivateUse},
        {4095, dnsrcPrivateUse}, {4096, dnsrcAvailable}, {-1, dnsrcAvailable},    {65535, dnsrcAvailable},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToReturnCode(c.number), c.code) << c.number;
    // Every code survives the database round trip except BADVERS, which shares 16 with BADSIG.
    for (int code = dnsrcNoError; code <= dnsrcPrivateUse; ++code) {
        const auto value = static_cast<tDNSReturnCode>(code);
        EXPECT_EQ(NumberToReturnCode(ReturnCodeToNumber(value)), value == dnsrcBADVERS ? dnsrcBADSIG : value) << code;
    }
}

TEST(Codes, DNSRecordTypeNames) {
    struct Case { tDNSRecordType type; const char* name; };
    for (const Case& c : {Case{dnsrtA, "A"}, {dnsrtCNAME, "CNAME"}, {dnsrtAAAA, "AAAA"}, {dnsrtAFXR, "AFXR"},
                          {dnsrtRRSIG, "RRSIG"}, {dnsrtIPSECKEY, "IPSECKEY"}, {dnsrtSIG, "SIC"},
                          {dnsrtNSEC3PARAM, "NSEC3PARAM"}, {dnsrtTSIG, "TSIG"}, {dnsrtAny, "ANY"},
                          {dnsrtUnknown, "Unknown"}})
        EXPECT_EQ(DNSRecordTypeToString(c.type), c.name);
    std::set<std::string_view> names;
    for (int t = 0; t < DNSRecordTypeCount; ++t) names.insert(DNSRecordTypeToString(static_cast<tDNSRecordType>(t)));
    EXPECT_EQ(names.size(), static_cast<size_t>(DNSRecordTypeCount)) << "names must be distinct";
}

TEST(Codes, DNSRecordTypeSetAsNumber) {
    EXPECT_EQ(DNSRecordTypeSetToNumber(tDNSRecordTypeSet{dnsrtA, dnsrtAAAA}), 0x81);
    EXPECT_EQ(NumberToDNSRecordTypeSet(129), (tDNSRecordTypeSet{dnsrtA, dnsrtAAAA}));
    EXPECT_EQ(DNSRecordTypeSetToNumber({}), 0);
    EXPECT_EQ(DNSRecordTypeSetToNumber(tDNSRecordTypeSet{dnsrtUnknown, dnsrtPTR}), (int64_t{1} << 37) | 0x10);
    // Bits beyond the last type are not types.
    EXPECT_EQ(NumberToDNSRecordTypeSet((int64_t{1} << 38) | (int64_t{1} << 62) | 0x2), tDNSRecordTypeSet{dnsrtNS});
    for (int t = 0; t < DNSRecordTypeCount; ++t) {
        const tDNSRecordTypeSet one{static_cast<tDNSRecordType>(t)};
        EXPECT_EQ(NumberToDNSRecordTypeSet(DNSRecordTypeSetToNumber(one)), one) << t;
    }
}

TEST(Codes, AnswerTypesAndSecretsTypes) {
    struct Answer { int64_t number; tNRAnswerType type; };
    for (const Answer& c : {Answer{0, nraUnknown}, {1, nraIPAddress}, {2, nraFQDN}, {3, nraText}, {4, nraUnknown},
                            {-1, nraUnknown}}) {
        EXPECT_EQ(NumberToNRAnswerType(c.number), c.type) << c.number;
        if (c.number >= 0 && c.number <= 3) {
            EXPECT_EQ(NRAnswerTypeToNumber(c.type), c.number);
        }
    }
    struct Secrets { uint32_t number; tSecretsType type; };
    for (const Secrets& c : {Secrets{0x544C534B, pngstTLS}, {0x57474B4C, pngstWireGuard}, {0, pngstUnknown}})
        EXPECT_EQ(SecretsTypeToNumber(c.type), c.number);
    for (const Secrets& c : {Secrets{0x544C534B, pngstTLS}, {0x57474B4C, pngstWireGuard}, {0, pngstUnknown},
                             {0x4B534C54, pngstUnknown}, {1, pngstUnknown}})
        EXPECT_EQ(NumberToSecretsType(c.number), c.type) << std::hex << c.number;
}

TEST(Codes, FrameErrorFlags) {
    struct Case { tErrorFlagsType flags; uint32_t bits; };
    const Case cases[] = {
        {{efSymbolError}, 0x80000000},
        {{efBadPreamble}, 0x40000000},
        {{efBadStartFrameDelimiter}, 0x20000000},
        {{efAlignment}, 0x10000000},
        {{efWrongInterframeGap}, 0x08000000},
        {{efPacketTooShort}, 0x04000000},
        {{efPacketTooLong}, 0x02000000},
        {{efBadCRC}, 0x01000000},
        {{efCollision}, 0},
        {{efUnknown}, 0},
        {{efBadCRC, efSymbolError, efCollision}, 0x81000000},
    };
    for (const auto& c : cases) {
        tFrameFlags f;
        f.SetErrorFlags(c.flags);
        EXPECT_EQ(f.Value, c.bits) << std::hex << c.flags.mask();
        EXPECT_TRUE(f.Present);
    }
    // Bits already set stay set.
    tFrameFlags f;
    f.Value = 0x00000003;
    f.SetErrorFlags({efPacketTooLong});
    EXPECT_EQ(f.Value, 0x02000003u);
    f.initialize();
    EXPECT_EQ(f, tFrameFlags{});
}
