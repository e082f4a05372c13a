#pragma once
// The in-memory conversation store of one capture file (scan) or one database file
// (merge). AddFrame runs a frame through a parse master and turns its Ethernet, ARP,
// IPv4, IPv6, TCP and UDP layers into endpoint and conversation records; every record is
// merged into the dictionary of its kind by one merge rule (the add operations), which
// also serves records loaded from a database or copied from another store.
//
// The dictionaries are keyed by the records' binary keys (base/addresses.h): equal keys
// exactly where the key texts are equal, without building any text per frame. They are
// flat record maps (base/recordmap.h): one cache line of index per lookup, records in
// insertion order.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/recordmap.h"

#include "base/addresses.h"
#include "base/conversation_types.h"
#include "base/rawframe.h"
#include "base/timestamps.h"
#include "parser/parsemaster.h"

struct sqlite3;

namespace morwick {

class tSQLiteConnection;

// What all record builders of one frame share.
struct tFrameReference {
    int64_t FrameIndex = 0;  // the frame's number in its file
    uint32_t WireSize = 0;
    int64_t FileOffset = 0;
    tFrameTimeStamp Timestamp;
    tConversationAttributeSet Attributes{caSingleFrame};  // gathers the frame attributes
};

// The name resolution found in one DNS record (a question or an answer), before it
// becomes a tNameResolutionEntry.
struct tNameResolutionDetails {
    tFQDN FQDN;
    bool isAnswer = false;     // the message was a response
    uint8_t IPVersion = 0;     // of the packet that carried the message; not stored
    tNameResolutionAnswer Answer;  // empty for a question
    tMarkerSet Marker;
    tDNSRecordType QueryType = dnsrtUnknown;
    bool QueryOnly = true;     // built from a question
    tDNSReturnCode ReplyCode = dnsrcAvailable;

    void initialize() { *this = tNameResolutionDetails{}; }
    void initialize(const tFQDN& NewFQDN, bool NewIsAnswer, uint8_t NewIPVersion, const tNameResolutionAnswer& NewAnswer,
                    tMarkerSet NewMarker, tDNSRecordType NewQueryType, bool NewQueryOnly,
                    tDNSReturnCode NewReturnCode);
};

class tTCPParser;
class tUDPParser;

class tConversationStorage {
public:
    using tMACEndpointMap = tRecordMap<tMACAddressKey, tMACEndpoint>;
    using tMACConversationMap = tRecordMap<tMACAddressPairKey, tMACConversation>;
    using tIPv4EndpointMap = tRecordMap<tIPv4AddressKey, tIPv4Endpoint>;
    using tIPv4ConversationMap = tRecordMap<tIPv4AddressPairKey, tIPv4Conversation>;
    using tIPv6EndpointMap = tRecordMap<tIPv6AddressKey, tIPv6Endpoint>;
    using tIPv6ConversationMap = tRecordMap<tIPv6AddressPairKey, tIPv6Conversation>;
    using tTCPConversationMap = tRecordMap<tIPSocketPairKey, tTCPConversation>;
    using tUDPConversationMap = tRecordMap<tIPSocketPairKey, tUDPConversation>;
    // Name resolutions are keyed by their key text (tNameResolutionEntry::DictionaryKey).
    using tNameResolutionMap = std::unordered_map<std::string, tNameResolutionEntry>;

    tConversationStorage();
    ~tConversationStorage();
    tConversationStorage(const tConversationStorage&) = delete;
    tConversationStorage& operator=(const tConversationStorage&) = delete;

    // Empties all nine dictionaries.
    void Clear();

    // Parses the frame with the store's parse mode and merges the records of its layers.
    // The frame stays the caller's.
    void AddFrame(const tRawFrame& Frame);

    // Frame intake in groups. With a group size above 1, AddFrame keeps the records of up to
    // that many frames and merges them together, each dictionary's records in the order they
    // came (so the store ends up exactly as with frame-by-frame merging); the lookups of a
    // group then wait for memory side by side instead of one after the other.
    // FlushFrameGroup merges what is kept; the store must not be read before that.
    // The default size 1 merges every frame at once.
    void setFrameGroupSize(int32_t Value);
    int32_t FrameGroupSize() const { return priv_frameGroupSize; }
    // With a merge thread (and a group size above 1), a full group is merged by a second
    // thread while AddFrame parses the frames of the next one. Only the merges move there;
    // their order stays the same, and so does the store. Errors of a merge come out of the
    // next AddFrame or FlushFrameGroup.
    void setMergeThread(bool Value);
    bool MergeThread() const { return priv_worker != nullptr; }
    // Merges everything kept, and waits for the merge thread.
    void FlushFrameGroup();

    // Insert a record, or merge it into the stored one with the same key.
    void AddMACEndpoint(const tMACEndpoint& Value);
    void AddIPv4Endpoint(const tIPv4Endpoint& Value);
    void AddIPv6Endpoint(const tIPv6Endpoint& Value);
    void AddMACConversation(const tMACConversation& Value);
    void AddIPv4Conversation(const tIPv4Conversation& Value);
    void AddIPv6Conversation(const tIPv6Conversation& Value);
    // With client completion, payload accounting and the session rules.
    void AddTCPConversation(const tTCPConversation& Value);
    void AddUDPConversation(const tUDPConversation& Value);
    // Keyed by the lower-case name, direction, answer and reply code; a merge adds the frame
    // counts, keeps the first and last occurrence and unites record types, attributes and
    // markers. The stored entry keeps its letter case, interface list and QueryOnly.
    void AddNameResolution(tNameResolutionEntry Value);
    // Builds the entry of one DNS record seen in the frame and adds it. An empty name is a
    // caller's fault (tAssertionError).
    void AddNameResolutionDetails(const tNameResolutionDetails& Details, const tAbsoluteFileInterface& Interface,
                                  const tFrameReference& Ref);

    // Record builders of the frame intake, one per layer kind. Each builds the records of
    // one layer with the frame's reference and interface and adds them.
    void AddEthernetRecords(const tMACAddress& Source, const tMACAddress& Destination, const tFrameReference& Ref,
                            const tAbsoluteFileInterface& Interface);
    void AddARPRecords(const tMACAddress& SenderMAC, const tIPv4Address& SenderIP, const tMACAddress& TargetMAC,
                       const tIPv4Address& TargetIP, const tFrameReference& Ref,
                       const tAbsoluteFileInterface& Interface);
    // Quoted: the header was quoted inside an ICMP message (markers {mFoundByICMP}).
    void AddIPv4Records(const tIPv4Address& Source, const tIPv4Address& Destination, uint8_t TTL, bool Quoted,
                        const tFrameReference& Ref, const tAbsoluteFileInterface& Interface);
    void AddIPv6Records(const tIPv6Address& Source, const tIPv6Address& Destination, uint8_t HopLimit,
                        bool Quoted, const tFrameReference& Ref, const tAbsoluteFileInterface& Interface);
    // The IP pair is the last IP layer's (source, destination) of version 4 or 6.
    void AddTCPSegment(const tIPAddress& Source, const tIPAddress& Destination, const tTCPParser& Segment,
                       tTunnelFlagSet TunnelFlags, const tFrameReference& Ref,
                       const tAbsoluteFileInterface& Interface);
    void AddUDPDatagram(const tIPAddress& Source, const tIPAddress& Destination, uint16_t SourcePort,
                        uint16_t DestinationPort, tTunnelFlagSet TunnelFlags, const tFrameReference& Ref,
                        const tAbsoluteFileInterface& Interface);

    // Lookups by the value that keys a record (any direction of a pair); null when absent.
    const tMACEndpoint* FindMACEndpoint(const tMACAddress& Address) const;
    const tIPv4Endpoint* FindIPv4Endpoint(const tIPv4Address& Address) const;
    const tIPv6Endpoint* FindIPv6Endpoint(const tIPv6Address& Address) const;
    const tMACConversation* FindMACConversation(const tMACAddressPair& Pair) const;
    const tIPv4Conversation* FindIPv4Conversation(const tIPv4AddressPair& Pair) const;
    const tIPv6Conversation* FindIPv6Conversation(const tIPv6AddressPair& Pair) const;
    const tTCPConversation* FindTCPConversation(const tIPSocketPair& Pair) const;
    const tUDPConversation* FindUDPConversation(const tIPSocketPair& Pair) const;

    // The dictionaries, for writing them out and for copying between stores. The order in
    // which a map yields its records is not significant.
    const tMACEndpointMap& MACEndpoints() const {
        CheckNothingPending();
        return priv_dictMACEndpoints;
    }
    const tMACConversationMap& MACConversations() const {
        CheckNothingPending();
        return priv_dictMACConversations;
    }
    const tIPv4EndpointMap& IPv4Endpoints() const {
        CheckNothingPending();
        return priv_dictIPv4Endpoints;
    }
    const tIPv4ConversationMap& IPv4Conversations() const {
        CheckNothingPending();
        return priv_dictIPv4Conversations;
    }
    const tIPv6EndpointMap& IPv6Endpoints() const {
        CheckNothingPending();
        return priv_dictIPv6Endpoints;
    }
    const tIPv6ConversationMap& IPv6Conversations() const {
        CheckNothingPending();
        return priv_dictIPv6Conversations;
    }
    const tTCPConversationMap& TCPConversations() const {
        CheckNothingPending();
        return priv_dictTCPConversations;
    }
    const tUDPConversationMap& UDPConversations() const {
        CheckNothingPending();
        return priv_dictUDPConversations;
    }
    const tNameResolutionMap& NameResolutions() const { return priv_dictNameResolutions; }
    tNameResolutionMap& NameResolutions() { return priv_dictNameResolutions; }

    // ---- Moving records between stores and meta databases (conversationpersistence.cpp) ----

    // Writes every record under the file's Filelist row (found by name, size, date and
    // frame times) in one transaction and marks the file's conversations scanned. False,
    // with nothing written, when the database holds no matching row for the file; SQL
    // errors propagate and leave none of the rows behind.
    bool StoreConversationsToDatabase(tSQLiteConnection& Database, const std::string& Filename, int64_t FileSize,
                                      tDateTime FileDate, const tFrameTimeStamp& FirstFrameTime,
                                      const tFrameTimeStamp& LastFrameTime);
    // Adds the records stored for the file; false, with the store unchanged, when the
    // database holds no matching row for it.
    bool LoadConversationsFromDatabase(tSQLiteConnection& Database, const std::string& Filename, int64_t FileSize,
                                       tDateTime FileDate, const tFrameTimeStamp& FirstFrameTime,
                                       const tFrameTimeStamp& LastFrameTime);
    // Loads the records of the first file listed in the database (a per-file database
    // lists one); false when it lists none.
    bool LoadFirstFileConversationsFromDatabase(tSQLiteConnection& Database);
    // Adds copies of all records of Store; a FileID other than 0 replaces the file index of
    // every copy. Store is left unchanged.
    void AddConversationsFromStore(const tConversationStorage& Store, int32_t FileID);
    static void ForceFileIDOnInterfaceList(tInterfaceFileIDList& InterfaceList, int32_t FileID);

    int32_t CurrentFileIndex() const { return priv_filedbindex; }
    void setCurrentFileIndex(int32_t Value) { priv_filedbindex = Value; }
    tParseProcessMode FrameParseMode() const { return priv_FrameParseMode; }
    void setFrameParseMode(tParseProcessMode Value) { priv_FrameParseMode = Value; }
    int32_t EmptyTCPConversations() const { return priv_EmptyTCPConversations; }
    void setEmptyTCPConversations(int32_t Value) { priv_EmptyTCPConversations = Value; }
    sqlite3* Database() const { return priv_database; }
    void setDatabase(sqlite3* Value) { priv_database = Value; }

private:
    // The name resolutions of a DNS layer: its questions and its answer records (the
    // authority and additional sections are not recorded).
    void AddNameResolutionsOfFrame(const tFrameParser& DNSParser, uint8_t IPVersion, const tFrameReference& Ref,
                                   const tAbsoluteFileInterface& Interface);

    // AddFrame without the group bookkeeping.
    void AddFrameRecords(const tRawFrame& Frame);
    struct tPendingMerges;
    // Merges one group's records (prefetching their items first) and empties the group.
    void MergeGroup(tPendingMerges& Group);
    // A full group: merged now, or handed to the merge thread.
    void CompleteGroup();
    // Reading a store that still keeps records of a frame group is a caller's fault
    // (tAssertionError).
    void CheckNothingPending() const;

    // The record builders' way into the dictionaries: merged at once, or kept for the group.
    void Submit(const tMACEndpoint& Value);
    void Submit(const tMACConversation& Value);
    void Submit(const tIPv4Endpoint& Value);
    void Submit(const tIPv4Conversation& Value);
    void Submit(const tIPv6Endpoint& Value);
    void Submit(const tIPv6Conversation& Value);
    void Submit(const tTCPConversation& Value);
    void Submit(const tUDPConversation& Value);

    // Records of the frames of the current group, per dictionary in arrival order.
    struct tPendingMerges {
        std::vector<tMACEndpoint> MACEndpoints;
        std::vector<tMACConversation> MACConversations;
        std::vector<tIPv4Endpoint> IPv4Endpoints;
        std::vector<tIPv4Conversation> IPv4Conversations;
        std::vector<tIPv6Endpoint> IPv6Endpoints;
        std::vector<tIPv6Conversation> IPv6Conversations;
        std::vector<tTCPConversation> TCPConversations;
        std::vector<tUDPConversation> UDPConversations;
        int32_t Frames = 0;
    };

    class tMergeWorker;

    int32_t priv_filedbindex = 0;
    int32_t priv_frameGroupSize = 1;
    tPendingMerges priv_pending;
    tPendingMerges priv_merging;  // the group the merge thread works on
    std::unique_ptr<tMergeWorker> priv_worker;
    sqlite3* priv_database = nullptr;  // not owned
    tParseProcessMode priv_FrameParseMode = ppmParseAll;
    int32_t priv_EmptyTCPConversations = 0;

    tMACEndpointMap priv_dictMACEndpoints;
    tMACConversationMap priv_dictMACConversations;
    tIPv4EndpointMap priv_dictIPv4Endpoints;
    tIPv4ConversationMap priv_dictIPv4Conversations;
    tIPv6EndpointMap priv_dictIPv6Endpoints;
    tIPv6ConversationMap priv_dictIPv6Conversations;
    tTCPConversationMap priv_dictTCPConversations;
    tUDPConversationMap priv_dictUDPConversations;
    tNameResolutionMap priv_dictNameResolutions;
};

}  // namespace morwick
