#include "parser/parser_dns.h"

#include <algorithm>
#include <span>
#include <utility>

#include <fmt/format.h>

#include "platform/debuglog.h"

namespace morwick {

namespace {
// Header offsets from the first byte of the message.
constexpr int32_t kTransactionIDAt = 0;
constexpr int32_t kFlagsAt = 2;
constexpr int32_t kCountAt4 = 4;
constexpr int32_t kCountAt6 = 6;
constexpr int32_t kCountAt8 = 8;
constexpr int32_t kCountAt10 = 10;
// Owner name is followed by type, class, TTL and data length.
constexpr int32_t kRecordFixedSize = 10;
// Records reserved up front per section; longer sections grow as needed.
constexpr size_t kReserveLimit = 16;

// The OSI layer a DNS parser reports.
constexpr uint8_t kDNSOSILayer = 5;

// A name answer, taking over the name read instead of copying its texts.
void SetNameAnswer(tNameResolutionAnswer& Answer, tFQDN&& Name) {
    Answer.initialize();
    Answer.AnswerType = nraFQDN;
    Answer.FQDN = std::move(Name);
}
}  // namespace

tDNSOpCode DNSOpCodeFromWire(uint8_t Value) {
    return Value <= 5 ? static_cast<tDNSOpCode>(Value) : dnsocUnknown;
}

tDNSReturnCode DNSReplyCodeFromWire(uint8_t Value) {
    return Value <= 10 ? static_cast<tDNSReturnCode>(Value) : dnsrcAvailable;
}

tDNSRecordClass DNSRecordClassFromWire(uint16_t Value) {
    switch (Value) {
        case 1: return dnsrcInternet;
        case 3: return dnsrcChaos;
        case 254: return dnssrcNONE;
        case 255: return dnssrcANY;
        default: return dnsrcUnknown;
    }
}

tDNSRecordType DNSRecordTypeFromWire(uint16_t Value) {
    switch (Value) {
        case 1: return dnsrtA;
        case 2: return dnsrtNS;
        case 5: return dnsrtCNAME;
        case 6: return dnsrtSOA;
        case 12: return dnsrtPTR;
        case 15: return dnsrtMX;
        case 16: return dnsrtTXT;
        case 18: return dnsrtAFSDB;
        case 24: return dnsrtSIG;
        case 25: return dnsrtKEY;
        case 28: return dnsrtAAAA;
        case 29: return dnsrtLOC;
        case 33: return dnsrtSRV;
        case 35: return dnsrtNAPTR;
        case 36: return dnsrtKX;
        case 37: return dnsrtCERT;
        case 39: return dnsrtDNAME;
        case 41: return dnsrtOPT;
        case 42: return dnsrtAPL;
        case 43: return dnsrtDS;
        case 44: return dnsrtSSHFP;
        case 45: return dnsrtIPSECKEY;
        case 46: return dnsrtRRSIG;
        case 47: return dnsrtNSEC;
        case 48: return dnsrtDNSKEY;
        case 49: return dnsrtDHCID;
        case 50: return dnsrtNSEC3;
        case 51: return dnsrtNSEC3PARAM;
        case 52: return dnsrtTLSA;
        case 55: return dnsrtHIP;
        case 99: return dnsrtSPF;
        case 249: return dnsrtTKEY;
        case 250: return dnsrtTSIG;
        case 251: return dnsrtIXFR;
        case 252: return dnsrtAFXR;
        case 255: return dnsrtAny;
        case 32769: return dnsrtDLV;
        default: return dnsrtUnknown;
    }
}

void tDNSParser::decodeFlags(uint16_t Flags) {
    priv_isResponse = (Flags & 0x8000) != 0;
    priv_opcode = DNSOpCodeFromWire(static_cast<uint8_t>((Flags >> 11) & 0x0F));
    priv_isAuthoritative = (Flags & 0x0400) != 0;
    priv_isTruncated = (Flags & 0x0200) != 0;
    priv_RecursionDesired = (Flags & 0x0100) != 0;
    priv_RecursionAvailable = (Flags & 0x0080) != 0;
    priv_Z = (Flags & 0x0040) != 0;
    priv_AnswerAuthenticated = (Flags & 0x0020) != 0;
    priv_AcceptNonAuthenticated = (Flags & 0x0010) != 0;
    priv_ReplyCode = DNSReplyCodeFromWire(static_cast<uint8_t>(Flags & 0x0F));
}

bool tDNSParser::checkIsPlausible() {
    // DNS over TCP carries a length prefix and may span segments: never decoded.
    if (priv_parentAnchor.HeaderType == hdrTCP) return false;
    const int32_t at = priv_frameoffset;
    if (!isInSection(at, kHeaderSize)) return false;
    decodeFlags(be16(at + kFlagsAt));
    return priv_opcode != dnsocUnknown && be16(at + kCountAt4) <= kMaxCountAt4 &&
           be16(at + kCountAt6) <= kMaxCountAt6 && be16(at + kCountAt8) <= kMaxCountAt8 &&
           be16(at + kCountAt10) <= kMaxCountAt10;
}

tFQDNResult tDNSParser::readName(int64_t Pos) const {
    if (Pos < priv_frameoffset || Pos > priv_lastoffset) {
        tFQDNResult r;
        r.ParseResult = prFailOutOfBounds;
        return r;
    }
    return readFQDN(std::span<const uint8_t>(priv_framedata, static_cast<size_t>(priv_framelength)),
                    priv_sectionlen, priv_frameoffset, static_cast<int32_t>(Pos));
}

void tDNSParser::addNameMsg(const tFQDNResult& Name) {
    // A name whose start already lies outside the message comes back without a message;
    // an empty message would tell nobody anything.
    if (Name.Msg.id != 0) addDiagnosticMsg(Name.Msg);
}

void tDNSParser::parseQueryRecordFromOffset(int64_t& Pos, tDNSQueryRecord& Record) {
    Record.initialize();
    tFQDNResult name = readName(Pos);
    if (name.ParseResult != prSuccess) {
        addNameMsg(name);
        Record.ParseStatus = prFailUnknown;
        return;
    }
    Record.Name = std::move(name.Name);
    Pos += name.OffsetIncrement;
    if (!isInSection(Pos, 2)) {
        Record.ParseStatus = prFailUnknown;
        return;
    }
    Record.RecordType = DNSRecordTypeFromWire(be16(static_cast<int32_t>(Pos)));
    Pos += 2;
    if (!isInSection(Pos, 2)) {
        Record.ParseStatus = prFailUnknown;
        return;
    }
    Record.RecordClass = DNSRecordClassFromWire(be16(static_cast<int32_t>(Pos)));
    Pos += 2;
}

void tDNSParser::parseAnswerRecordFromOffset(int64_t& Pos, tDNSAnswerRecord& Record) {
    Record.initialize();
    tFQDNResult name = readName(Pos);
    if (name.ParseResult != prSuccess) {
        Record.ParseStatus = name.ParseResult;
        addNameMsg(name);
        return;
    }
    Record.Name = std::move(name.Name);
    Pos += name.OffsetIncrement;
    // Type, class, TTL and data length must all be there; reading them from whatever
    // follows the message would make up a record.
    if (!isInSection(Pos, kRecordFixedSize)) {
        Record.ParseStatus = prFailUndersize;
        return;
    }
    Record.ParseStatus = prSuccess;
    const auto at = static_cast<int32_t>(Pos);
    Record.RecordType = DNSRecordTypeFromWire(be16(at));
    Record.RecordClass = DNSRecordClassFromWire(be16(at + 2));
    Record.TTL = be32(at + 4);
    Record.Length = be16(at + 8);
    Pos += kRecordFixedSize;

    const int64_t dataEnd = Pos + Record.Length;
    if (dataEnd > int64_t{priv_lastoffset} + 1) {
        if (DebugLogEnabled()) {
            LogFatal(fmt::format("Answer length exceeds available frame payload size for frame #{}: "
                                 "{}, probably caused by IP fragmentation "
                                 "(DNSParser.parseAnswerRecordFromOffset)",
                                 priv_frameindex, Pos));
        }
        addDiagnosticMsg(msCritical, MSG_DNS_ANSWER_PARSE_ERROR, fmt::format("{}", dataEnd),
                         fmt::format("{}", priv_lastoffset));
    }
    if (Record.Length > 0) parseRecordData(Pos, dataEnd, Record);
    // The announced length decides where the next record starts, whatever the data held.
    Pos = dataEnd;
}

void tDNSParser::parseRecordData(int64_t Pos, int64_t DataEnd, tDNSAnswerRecord& Record) {
    const auto at = static_cast<int32_t>(Pos);
    switch (Record.RecordType) {
        case dnsrtA: {
            if (Record.Length != 4) addDiagnosticMsg(msWarning, MSG_DNS_BROKEN_IPV4_RECORD);
            if (isInSection(Pos, 4)) {
                tIPv4Address address;
                address.initialize(be32(at));
                Record.Answer.initialize(address);
            }
            break;
        }
        case dnsrtAAAA: {
            if (Record.Length != 16) addDiagnosticMsg(msWarning, MSG_DNS_BROKEN_IPV6_RECORD);
            if (isInSection(Pos, 16)) {
                tIPv6Address address;
                address.SetValueFromByteStruct(
                    std::span<const uint8_t, 16>(priv_framedata + at, 16));
                Record.Answer.initialize(address);
            }
            break;
        }
        case dnsrtNS:
        case dnsrtCNAME:
        case dnsrtPTR: {
            tFQDNResult name = readName(Pos);
            if (name.ParseResult != prSuccess) addNameMsg(name);
            else SetNameAnswer(Record.Answer, std::move(name.Name));
            break;
        }
        case dnsrtMX: {
            if (isInSection(Pos, 2)) Record.Preference = be16(at);
            tFQDNResult name = readName(Pos + 2);
            if (name.ParseResult != prSuccess) addNameMsg(name);
            else SetNameAnswer(Record.Answer, std::move(name.Name));
            break;
        }
        case dnsrtSOA: {
            tFQDNResult primary = readName(Pos);
            if (primary.ParseResult != prSuccess) {
                addNameMsg(primary);
            } else {
                Record.NameServer = primary.Name;
                SetNameAnswer(Record.Answer, std::move(primary.Name));
            }
            Pos += primary.OffsetIncrement;
            tFQDNResult mailbox = readName(Pos);
            if (mailbox.ParseResult != prSuccess) addNameMsg(mailbox);
            else Record.Mailbox = std::move(mailbox.Name);
            Pos += mailbox.OffsetIncrement;
            if (isInSection(Pos, 20)) {
                const auto p = static_cast<int32_t>(Pos);
                Record.SerialNumber = be32(p);
                Record.RefreshInterval = be32(p + 4);
                Record.RetryInterval = be32(p + 8);
                Record.ExpirationLimit = be32(p + 12);
                Record.MinimumTTL = be32(p + 16);
            }
            break;
        }
        case dnsrtSRV: {
            if (isInSection(Pos, 6)) {
                Record.ServicePriority = be16(at);
                Record.ServiceWeight = be16(at + 2);
                Record.ServicePort = be16(at + 4);
            }
            tFQDNResult target = readName(Pos + 6);
            if (target.ParseResult != prSuccess) addNameMsg(target);
            else Record.ServiceTarget = std::move(target.Name);
            break;
        }
        case dnsrtTXT: {
            // Character strings, each one length byte and that many bytes, filling the data.
            int64_t consumed = 0;
            while (consumed < Record.Length) {
                if (!isInSection(Pos, 1)) break;
                const uint8_t n = u8(static_cast<int32_t>(Pos));
                Pos += 1;
                if (consumed + 1 + n > Record.Length)
                    addDiagnosticMsg(msCritical, MSG_DNS_TXT_RECORD_LENGTH_INVALID);
                // A string longer than the record keeps only the record's bytes.
                const int64_t take = std::min<int64_t>(n, std::max<int64_t>(DataEnd - Pos, 0));
                if (!isInSection(Pos, take)) break;
                const auto* text = reinterpret_cast<const char*>(priv_framedata + Pos);
                const auto* stop = std::find(text, text + take, '\0');
                Record.Txt.emplace_back(text, stop);
                Pos += n;
                consumed += n + 1;
            }
            break;
        }
        default:
            if (!priv_SkipUnknownRecordTypeDiag)
                addDiagnosticMsg(msWarning, MSG_DNS_RECORD_TYPE_SKIPPED,
                                 DNSRecordTypeToString(Record.RecordType));
            break;
    }
}

bool tDNSParser::parseQuerySection(int64_t& Pos, uint16_t Count, tDNSQueryRecordSet& Set,
                                   const char* SectionName) {
    if (Count == 0) return true;
    Set.reserve(std::min<size_t>(Count, kReserveLimit));
    for (uint16_t i = 0; i < Count; ++i) {
        if (Pos <= priv_lastoffset) {
            Set.emplace_back();
            parseQueryRecordFromOffset(Pos, Set.back());
            if (Set.back().ParseStatus == 0) continue;
            Set.pop_back();
        }
        if (SectionName) addDiagnosticMsg(msCritical, MSG_DNS_PARSE_ERROR, SectionName);
        else addDiagnosticMsg(msCritical, MSG_DNS_PARSE_ERROR);
        return false;
    }
    return true;
}

bool tDNSParser::parseAnswerSection(int64_t& Pos, uint16_t Count, tDNSAnswerRecordSet& Set,
                                    const char* SectionName) {
    if (Count == 0) return true;
    Set.reserve(std::min<size_t>(Count, kReserveLimit));
    for (uint16_t i = 0; i < Count; ++i) {
        if (Pos <= priv_lastoffset) {
            Set.emplace_back();
            parseAnswerRecordFromOffset(Pos, Set.back());
            if (Set.back().ParseStatus == prSuccess) continue;
            Set.pop_back();
        }
        addDiagnosticMsg(msCritical, MSG_DNS_PARSE_ERROR, SectionName);
        return false;
    }
    return true;
}

tParseResult tDNSParser::parse() {
    priv_osilayer = kDNSOSILayer;
    const int32_t start = priv_frameoffset;
    priv_nextAnchor = {hdrNoNextHeader, priv_lastoffset + 1};
    prot_layersize = static_cast<int32_t>(std::max<int64_t>(int64_t{priv_lastoffset} + 1 - start, 0));
    if (!isInSection(start, kHeaderSize)) return prFailUndersize;

    priv_querycount = priv_answercount = priv_authoritycount = priv_additionalinfocount = 0;
    priv_zonecount = priv_prerequesitescount = priv_updatescount = 0;
    priv_transactionID = be16(start + kTransactionIDAt);
    decodeFlags(be16(start + kFlagsAt));
    const uint16_t count4 = be16(start + kCountAt4);
    const uint16_t count6 = be16(start + kCountAt6);
    const uint16_t count8 = be16(start + kCountAt8);
    if (priv_opcode == dnsocUpdate) {
        priv_zonecount = count4;
        priv_prerequesitescount = count6;
        priv_updatescount = count8;
    } else {
        priv_querycount = count4;
        priv_answercount = count6;
        priv_authoritycount = count8;
    }
    priv_additionalinfocount = be16(start + kCountAt10);

    int64_t pos = int64_t{start} + kHeaderSize;
    const bool anyRecords = (count4 | count6 | count8 | priv_additionalinfocount) != 0;
    // A header alone is a whole message when it announces no records.
    if (!anyRecords) return prSuccess;
    if (pos > priv_lastoffset) return prFailUndersize;
    if (pos == priv_lastoffset) return prFailTruncated;

    const bool complete =
        parseQuerySection(pos, priv_querycount, priv_QueryRecords, nullptr) &&
        parseAnswerSection(pos, priv_answercount, priv_AnswerRecords, "Answer Records") &&
        parseAnswerSection(pos, priv_authoritycount, priv_NSRecords, "Authority Records") &&
        parseQuerySection(pos, priv_zonecount, priv_ZoneRecords, "Zone Records") &&
        parseAnswerSection(pos, priv_prerequesitescount, priv_prerequisitesRecords,
                           "Prerequisite Records") &&
        parseAnswerSection(pos, priv_updatescount, priv_UpdateRecords, "Update Records") &&
        parseAnswerSection(pos, priv_additionalinfocount, priv_AdditionalRecords,
                           "Additional Info");
    return complete ? prSuccess : prFailUndersize;
}

}  // namespace morwick
