#pragma once
// The records of the conversation store: MAC, IPv4 and IPv6 endpoints and address-pair
// conversations, TCP and UDP socket-pair conversations and name resolutions, the two flag
// sets they carry (markers: who reported a record; attributes: its peculiarities), and the
// interface mapping that says on which capture interfaces of which file a record was seen.
//
// Records are plain values, copied into and out of the store. Every record has two keys:
// DictionaryKey() (the key text, for display and debugging) and BinaryKey() (a compact
// fixed-size key with std::hash that the store's maps use). Both are built from the
// normalised pair, so both directions of a conversation share them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/addresses.h"
#include "base/codes.h"
#include "base/timestamps.h"

namespace morwick {

// The TCP flag enumeration belongs to the TCP parser; records only carry the set.
enum tTCPFlags : uint8_t;
using tTCPFlagMask = tEnumSet<tTCPFlags, uint16_t>;

// ---- Markers: the sources that reported a record ----

enum tMarker : uint8_t {
    mFoundByNRB,
    mFoundByEthernet,
    mFoundByARP,
    mFoundByIPv4,
    mFoundByIPv6,
    mFoundByICMP,
    mFoundByDNS,
    mFoundByNBNS,
    mFoundByDHCP,
    mFoundByExternalResearch
};
using tMarkerSet = tEnumSet<tMarker, uint16_t>;

// ---- Attributes: peculiarities of a record ----

enum tConversationAttribute : uint8_t {
    caSingleFrame,
    caEthernetTrailerPresent,
    caTimeOutOfOrder,
    caOneSidedCommunication,
    caMultipleInterfaces,
    caSpansMultipleFiles,
    caIPFragmented,
    caTCPMultiSession,
    caTCPSYNBlocked,
    caTCPMultiSYNRetry,
    caTCPSYNReset,
    caTCPPortReused,
    caAddressPairFlipped,
    caHardSliced,
    caNoQuickFilter,
    caMultiTTL
};
using tConversationAttributeSet = tEnumSet<tConversationAttribute, uint16_t>;

// The stored integer of an attribute set: each attribute has a database bit of its own
// (caSingleFrame 32768, caTimeOutOfOrder 1, ...), the integer is their sum.
uint32_t AttributesToLong(tConversationAttributeSet Attributes);
// The inverse; bits that belong to no attribute are ignored.
tConversationAttributeSet LongToAttributes(int64_t Value);

// ---- Interface mapping ----

// One frame's place: the file's index in the meta database (0 while scanning) and the
// capture interface the loader reported.
struct tAbsoluteFileInterface {
    int32_t FileIndex = 0;
    uint32_t InterfaceIndex = 0;

    void initialize() { *this = tAbsoluteFileInterface{}; }
    void initialize(int32_t InitialFileIndex, uint32_t InitialInterfaceindex) {
        FileIndex = InitialFileIndex;
        InterfaceIndex = InitialInterfaceindex;
    }
    bool operator==(const tAbsoluteFileInterface&) const = default;
};

// The interfaces seen in one file: bit n of InterfaceFlags for interface n (mod 32).
struct tInterfaceFileIDEntry {
    int32_t FileIndex = 0;
    uint32_t InterfaceFlags = 0;

    void initialize() { *this = tInterfaceFileIDEntry{}; }
    void initialize(int32_t InitFileIndex, uint32_t InitInterfaceIndex) {
        FileIndex = InitFileIndex;
        InterfaceFlags = uint32_t{1} << (InitInterfaceIndex % 32);
    }
    void initialize(const tAbsoluteFileInterface& AbsoluteIndex) {
        initialize(AbsoluteIndex.FileIndex, AbsoluteIndex.InterfaceIndex);
    }
    // One piece of the stored text: FileIndex "/" index list. A file index of 0 or less
    // gives (0, 0); unreadable numbers read as 0.
    void initialize(std::string_view ValueAsString);

    void MarkInterfaceIndexActive(uint32_t Index) { InterfaceFlags |= uint32_t{1} << (Index % 32); }
    // The set bits in ascending order joined by "," (flags 0x29: "0,3,5"); "" for none.
    std::string toString() const;
    std::vector<int32_t> GetInterfaceIndexList() const;

    bool operator==(const tInterfaceFileIDEntry&) const = default;
};

// A short list of entries, at most one per file index. Nearly every record holds exactly
// one entry, which lives inside the list; only records that span files use the heap.
class tInterfaceFileIDList {
public:
    tInterfaceFileIDList() = default;
    tInterfaceFileIDList(std::initializer_list<tInterfaceFileIDEntry> Entries) {
        for (const auto& e : Entries) push_back(e);
    }

    size_t size() const { return priv_count; }
    bool empty() const { return priv_count == 0; }
    const tInterfaceFileIDEntry& operator[](size_t i) const { return data()[i]; }
    tInterfaceFileIDEntry& operator[](size_t i) { return data()[i]; }
    const tInterfaceFileIDEntry* begin() const { return data(); }
    const tInterfaceFileIDEntry* end() const { return data() + priv_count; }
    tInterfaceFileIDEntry* begin() { return data(); }
    tInterfaceFileIDEntry* end() { return data() + priv_count; }

    void push_back(const tInterfaceFileIDEntry& Entry) {
        if (priv_count == 0) {
            priv_first = Entry;
            priv_count = 1;
        } else {
            pushBackSlow(Entry);
        }
    }
    void clear() {
        priv_count = 0;
        priv_more.clear();
    }

    bool operator==(const tInterfaceFileIDList& o) const;

private:
    void pushBackSlow(const tInterfaceFileIDEntry& Entry);  // the second entry on
    const tInterfaceFileIDEntry* data() const { return priv_more.empty() ? &priv_first : priv_more.data(); }
    tInterfaceFileIDEntry* data() { return priv_more.empty() ? &priv_first : priv_more.data(); }

    tInterfaceFileIDEntry priv_first;                  // the only entry while size() <= 1
    std::vector<tInterfaceFileIDEntry> priv_more;      // all entries once there are two
    size_t priv_count = 0;
};

// No entry: ""; one entry: its toString alone; several: FileIndex "/" toString per entry,
// joined by ";".
std::string InterfaceListToString(const tInterfaceFileIDList& List);
// Cut at ";"; every piece read by the text form of tInterfaceFileIDEntry::initialize. An
// empty or blank text gives no entry.
tInterfaceFileIDList InterfaceListFromString(std::string_view Text);
// Ors the entry into the one with the same file index, or appends it.
void AddInterfaceEntry(tInterfaceFileIDList& List, const tInterfaceFileIDEntry& Entry);
// A with every entry of B added by AddInterfaceEntry, in B's order.
tInterfaceFileIDList MergeInterfaceLists(const tInterfaceFileIDList& A, const tInterfaceFileIDList& B);
// The same, in place (A := MergeInterfaceLists(A, B)).
void MergeInterfaceListInto(tInterfaceFileIDList& A, const tInterfaceFileIDList& B);
bool FileIndexExistsInList(const tInterfaceFileIDList& List, int32_t FileIndex);
// One entry each: equal file indexes; equal sizes: every file index of A is in B; else false.
bool SameFileSet(const tInterfaceFileIDList& A, const tInterfaceFileIDList& B);

// ---- Endpoint records ----

struct tMACEndpoint {
    tMACAddress MACAddress;
    int32_t FramesReceived = 0;
    int32_t FramesSent = 0;
    int64_t BytesReceived = 0;
    int64_t BytesSent = 0;
    int32_t FirstFrameIndex = 0;
    int32_t LastFrameIndex = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int64_t FirstFileID = 0;
    int64_t LastFileID = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    int32_t IPAddresses = 0;
    int32_t FlowCount = 0;
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;

    void initialize(int32_t FileIndex);
    // 00:1A:2B:3C:4D:5E
    bool operator==(const tMACEndpoint&) const = default;
    std::string DictionaryKey() const { return MACAddress.DictionaryKey(); }
    tMACAddressKey BinaryKey() const { return MACAddress.BinaryKey(); }
};

struct tIPv4Endpoint {
    tIPv4Address IPv4Address;
    int32_t FramesReceived = 0;
    int32_t FramesSent = 0;
    int64_t BytesReceived = 0;
    int64_t BytesSent = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    int32_t PartnerCount = 0;
    int32_t FlowCount = 0;
    int32_t ClientCount = 0;
    uint8_t TTL = 0;  // of packets sent by this address; 0 = none seen
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;

    void initialize(int32_t FileIndex);
    bool operator==(const tIPv4Endpoint&) const = default;
    std::string DictionaryKey() const { return IPv4Address.DictionaryKey(); }
    tIPv4AddressKey BinaryKey() const { return IPv4Address.BinaryKey(); }
};

struct tIPv6Endpoint {
    tIPv6Address IPv6Address;
    int32_t FramesReceived = 0;
    int32_t FramesSent = 0;
    int64_t BytesReceived = 0;
    int64_t BytesSent = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    int32_t PartnerCount = 0;
    int32_t Flowcount = 0;
    int32_t ClientCount = 0;
    uint8_t HopLimit = 0;  // of packets addressed to this address; 0 = none seen
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;

    void initialize(int32_t FileIndex);
    bool operator==(const tIPv6Endpoint&) const = default;
    std::string DictionaryKey() const { return IPv6Address.DictionaryKey(); }
    tIPv6AddressKey BinaryKey() const { return IPv6Address.BinaryKey(); }
};

// ---- Address-pair conversations ----

struct tMACConversation {
    tMACAddressPair MACPair;  // normalised; VLANID stays 0
    int32_t FramesSrcToDst = 0;
    int32_t FramesDstToSrc = 0;
    int64_t BytesSrcToDst = 0;
    int64_t BytesDstToSrc = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    int32_t FlowCount = 0;
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;
    tMACAddressPair OriginAddressPair;  // as the first frame carried it

    void initialize(int32_t FileIndex);
    bool operator==(const tMACConversation&) const = default;
    std::string DictionaryKey() const { return MACPair.DictionaryKey(); }
    tMACAddressPairKey BinaryKey() const { return MACPair.BinaryKey(); }
};

struct tIPv4Conversation {
    tIPv4AddressPair IPv4AddressPair;
    int32_t FramesSrcToDst = 0;
    int32_t FramesDstToSrc = 0;
    int64_t BytesSrcToDst = 0;
    int64_t BytesDstToSrc = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    int64_t MinRTTns = 0;
    int64_t MaxRTTns = 0;
    int64_t AggregatedRTTns = 0;
    int32_t RTTSampleCount = 0;
    int32_t FlowCount = 0;
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;
    tIPv4AddressPair OriginAddressPair;

    void initialize(int32_t FileIndex);
    bool operator==(const tIPv4Conversation&) const = default;
    std::string DictionaryKey() const { return IPv4AddressPair.DictionaryKey(); }
    tIPv4AddressPairKey BinaryKey() const { return IPv4AddressPair.BinaryKey(); }
};

struct tIPv6Conversation {
    tIPv6AddressPair IPv6AddressPair;
    int32_t FramesSrcToDst = 0;
    int32_t FramesDstToSrc = 0;
    int64_t BytesSrcToDst = 0;
    int64_t BytesDstToSrc = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    int64_t MinRTTns = 0;
    int64_t MaxRTTns = 0;
    int64_t AggregatedRTTns = 0;
    int32_t RTTSampleCount = 0;
    int32_t FlowCount = 0;
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;
    tIPv6AddressPair OriginAddressPair;

    void initialize(int32_t FileIndex);
    bool operator==(const tIPv6Conversation&) const = default;
    std::string DictionaryKey() const { return IPv6AddressPair.DictionaryKey(); }
    tIPv6AddressPairKey BinaryKey() const { return IPv6AddressPair.BinaryKey(); }
};

// ---- Socket-pair conversations ----

struct tTCPConversation {
    tIPSocketPair SocketPair;  // normalised; VLAN ids stay 0
    int32_t FramesSrcToDst = 0;
    int32_t FramesDstToSrc = 0;
    int64_t BytesSrcToDst = 0;
    int64_t BytesDstToSrc = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    bool SynSeen = false;
    bool FinSeen = false;
    bool RstSeen = false;
    tMarkerSet Markers;
    tTCPFlagMask Flags;  // union of the TCP flags of all frames
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    int64_t InitialRTTns = 0;  // client's SYN to the third handshake packet; 0 = not measured
    uint8_t SessionStatus = 0;
    tTunnelFlagSet Tunnelflags;
    std::string ClientRandom;
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;
    tIPSocketPair OriginAddressPair;
    tIPAddress ClientIP;  // the zero address while unknown
    uint32_t InitialSequenceNo = 0;
    uint32_t LastSeenSequence = 0;
    tFrameTimeStamp SynTimestamp;
    tFrameTimeStamp FinTimestamp;
    uint32_t HandshakeThird = 0;  // sequence number the client's third handshake packet carries
    tFrameTimeStamp HandshakeThirdTime;
    int32_t SynRetries = 0;
    int32_t HandshakeCount = 0;
    int32_t PayloadBytes = 0;
    int64_t ClientPayloadBytes = 0;
    int64_t ServerPayloadBytes = 0;
    std::string FilterMatchText;
    bool Marked = false;

    void initialize(int32_t FileIndex);
    bool operator==(const tTCPConversation&) const = default;
    std::string DictionaryKey() const { return SocketPair.DictionaryKey(); }
    tIPSocketPairKey BinaryKey() const { return SocketPair.BinaryKey(); }
};

struct tUDPConversation {
    tIPSocketPair SocketPair;
    int32_t FramesSrcToDst = 0;
    int32_t FramesDstToSrc = 0;
    int64_t BytesSrcToDst = 0;
    int64_t BytesDstToSrc = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;
    tTunnelFlagSet Tunnelflags;
    std::string ClientRandom;
    int32_t OriginFileIndex = 0;
    tFrameTimeStamp OriginTimestamp;
    tIPSocketPair OriginAddressPair;

    void initialize(int32_t FileIndex);
    bool operator==(const tUDPConversation&) const = default;
    std::string DictionaryKey() const { return SocketPair.DictionaryKey(); }
    tIPSocketPairKey BinaryKey() const { return SocketPair.BinaryKey(); }
};

// ---- Name resolutions ----

struct tNameResolutionEntry {
    tFQDN FQDN;
    bool isAnswer = false;
    tFQDN AliasFQDN;
    tNameResolutionAnswer Answer;
    tDNSReturnCode ReplyCode = dnsrcNoError;
    int32_t FrameCount = 0;
    int64_t FirstFrame = 0;
    int64_t LastFrame = 0;
    int64_t FirstFrameOffset = 0;
    int64_t LastFrameOffset = 0;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
    int32_t FirstFileID = 0;
    int32_t LastFileID = 0;
    tDNSRecordTypeSet QueryTypes;
    bool QueryOnly = false;
    int32_t UniqueClients = 0;
    tMarkerSet Markers;
    tInterfaceFileIDList InterfaceList;
    tConversationAttributeSet Attributes;

    void initialize(int32_t FileIndex);
    // Lower-case FullFQDN, "-1-" (answer) or "-0-", the answer's key, "-", the stored
    // reply code: www.example.com-1-1:192.0.2.1-0
    std::string DictionaryKey() const;
};

// ---- TCP session descriptions ----

// The label of a session status 0 to 11 ("No Handshake or teardown" ... "New socket closed
// due to client inactivity"); "" for any other value.
std::string_view SessionStatusText(uint8_t SessionStatus);
// "Frames out-of-order" or the status label, with the SYN-reject / SYN-retry wording of
// statuses 6 and 7, followed by the labels of the notable attributes.
std::string SessionDescription(uint8_t SessionStatus, tConversationAttributeSet Attributes);

}  // namespace morwick
