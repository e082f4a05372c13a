#pragma once
// DNS message parser: header and flags, questions and the resource records of every
// section (zone, prerequisite and update records for update messages), with the record
// data of the types that matter for name resolution. A section parser: the parse master
// passes the UDP payload length as section length. Domain names go through readFQDN,
// whose compression pointers count from the first byte of the DNS message.
//
// Every read is checked against the message (the section, cut at the captured bytes);
// counts and lengths from the message are not trusted.
#include <cstdint>
#include <string>
#include <vector>

#include "base/addresses.h"
#include "base/codes.h"
#include "parser/frameparser.h"

namespace morwick {

enum tDNSOpCode : uint8_t {
    dnsocQuery, dnsocInverseQuery, dnsocStatus, dnsocAvailable, dnsocNotify, dnsocUpdate,
    dnsocUnknown
};

enum tDNSRecordClass : uint8_t { dnsrcInternet, dnsrcChaos, dnssrcNONE, dnssrcANY, dnsrcUnknown };

// Wire value to enumeration: opcodes 6 to 15 are dnsocUnknown, reply codes 11 to 15
// dnsrcAvailable; classes other than 1, 3, 254 and 255 dnsrcUnknown; record types not
// listed dnsrtUnknown.
tDNSOpCode DNSOpCodeFromWire(uint8_t Value);
tDNSReturnCode DNSReplyCodeFromWire(uint8_t Value);
tDNSRecordClass DNSRecordClassFromWire(uint16_t Value);
tDNSRecordType DNSRecordTypeFromWire(uint16_t Value);

struct tDNSQueryRecord {
    tFQDN Name;
    tDNSRecordType RecordType = dnsrtUnknown;
    tDNSRecordClass RecordClass = dnsrcUnknown;
    int32_t ParseStatus = 0;  // 0 parsed, 2 (prFailUnknown) the question was cut short

    void initialize() { *this = tDNSQueryRecord{}; }
};
using tDNSQueryRecordSet = std::vector<tDNSQueryRecord>;

struct tDNSAnswerRecord {
    tFQDN Name;
    tDNSRecordType RecordType = dnsrtUnknown;
    tDNSRecordClass RecordClass = dnsrcUnknown;
    uint32_t TTL = 0;
    uint16_t Length = 0;  // record data length as announced
    uint16_t Preference = 0;
    tNameResolutionAnswer Answer;
    std::vector<std::string> Txt;
    tFQDN NameServer;
    tFQDN Mailbox;
    uint32_t SerialNumber = 0;
    uint32_t RefreshInterval = 0;
    uint32_t RetryInterval = 0;
    uint32_t ExpirationLimit = 0;
    uint32_t MinimumTTL = 0;
    uint16_t ServicePriority = 0;
    uint16_t ServiceWeight = 0;
    uint16_t ServicePort = 0;
    tFQDN ServiceTarget;
    tParseResult ParseStatus = prNotParsed;

    void initialize() { *this = tDNSAnswerRecord{}; }
    void Free() {
        Txt.clear();
        ParseStatus = prNotParsed;
    }
};
using tDNSAnswerRecordSet = std::vector<tDNSAnswerRecord>;

class tDNSParser : public tSectionParser {
public:
    static constexpr int32_t kHeaderSize = 12;
    // Highest counts a plausible message announces (questions, answers, authority and
    // additional records; zone, prerequisite and update records for updates).
    static constexpr uint16_t kMaxCountAt4 = 8;
    static constexpr uint16_t kMaxCountAt6 = 32;
    static constexpr uint16_t kMaxCountAt8 = 16;
    static constexpr uint16_t kMaxCountAt10 = 32;

    tDNSParser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
               int32_t WireLength, int32_t DNSSectionLength, int64_t FrameIndex)
        : tSectionParser(FrameData, FrameOffset, DataLength, WireLength, DNSSectionLength,
                         FrameIndex) {}

    // Never after TCP. Otherwise decodes the flags and checks the opcode and the counts;
    // needs the 12 header bytes within the message.
    bool checkIsPlausible() override;
    // prFailUndersize for fewer than 12 bytes or a record that cannot be read whole,
    // prFailTruncated when records are announced but the message ends after the header.
    tParseResult parse() override;

    uint16_t TransactionID() const { return priv_transactionID; }
    bool isResponse() const { return priv_isResponse; }
    tDNSOpCode OpCode() const { return priv_opcode; }
    bool IsAuthoritative() const { return priv_isAuthoritative; }
    bool IsTruncated() const { return priv_isTruncated; }
    bool RecursionDesired() const { return priv_RecursionDesired; }
    bool RecursionAvailable() const { return priv_RecursionAvailable; }
    bool ZFlag() const { return priv_Z; }
    bool AnswerAuthenticated() const { return priv_AnswerAuthenticated; }
    bool AcceptNonAuthenticated() const { return priv_AcceptNonAuthenticated; }
    tDNSReturnCode ReplyCode() const { return priv_ReplyCode; }

    // Counts as announced by the header. The record sets hold the records actually
    // parsed, which can be fewer: readers use the length of a set, not the count.
    uint16_t QueryCount() const { return priv_querycount; }
    uint16_t AnswerCount() const { return priv_answercount; }
    uint16_t AuthorityCount() const { return priv_authoritycount; }
    uint16_t AdditionalInfoCount() const { return priv_additionalinfocount; }
    uint16_t ZoneCount() const { return priv_zonecount; }
    uint16_t PrerequisitesCount() const { return priv_prerequesitescount; }
    uint16_t UpdatesCount() const { return priv_updatescount; }

    const tDNSQueryRecordSet& QueryRecordSet() const { return priv_QueryRecords; }
    const tDNSAnswerRecordSet& AnswerRecordSet() const { return priv_AnswerRecords; }
    const tDNSAnswerRecordSet& NSRecordSet() const { return priv_NSRecords; }
    const tDNSAnswerRecordSet& AdditionalRecordSet() const { return priv_AdditionalRecords; }
    const tDNSQueryRecordSet& ZoneRecordSet() const { return priv_ZoneRecords; }
    const tDNSAnswerRecordSet& PrerequisitesRecordSet() const { return priv_prerequisitesRecords; }
    const tDNSAnswerRecordSet& UpdateRecordSet() const { return priv_UpdateRecords; }

    bool SkipWarningAboutUnknownRecTypes() const { return priv_SkipUnknownRecordTypeDiag; }
    void setSkipWarningAboutUnknownRecTypes(bool Value) { priv_SkipUnknownRecordTypeDiag = Value; }

private:
    void decodeFlags(uint16_t Flags);
    // Reads a name at Pos within the message.
    tFQDNResult readName(int64_t Pos) const;
    // Adds the name reader's message, unless it reported nothing.
    void addNameMsg(const tFQDNResult& Name);
    // One question (also the form of zone records) at Pos; Pos advances past it.
    void parseQueryRecordFromOffset(int64_t& Pos, tDNSQueryRecord& Record);
    // One resource record at Pos; Pos advances past its announced data.
    void parseAnswerRecordFromOffset(int64_t& Pos, tDNSAnswerRecord& Record);
    void parseRecordData(int64_t Pos, int64_t DataEnd, tDNSAnswerRecord& Record);
    // Count records into Set; false (504 raised) when one could not be read.
    bool parseQuerySection(int64_t& Pos, uint16_t Count, tDNSQueryRecordSet& Set,
                           const char* SectionName);
    bool parseAnswerSection(int64_t& Pos, uint16_t Count, tDNSAnswerRecordSet& Set,
                            const char* SectionName);

    uint16_t priv_transactionID = 0;
    bool priv_isResponse = false;
    tDNSOpCode priv_opcode = dnsocQuery;
    bool priv_isAuthoritative = false;
    bool priv_isTruncated = false;
    bool priv_RecursionDesired = false;
    bool priv_RecursionAvailable = false;
    bool priv_Z = false;
    bool priv_AnswerAuthenticated = false;
    bool priv_AcceptNonAuthenticated = false;
    tDNSReturnCode priv_ReplyCode = dnsrcNoError;
    uint16_t priv_querycount = 0;
    uint16_t priv_answercount = 0;
    uint16_t priv_authoritycount = 0;
    uint16_t priv_additionalinfocount = 0;
    uint16_t priv_zonecount = 0;
    uint16_t priv_prerequesitescount = 0;
    uint16_t priv_updatescount = 0;
    tDNSQueryRecordSet priv_QueryRecords;
    tDNSAnswerRecordSet priv_AnswerRecords;
    tDNSAnswerRecordSet priv_NSRecords;
    tDNSAnswerRecordSet priv_AdditionalRecords;
    tDNSQueryRecordSet priv_ZoneRecords;
    tDNSAnswerRecordSet priv_prerequisitesRecords;
    tDNSAnswerRecordSet priv_UpdateRecords;
    bool priv_SkipUnknownRecordTypeDiag = false;
};

}  // namespace morwick
