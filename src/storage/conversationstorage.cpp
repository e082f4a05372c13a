#include "storage/conversationstorage.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <type_traits>

#include "base/errors.h"
#include "parser/frameparser.h"
#include "parser/parser_arp.h"
#include "parser/parser_ethernet.h"
#include "parser/parser_ipv4.h"
#include "parser/parser_ipv6.h"
#include "parser/parser_tcp.h"
#include "parser/parser_udp.h"

namespace morwick {

namespace {

// Typical captures hold a few hundred to a few thousand conversations per kind; larger
// ones grow the maps as they go.
constexpr size_t kInitialBuckets = 512;

template <typename R>
constexpr bool kIsConversation = requires(R r) { r.OriginAddressPair; };
template <typename R>
constexpr bool kIsTCP = std::is_same_v<R, tTCPConversation>;

// MAC endpoints name their frame numbers differently (and keep them in 32 bits).
template <typename R>
auto& FirstFrameOf(R& r) {
    if constexpr (std::is_same_v<std::remove_const_t<R>, tMACEndpoint>) return r.FirstFrameIndex;
    else return r.FirstFrame;
}
template <typename R>
auto& LastFrameOf(R& r) {
    if constexpr (std::is_same_v<std::remove_const_t<R>, tMACEndpoint>) return r.LastFrameIndex;
    else return r.LastFrame;
}

// The fields every new record of a frame takes from the frame reference.
template <typename R>
void StampFromFrame(R& r, const tFrameReference& Ref, const tAbsoluteFileInterface& Interface,
                     int32_t FileIndex) {
    r.initialize(FileIndex);
    tInterfaceFileIDEntry entry;
    entry.initialize(Interface);
    r.InterfaceList.push_back(entry);
    r.FirstFrameTime = Ref.Timestamp;
    r.LastFrameTime = Ref.Timestamp;
    r.OriginTimestamp = Ref.Timestamp;
    using tFrameNo = std::remove_reference_t<decltype(FirstFrameOf(r))>;
    FirstFrameOf(r) = static_cast<tFrameNo>(Ref.FrameIndex);
    LastFrameOf(r) = static_cast<tFrameNo>(Ref.FrameIndex);
    r.FirstFrameOffset = Ref.FileOffset;
    r.LastFrameOffset = Ref.FileOffset;
    r.Attributes = Ref.Attributes;
}

// Counts the frame in the direction it travelled: source to destination of the normalised
// pair when the normalised source equals the frame's source address, otherwise the other
// way, and then the record is marked flipped.
template <typename R>
void CountDirection(R& r, bool SourceToDestination, uint32_t WireSize) {
    if (SourceToDestination) {
        r.FramesSrcToDst = 1;
        r.BytesSrcToDst = WireSize;
    } else {
        r.FramesDstToSrc = 1;
        r.BytesDstToSrc = WireSize;
        r.Attributes.add(caAddressPairFlipped);
    }
}

// --- TCP additions to the merge rule ---

// The sender of V's segment, read from V's direction; the zero address when E's client is
// unknown (nothing is then counted).
void AccountTCPPayload(tTCPConversation& E, const tTCPConversation& V, bool& FromServer) {
    FromServer = false;
    if (E.ClientIP.isZeroAddress()) return;
    const tIPAddress& sender = V.Attributes.has(caAddressPairFlipped) ? V.SocketPair.Destination.IPAddress
                                                                     : V.SocketPair.Source.IPAddress;
    if (sender == E.ClientIP) {
        E.ClientPayloadBytes += V.PayloadBytes;
    } else {
        E.ServerPayloadBytes += V.PayloadBytes;
        FromServer = true;
    }
    E.PayloadBytes = static_cast<int32_t>(static_cast<uint32_t>(E.ClientPayloadBytes + E.ServerPayloadBytes));
}

int64_t WholeSecondsBetween(const tDateTime& a, const tDateTime& b) {
    const int64_t ms = a.ms >= b.ms ? a.ms - b.ms : b.ms - a.ms;
    return ms / 1000;
}

void ApplyTCPSessionRules(tTCPConversation& E, const tTCPConversation& V, bool FromServer) {
    if (E.SessionStatus == 1) {
        if (!(V.ClientIP == E.ClientIP)) {
            if (V.SessionStatus == 1) E.SessionStatus = 3;
            if (V.SessionStatus == 2) E.SessionStatus = 4;
            if (V.RstSeen) {
                E.SessionStatus = 5;
                E.Attributes.add(caTCPSYNReset);
            }
        } else if (V.SessionStatus == 1 && V.InitialSequenceNo == E.InitialSequenceNo) {
            ++E.SynRetries;
            E.Attributes.add(caTCPMultiSYNRetry);
        }
    } else if (E.SessionStatus == 7 && V.SynSeen && V.SynTimestamp != E.SynTimestamp) {
        E.Attributes.add(caTCPPortReused);
    }

    if (V.FinSeen || V.RstSeen) {
        E.FinTimestamp = V.FirstFrameTime;
        switch (E.SessionStatus) {
            case 0: E.SessionStatus = 8; break;
            case 4: E.SessionStatus = 9; break;
            case 6:
                if (E.ClientPayloadBytes != 0 || E.ServerPayloadBytes != 0 || !FromServer ||
                    E.HandshakeThirdTime.datetime.ms == 0) {
                    E.SessionStatus = 7;
                } else {
                    // The server closed a socket on which the client never sent anything: a
                    // quick close is a refusal, a late one a time-out on the idle client.
                    const int64_t s = WholeSecondsBetween(V.FirstFrameTime.datetime, E.HandshakeThirdTime.datetime);
                    const int64_t r = E.InitialRTTns / 1'000'000'000;
                    E.SessionStatus = (s > 0 && s > 2 * r) ? 11 : 10;
                }
                break;
            default: break;  // 7 stays 7, the others do not change
        }
    }

    if (E.InitialRTTns == 0) {
        if (V.SynSeen && V.InitialSequenceNo > 0) {
            E.InitialSequenceNo = V.InitialSequenceNo;
            E.SynTimestamp = V.SynTimestamp;
        }
        if (!V.SynSeen && !V.FinSeen && !V.RstSeen && E.InitialSequenceNo > 0 &&
            V.LastSeenSequence == E.HandshakeThird) {
            E.InitialRTTns = NanosecondsBetween(V.FirstFrameTime, E.SynTimestamp);
            E.SessionStatus = 6;
            E.HandshakeThirdTime = V.FirstFrameTime;
            if (++E.HandshakeCount > 1) E.Attributes.add(caTCPMultiSession);
        }
    }

    E.Flags |= V.Flags;
}

// --- The merge rule shared by the eight endpoint and conversation kinds ---

// Merges V into the stored record E. V is read only; the attributes it contributes are
// worked on in a local copy, so no whole record (with its interface list) is copied per frame.
template <typename R>
void MergeInto(R& E, const R& V) {
    auto vAttributes = V.Attributes;

    bool fromServer = false;
    if constexpr (kIsTCP<R>) AccountTCPPayload(E, V, fromServer);

    // The flipped mark keeps the direction of the record's first frame.
    if constexpr (kIsConversation<R>) vAttributes.remove(caAddressPairFlipped);

    if (vAttributes.has(caSingleFrame)) {
        if (!E.Attributes.has(caTimeOutOfOrder) && V.OriginFileIndex == E.LastFileID &&
            V.OriginTimestamp < E.LastFrameTime)
            E.Attributes.add(caTimeOutOfOrder);
        if constexpr (kIsConversation<R>) {
            if (E.Attributes.has(caOneSidedCommunication) && !(V.OriginAddressPair.Source == E.OriginAddressPair.Source))
                E.Attributes.remove(caOneSidedCommunication);
        }
        vAttributes.remove(caSingleFrame);
    }

    if (V.OriginFileIndex == E.LastFileID && !E.InterfaceList.empty() && !V.InterfaceList.empty() &&
        E.InterfaceList[0].FileIndex == V.InterfaceList[0].FileIndex &&
        E.InterfaceList[0].InterfaceFlags != V.InterfaceList[0].InterfaceFlags)
        E.Attributes.add(caMultipleInterfaces);

    // One-sided only while every merged record is one-sided.
    if (!E.Attributes.has(caOneSidedCommunication)) vAttributes.remove(caOneSidedCommunication);
    else if (!vAttributes.has(caOneSidedCommunication)) E.Attributes.remove(caOneSidedCommunication);

    E.Attributes |= vAttributes;
    if (E.Attributes.has(caSingleFrame)) {
        E.Attributes.remove(caSingleFrame);
        E.OriginTimestamp.initialize();
    }

    if constexpr (kIsTCP<R>) {
        if (!E.Attributes.has(caSpansMultipleFiles) && !SameFileSet(E.InterfaceList, V.InterfaceList))
            E.Attributes.add(caSpansMultipleFiles);
        MergeInterfaceListInto(E.InterfaceList, V.InterfaceList);
    } else {
        MergeInterfaceListInto(E.InterfaceList, V.InterfaceList);
        if (!E.Attributes.has(caSpansMultipleFiles) && E.InterfaceList.size() > 1)
            E.Attributes.add(caSpansMultipleFiles);
    }

    if constexpr (kIsConversation<R>) {
        E.FramesSrcToDst += V.FramesSrcToDst;
        E.FramesDstToSrc += V.FramesDstToSrc;
        E.BytesSrcToDst += V.BytesSrcToDst;
        E.BytesDstToSrc += V.BytesDstToSrc;
    } else {
        E.FramesReceived += V.FramesReceived;
        E.FramesSent += V.FramesSent;
        E.BytesReceived += V.BytesReceived;
        E.BytesSent += V.BytesSent;
    }

    if constexpr (kIsTCP<R>) {
        if (!V.ClientIP.isZeroAddress() && E.ClientIP.isZeroAddress()) E.ClientIP = V.ClientIP;
    }

    if (E.FirstFileID >= V.FirstFileID) {
        E.FirstFileID = std::min(E.FirstFileID, V.FirstFileID);
        FirstFrameOf(E) = std::min(FirstFrameOf(E), FirstFrameOf(V));
        E.FirstFrameOffset = std::min(E.FirstFrameOffset, V.FirstFrameOffset);
        if (V.FirstFrameTime < E.FirstFrameTime) E.FirstFrameTime = V.FirstFrameTime;
    }
    if (V.LastFileID >= E.LastFileID) {
        E.LastFileID = std::max(E.LastFileID, V.LastFileID);
        LastFrameOf(E) = std::max(LastFrameOf(E), LastFrameOf(V));
        E.LastFrameOffset = std::max(E.LastFrameOffset, V.LastFrameOffset);
        if (V.LastFrameTime > E.LastFrameTime) E.LastFrameTime = V.LastFrameTime;
    }

    if constexpr (kIsTCP<R>) {
        E.SynSeen = E.SynSeen || V.SynSeen;
        E.FinSeen = E.FinSeen || V.FinSeen;
        E.RstSeen = E.RstSeen || V.RstSeen;
        ApplyTCPSessionRules(E, V, fromServer);
    }

    E.Markers |= V.Markers;

    // Only a packet's own header tells its TTL / hop limit; records from ARP, ICMP quotes
    // or a database say nothing about it.
    if constexpr (std::is_same_v<R, tIPv4Endpoint>) {
        if (V.Markers == tMarkerSet{mFoundByIPv4} && V.TTL != 0) {
            if (E.TTL == 0) E.TTL = V.TTL;
            else if (E.TTL != V.TTL) E.Attributes.add(caMultiTTL);
        }
    } else if constexpr (std::is_same_v<R, tIPv6Endpoint>) {
        if (V.Markers == tMarkerSet{mFoundByIPv6} && V.HopLimit != 0) {
            if (E.HopLimit == 0) E.HopLimit = V.HopLimit;
            else if (E.HopLimit != V.HopLimit) E.Attributes.add(caMultiTTL);
        }
    }
}

template <typename Map, typename R>
void MergeRecord(Map& map, const R& Value) {
    auto [it, inserted] = map.try_emplace(Value.BinaryKey(), Value);
    if (inserted) {
        if constexpr (kIsTCP<R>) {
            // A conversation that did not start with a SYN gets its client from the ports.
            R& stored = it->second;
            if (!stored.Flags.has(tcpSYN)) stored.ClientIP = ClientAddressByPorts(stored.SocketPair);
        }
        return;
    }
    R& E = it->second;
    if (&E == &Value) {
        // A stored record merged into itself: work from a copy, as E changes under way.
        const R copy = Value;
        MergeInto(E, copy);
    } else {
        MergeInto(E, Value);
    }
}

// A record of a frame: merged now, or kept for the frame group with its index slot
// fetched meanwhile.
template <typename Map, typename R>
void SubmitRecord(Map& map, std::vector<R>& pending, bool Deferred, bool Threaded, const R& Value) {
    if (!Deferred) {
        MergeRecord(map, Value);
        return;
    }
    // While a merge thread works on the maps, only it may look at them.
    if (!Threaded) map.PrefetchSlot(Value.BinaryKey());
    pending.push_back(Value);
}

// The items of the first records of a group, fetched before its merges start.
template <typename Map, typename R>
void PrefetchPending(const Map& map, const std::vector<R>& pending) {
    const size_t n = std::min<size_t>(pending.size(), 8);
    for (size_t i = 0; i < n; ++i) map.PrefetchItem(pending[i].BinaryKey());
}

// Merges in order while the index slots and items of the records a little further on are
// fetched, so that the merges do not wait for memory one after the other.
template <typename Map, typename R>
void MergePending(Map& map, std::vector<R>& pending) {
    constexpr size_t kSlotsAhead = 16;
    constexpr size_t kItemsAhead = 8;
    const size_t n = pending.size();
    for (size_t i = 0; i < n; ++i) {
        if (i + kSlotsAhead < n) map.PrefetchSlot(pending[i + kSlotsAhead].BinaryKey());
        if (i + kItemsAhead < n) map.PrefetchItem(pending[i + kItemsAhead].BinaryKey());
        MergeRecord(map, pending[i]);
    }
    pending.clear();
}

template <typename Map, typename Key>
const typename Map::mapped_type* FindIn(const Map& map, const Key& key) {
    const auto* item = map.lookup(key);
    return item ? &item->second : nullptr;
}

bool IsIPv4Type(int32_t t) { return t == hdrIPv4 || t == hdrIPv4inIP; }
bool IsIPv6Type(int32_t t) { return t == hdrIPv6 || t == hdrIPv6inIP; }
bool IsEthernetType(int32_t t) { return t == hdrEthernet || t == hdrTransparentEthernet; }

// Plain Ethernet / one IPv4 header without options or IPv6 / TCP frames pass the quick
// filter of the analysis program; everything else is marked.
bool NeedsNoQuickFilterMark(const tParseMaster& Master) {
    if (Master.IPLayerCount() > 1) return true;
    if (Master.ParserCount() <= 2) return false;
    const tParseList& list = Master.ParseList();
    if (!IsEthernetType(list[0].Anchor.HeaderType)) return true;
    const int32_t second = list[1].Anchor.HeaderType;
    if (IsIPv4Type(second)) {
        if (static_cast<const tIPv4Parser*>(list[1].Parser)->IHL() != 20) return true;
    } else if (!IsIPv6Type(second)) {
        return true;
    }
    return list[2].Anchor.HeaderType != hdrTCP;
}

}  // namespace

// One thread that merges the groups it is handed, one at a time.
class tConversationStorage::tMergeWorker {
public:
    explicit tMergeWorker(tConversationStorage& Store) : priv_store(Store), priv_thread([this] { Run(); }) {}
    ~tMergeWorker() {
        {
            std::lock_guard lock(priv_mutex);
            priv_stop = true;
        }
        priv_wake.notify_all();
        priv_thread.join();
    }

    // Waits until the group handed before is merged; a merge error is passed on here.
    void Wait() {
        std::unique_lock lock(priv_mutex);
        priv_wake.wait(lock, [this] { return priv_job == nullptr; });
        if (priv_error) std::rethrow_exception(std::exchange(priv_error, nullptr));
    }
    // Hands a group over; the worker must be idle (Wait first).
    void Start(tPendingMerges& Group) {
        {
            std::lock_guard lock(priv_mutex);
            priv_job = &Group;
        }
        priv_wake.notify_all();
    }
    bool Busy() {
        std::lock_guard lock(priv_mutex);
        return priv_job != nullptr;
    }

private:
    void Run() {
        std::unique_lock lock(priv_mutex);
        for (;;) {
            priv_wake.wait(lock, [this] { return priv_job != nullptr || priv_stop; });
            if (priv_job == nullptr) return;
            tPendingMerges* job = priv_job;
            lock.unlock();
            std::exception_ptr error;
            try {
                priv_store.MergeGroup(*job);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            if (error && !priv_error) priv_error = error;
            priv_job = nullptr;
            priv_wake.notify_all();
        }
    }

    tConversationStorage& priv_store;
    std::mutex priv_mutex;
    std::condition_variable priv_wake;
    tPendingMerges* priv_job = nullptr;
    std::exception_ptr priv_error;
    bool priv_stop = false;
    std::thread priv_thread;  // last: starts once the members above exist
};

tConversationStorage::tConversationStorage() {
    priv_dictMACEndpoints.reserve(kInitialBuckets);
    priv_dictMACConversations.reserve(kInitialBuckets);
    priv_dictIPv4Endpoints.reserve(kInitialBuckets);
    priv_dictIPv4Conversations.reserve(kInitialBuckets);
    priv_dictIPv6Endpoints.reserve(kInitialBuckets);
    priv_dictIPv6Conversations.reserve(kInitialBuckets);
    priv_dictTCPConversations.reserve(kInitialBuckets);
    priv_dictUDPConversations.reserve(kInitialBuckets);
}

tConversationStorage::~tConversationStorage() {
    priv_worker.reset();  // finishes the group in hand and ends the thread
    Clear();
}

void tConversationStorage::Clear() {
    if (priv_worker) {
        try {
            priv_worker->Wait();
        } catch (...) {
            // what a failed merge left is emptied below anyway
        }
    }
    priv_dictMACEndpoints.clear();
    priv_dictMACConversations.clear();
    priv_dictIPv4Endpoints.clear();
    priv_dictIPv4Conversations.clear();
    priv_dictIPv6Endpoints.clear();
    priv_dictIPv6Conversations.clear();
    priv_dictTCPConversations.clear();
    priv_dictUDPConversations.clear();
    priv_dictNameResolutions.clear();
    priv_pending = tPendingMerges{};
    priv_merging = tPendingMerges{};
}

void tConversationStorage::CheckNothingPending() const {
    if (priv_pending.Frames != 0 || (priv_worker && priv_worker->Busy()))
        throw tAssertionError("Conversation store read while a frame group is pending (FlushFrameGroup)");
}

void tConversationStorage::AddMACEndpoint(const tMACEndpoint& Value) { MergeRecord(priv_dictMACEndpoints, Value); }
void tConversationStorage::AddIPv4Endpoint(const tIPv4Endpoint& Value) { MergeRecord(priv_dictIPv4Endpoints, Value); }
void tConversationStorage::AddIPv6Endpoint(const tIPv6Endpoint& Value) { MergeRecord(priv_dictIPv6Endpoints, Value); }
void tConversationStorage::AddMACConversation(const tMACConversation& Value) {
    MergeRecord(priv_dictMACConversations, Value);
}
void tConversationStorage::AddIPv4Conversation(const tIPv4Conversation& Value) {
    MergeRecord(priv_dictIPv4Conversations, Value);
}
void tConversationStorage::AddIPv6Conversation(const tIPv6Conversation& Value) {
    MergeRecord(priv_dictIPv6Conversations, Value);
}
void tConversationStorage::AddTCPConversation(const tTCPConversation& Value) {
    MergeRecord(priv_dictTCPConversations, Value);
}
void tConversationStorage::AddUDPConversation(const tUDPConversation& Value) {
    MergeRecord(priv_dictUDPConversations, Value);
}

const tMACEndpoint* tConversationStorage::FindMACEndpoint(const tMACAddress& Address) const {
    CheckNothingPending();
    return FindIn(priv_dictMACEndpoints, Address.BinaryKey());
}
const tIPv4Endpoint* tConversationStorage::FindIPv4Endpoint(const tIPv4Address& Address) const {
    CheckNothingPending();
    return FindIn(priv_dictIPv4Endpoints, Address.BinaryKey());
}
const tIPv6Endpoint* tConversationStorage::FindIPv6Endpoint(const tIPv6Address& Address) const {
    CheckNothingPending();
    return FindIn(priv_dictIPv6Endpoints, Address.BinaryKey());
}
const tMACConversation* tConversationStorage::FindMACConversation(const tMACAddressPair& Pair) const {
    CheckNothingPending();
    return FindIn(priv_dictMACConversations, Pair.BinaryKey());
}
const tIPv4Conversation* tConversationStorage::FindIPv4Conversation(const tIPv4AddressPair& Pair) const {
    CheckNothingPending();
    return FindIn(priv_dictIPv4Conversations, Pair.BinaryKey());
}
const tIPv6Conversation* tConversationStorage::FindIPv6Conversation(const tIPv6AddressPair& Pair) const {
    CheckNothingPending();
    return FindIn(priv_dictIPv6Conversations, Pair.BinaryKey());
}
const tTCPConversation* tConversationStorage::FindTCPConversation(const tIPSocketPair& Pair) const {
    CheckNothingPending();
    return FindIn(priv_dictTCPConversations, Pair.BinaryKey());
}
const tUDPConversation* tConversationStorage::FindUDPConversation(const tIPSocketPair& Pair) const {
    CheckNothingPending();
    return FindIn(priv_dictUDPConversations, Pair.BinaryKey());
}

// ---- Frame groups ----

void tConversationStorage::setFrameGroupSize(int32_t Value) {
    FlushFrameGroup();
    priv_frameGroupSize = std::max(Value, 1);
}

void tConversationStorage::setMergeThread(bool Value) {
    FlushFrameGroup();
    if (Value && !priv_worker) priv_worker = std::make_unique<tMergeWorker>(*this);
    else if (!Value) priv_worker.reset();
}

void tConversationStorage::MergeGroup(tPendingMerges& p) {
    // First every item the group will merge into is asked for, then the merges run.
    PrefetchPending(priv_dictMACEndpoints, p.MACEndpoints);
    PrefetchPending(priv_dictMACConversations, p.MACConversations);
    PrefetchPending(priv_dictIPv4Endpoints, p.IPv4Endpoints);
    PrefetchPending(priv_dictIPv4Conversations, p.IPv4Conversations);
    PrefetchPending(priv_dictIPv6Endpoints, p.IPv6Endpoints);
    PrefetchPending(priv_dictIPv6Conversations, p.IPv6Conversations);
    PrefetchPending(priv_dictTCPConversations, p.TCPConversations);
    PrefetchPending(priv_dictUDPConversations, p.UDPConversations);
    MergePending(priv_dictMACEndpoints, p.MACEndpoints);
    MergePending(priv_dictMACConversations, p.MACConversations);
    MergePending(priv_dictIPv4Endpoints, p.IPv4Endpoints);
    MergePending(priv_dictIPv4Conversations, p.IPv4Conversations);
    MergePending(priv_dictIPv6Endpoints, p.IPv6Endpoints);
    MergePending(priv_dictIPv6Conversations, p.IPv6Conversations);
    MergePending(priv_dictTCPConversations, p.TCPConversations);
    MergePending(priv_dictUDPConversations, p.UDPConversations);
    p.Frames = 0;
}

void tConversationStorage::CompleteGroup() {
    if (!priv_worker) {
        MergeGroup(priv_pending);
        return;
    }
    priv_worker->Wait();
    std::swap(priv_pending, priv_merging);  // the emptied buffers come back for the next group
    priv_worker->Start(priv_merging);
}

void tConversationStorage::FlushFrameGroup() {
    if (priv_worker) priv_worker->Wait();
    MergeGroup(priv_pending);
}

void tConversationStorage::Submit(const tMACEndpoint& Value) {
    SubmitRecord(priv_dictMACEndpoints, priv_pending.MACEndpoints, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}
void tConversationStorage::Submit(const tMACConversation& Value) {
    SubmitRecord(priv_dictMACConversations, priv_pending.MACConversations, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}
void tConversationStorage::Submit(const tIPv4Endpoint& Value) {
    SubmitRecord(priv_dictIPv4Endpoints, priv_pending.IPv4Endpoints, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}
void tConversationStorage::Submit(const tIPv4Conversation& Value) {
    SubmitRecord(priv_dictIPv4Conversations, priv_pending.IPv4Conversations, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}
void tConversationStorage::Submit(const tIPv6Endpoint& Value) {
    SubmitRecord(priv_dictIPv6Endpoints, priv_pending.IPv6Endpoints, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}
void tConversationStorage::Submit(const tIPv6Conversation& Value) {
    SubmitRecord(priv_dictIPv6Conversations, priv_pending.IPv6Conversations, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}
void tConversationStorage::Submit(const tTCPConversation& Value) {
    SubmitRecord(priv_dictTCPConversations, priv_pending.TCPConversations, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}
void tConversationStorage::Submit(const tUDPConversation& Value) {
    SubmitRecord(priv_dictUDPConversations, priv_pending.UDPConversations, priv_frameGroupSize > 1, priv_worker != nullptr, Value);
}

// ---- Record builders ----

void tConversationStorage::AddEthernetRecords(const tMACAddress& Source, const tMACAddress& Destination,
                                              const tFrameReference& Ref, const tAbsoluteFileInterface& Interface) {
    const tMarkerSet markers{mFoundByEthernet};
    tMACEndpoint ep;
    StampFromFrame(ep, Ref, Interface, priv_filedbindex);
    ep.Markers = markers;
    ep.MACAddress = Source;
    ep.FramesSent = 1;
    ep.BytesSent = Ref.WireSize;
    Submit(ep);

    StampFromFrame(ep, Ref, Interface, priv_filedbindex);
    ep.Markers = markers;
    ep.MACAddress = Destination;
    ep.FramesReceived = 1;
    ep.BytesReceived = Ref.WireSize;
    Submit(ep);

    tMACConversation conv;
    StampFromFrame(conv, Ref, Interface, priv_filedbindex);
    conv.Markers = markers;
    conv.MACPair.initialize(Source, Destination);
    conv.OriginAddressPair = conv.MACPair;
    conv.MACPair.normalize();
    conv.Attributes.add(caOneSidedCommunication);
    CountDirection(conv, conv.MACPair.Source == Source, Ref.WireSize);
    Submit(conv);
}

void tConversationStorage::AddARPRecords(const tMACAddress& SenderMAC, const tIPv4Address& SenderIP,
                                         const tMACAddress& TargetMAC, const tIPv4Address& TargetIP,
                                         const tFrameReference& Ref, const tAbsoluteFileInterface& Interface) {
    // ARP tells who is there, not what was sent: no frame or byte counts.
    const tMarkerSet markers{mFoundByARP};
    tMACEndpoint mac;
    for (const tMACAddress* address : {&SenderMAC, &TargetMAC}) {
        StampFromFrame(mac, Ref, Interface, priv_filedbindex);
        mac.Markers = markers;
        mac.MACAddress = *address;
        Submit(mac);
    }
    tMACConversation macConv;
    StampFromFrame(macConv, Ref, Interface, priv_filedbindex);
    macConv.Markers = markers;
    macConv.MACPair.initialize(SenderMAC, TargetMAC);
    macConv.OriginAddressPair = macConv.MACPair;
    macConv.MACPair.normalize();
    macConv.Attributes.add(caOneSidedCommunication);
    Submit(macConv);

    tIPv4Endpoint ip;
    for (const tIPv4Address* address : {&SenderIP, &TargetIP}) {
        StampFromFrame(ip, Ref, Interface, priv_filedbindex);
        ip.Markers = markers;
        ip.IPv4Address = *address;
        Submit(ip);
    }
    tIPv4Conversation ipConv;
    StampFromFrame(ipConv, Ref, Interface, priv_filedbindex);
    ipConv.Markers = markers;
    ipConv.IPv4AddressPair.initialize(SenderIP, TargetIP);
    ipConv.OriginAddressPair = ipConv.IPv4AddressPair;
    ipConv.IPv4AddressPair.normalize();
    ipConv.Attributes.add(caOneSidedCommunication);
    if (!(ipConv.IPv4AddressPair.Source == SenderIP)) ipConv.Attributes.add(caAddressPairFlipped);
    Submit(ipConv);
}

void tConversationStorage::AddIPv4Records(const tIPv4Address& Source, const tIPv4Address& Destination, uint8_t TTL,
                                          bool Quoted, const tFrameReference& Ref,
                                          const tAbsoluteFileInterface& Interface) {
    const tMarkerSet markers{Quoted ? mFoundByICMP : mFoundByIPv4};
    tIPv4Endpoint ep;
    StampFromFrame(ep, Ref, Interface, priv_filedbindex);
    ep.Markers = markers;
    ep.IPv4Address = Source;
    ep.FramesSent = 1;
    ep.BytesSent = Ref.WireSize;
    ep.TTL = TTL;
    Submit(ep);

    StampFromFrame(ep, Ref, Interface, priv_filedbindex);
    ep.Markers = markers;
    ep.IPv4Address = Destination;
    ep.FramesReceived = 1;
    ep.BytesReceived = Ref.WireSize;
    Submit(ep);

    tIPv4Conversation conv;
    StampFromFrame(conv, Ref, Interface, priv_filedbindex);
    conv.Markers = markers;
    conv.IPv4AddressPair.initialize(Source, Destination);
    conv.OriginAddressPair = conv.IPv4AddressPair;
    conv.IPv4AddressPair.normalize();
    conv.Attributes.add(caOneSidedCommunication);
    CountDirection(conv, conv.IPv4AddressPair.Source == Source, Ref.WireSize);
    Submit(conv);
}

void tConversationStorage::AddIPv6Records(const tIPv6Address& Source, const tIPv6Address& Destination,
                                          uint8_t HopLimit, bool Quoted, const tFrameReference& Ref,
                                          const tAbsoluteFileInterface& Interface) {
    const tMarkerSet markers{Quoted ? mFoundByICMP : mFoundByIPv6};
    tIPv6Endpoint ep;
    StampFromFrame(ep, Ref, Interface, priv_filedbindex);
    ep.Markers = markers;
    ep.IPv6Address = Source;
    ep.FramesSent = 1;
    ep.BytesSent = Ref.WireSize;
    Submit(ep);

    // The hop limit is kept with the address the packet was addressed to.
    StampFromFrame(ep, Ref, Interface, priv_filedbindex);
    ep.Markers = markers;
    ep.IPv6Address = Destination;
    ep.FramesReceived = 1;
    ep.BytesReceived = Ref.WireSize;
    ep.HopLimit = HopLimit;
    Submit(ep);

    tIPv6Conversation conv;
    StampFromFrame(conv, Ref, Interface, priv_filedbindex);
    conv.Markers = markers;
    conv.IPv6AddressPair.initialize(Source, Destination);
    conv.OriginAddressPair = conv.IPv6AddressPair;
    conv.IPv6AddressPair.normalize();
    conv.Attributes.add(caOneSidedCommunication);
    CountDirection(conv, conv.IPv6AddressPair.Source == Source, Ref.WireSize);
    Submit(conv);
}

void tConversationStorage::AddTCPSegment(const tIPAddress& Source, const tIPAddress& Destination,
                                         const tTCPParser& Segment, tTunnelFlagSet TunnelFlags,
                                         const tFrameReference& Ref, const tAbsoluteFileInterface& Interface) {
    tTCPConversation conv;
    StampFromFrame(conv, Ref, Interface, priv_filedbindex);
    tIPSocket src, dst;
    src.initialize(Source, Segment.SourcePort(), 0);
    dst.initialize(Destination, Segment.DestinationPort(), 0);
    conv.SocketPair.initialize(src, dst);
    conv.OriginAddressPair = conv.SocketPair;
    conv.SocketPair.normalize();
    // Addresses only: a segment between two ports of one host counts source to destination.
    CountDirection(conv, conv.SocketPair.Source.IPAddress == Source, Ref.WireSize);

    const tTCPFlagSet flags = Segment.Flags();
    conv.SynSeen = flags.has(tcpSYN);
    conv.FinSeen = flags.has(tcpFIN);
    conv.RstSeen = flags.has(tcpRST);
    conv.Flags = flags;
    conv.Markers = tMarkerSet{Source.IPVersion == 6 ? mFoundByIPv6 : mFoundByIPv4};
    conv.Attributes.add(caOneSidedCommunication);

    // A header whose length claims more than the IP payload holds carries no payload
    // rather than a negative amount.
    const int32_t payload = std::max(Segment.PayloadLength(), 0);
    const uint32_t sequence = Segment.SequenceNumber().Value;
    if (Segment.isSYNACKPacket()) {
        conv.SessionStatus = 2;
        conv.ClientIP = Destination;
    }
    if (Segment.isSYNPacket()) {
        conv.ClientIP = Source;
        conv.SessionStatus = 1;
        conv.SynTimestamp = Ref.Timestamp;
        conv.InitialSequenceNo = sequence;
        conv.HandshakeThird = sequence + static_cast<uint32_t>(payload) + 1u;  // modulo 2^32
        conv.ClientPayloadBytes = payload;
    } else {
        conv.LastSeenSequence = sequence;
    }
    conv.PayloadBytes = payload;
    conv.Tunnelflags = TunnelFlags;
    Submit(conv);
}

void tConversationStorage::AddUDPDatagram(const tIPAddress& Source, const tIPAddress& Destination,
                                          uint16_t SourcePort, uint16_t DestinationPort, tTunnelFlagSet TunnelFlags,
                                          const tFrameReference& Ref, const tAbsoluteFileInterface& Interface) {
    tUDPConversation conv;
    StampFromFrame(conv, Ref, Interface, priv_filedbindex);
    tIPSocket src, dst;
    src.initialize(Source, SourcePort, 0);
    dst.initialize(Destination, DestinationPort, 0);
    conv.SocketPair.initialize(src, dst);
    conv.OriginAddressPair = conv.SocketPair;
    conv.SocketPair.normalize();
    conv.Markers = tMarkerSet{Source.IPVersion == 6 ? mFoundByIPv6 : mFoundByIPv4};
    conv.Attributes.add(caOneSidedCommunication);
    CountDirection(conv, conv.SocketPair.Source.IPAddress == Source, Ref.WireSize);
    conv.Tunnelflags = TunnelFlags;
    Submit(conv);
}

// ---- Frame intake ----

void tConversationStorage::AddFrame(const tRawFrame& Frame) {
    AddFrameRecords(Frame);
    if (priv_frameGroupSize > 1 && ++priv_pending.Frames >= priv_frameGroupSize) CompleteGroup();
}

void tConversationStorage::AddFrameRecords(const tRawFrame& Frame) {
    const tParseMaster master(Frame, priv_FrameParseMode);
    const tParseList& list = master.ParseList();
    if (list.empty()) return;

    tFrameReference ref;
    ref.FrameIndex = static_cast<int64_t>(Frame.FileFrameID());
    ref.WireSize = Frame.WireSize();
    ref.FileOffset = Frame.FileOffset();
    ref.Timestamp = Frame.Timestamp();
    tAbsoluteFileInterface iface;
    iface.initialize(priv_filedbindex, Frame.InterfaceID());

    if (NeedsNoQuickFilterMark(master)) ref.Attributes.add(caNoQuickFilter);

    const uint32_t wire = Frame.WireSize();
    const uint32_t captured = Frame.FrameSize();
    bool icmpQuote = false;     // the next IP header is quoted inside an ICMP message
    uint8_t lastIPVersion = 0;  // of the last IP header met
    tIPAddress lastSource, lastDestination;

    for (const tParseEntry& entry : list) {
        const int32_t type = entry.Anchor.HeaderType;
        const tFrameParser* parser = entry.Parser;
        if (!parser) continue;
        switch (type) {
            case hdrICMP:
            case hdrICMPv6:
                icmpQuote = true;
                break;
            case hdrIPv4:
            case hdrIPv4inIP: {
                const auto& ip = *static_cast<const tIPv4Parser*>(parser);
                const int64_t totalLength = ip.TotalLength();
                if (ip.ParentAnchor().HeaderType == hdrEthernet && wire > 64 &&
                    totalLength + ip.FrameOffset() + 4 < int64_t{wire})
                    ref.Attributes.add(caEthernetTrailerPresent);
                if (ip.IsFragment()) ref.Attributes.add(caIPFragmented);
                if (wire == captured && int64_t{wire} < totalLength && !icmpQuote) ref.Attributes.add(caHardSliced);
                AddIPv4Records(ip.Source(), ip.Destination(), ip.TTL(), icmpQuote, ref, iface);
                icmpQuote = false;
                lastIPVersion = 4;
                lastSource.initialize(ip.Source());
                lastDestination.initialize(ip.Destination());
                break;
            }
            case hdrIPv6:
            case hdrIPv6inIP: {
                const auto& ip = *static_cast<const tIPv6Parser*>(parser);
                const int64_t payloadLength = ip.PayloadLength();
                if (ip.ParentAnchor().HeaderType == hdrEthernet && wire > 64 &&
                    payloadLength + ip.FrameOffset() + 44 < int64_t{wire})
                    ref.Attributes.add(caEthernetTrailerPresent);
                if (wire == captured && int64_t{wire} < payloadLength + 40 && !icmpQuote)
                    ref.Attributes.add(caHardSliced);
                AddIPv6Records(ip.Source(), ip.Destination(), ip.HopLimit(), icmpQuote, ref, iface);
                icmpQuote = false;
                lastIPVersion = 6;
                lastSource.initialize(ip.Source());
                lastDestination.initialize(ip.Destination());
                break;
            }
            case hdrIPv6Fragment:
                ref.Attributes.add(caIPFragmented);
                break;
            case hdrEthernet:
            case hdrTransparentEthernet: {
                const auto& eth = *static_cast<const tEthernetParser*>(parser);
                AddEthernetRecords(eth.SourceAddress(), eth.DestinationAddress(), ref, iface);
                break;
            }
            case hdrARP: {
                const auto& arp = *static_cast<const tARPParser*>(parser);
                AddARPRecords(arp.SenderMAC(), arp.SenderIP(), arp.TargetMAC(), arp.TargetIP(), ref, iface);
                break;
            }
            case hdrTCP:
                if (lastIPVersion != 0)
                    AddTCPSegment(lastSource, lastDestination, *static_cast<const tTCPParser*>(parser),
                                  entry.TunnelFlags, ref, iface);
                break;
            case hdrUDP:
                if (lastIPVersion != 0) {
                    const auto& udp = *static_cast<const tUDPParser*>(parser);
                    AddUDPDatagram(lastSource, lastDestination, udp.SourcePort(), udp.DestinationPort(),
                                   entry.TunnelFlags, ref, iface);
                }
                break;
            case hdrDNS:
                AddNameResolutionsOfFrame(*parser, lastIPVersion, ref, iface);
                break;
            default:
                break;  // RARP and every other layer build nothing
        }
    }
}

}  // namespace morwick
