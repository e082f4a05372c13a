#pragma once
// Records describing the structure of a pcapng file: name resolution lists, packet
// comments, the block chain (runs of consecutive blocks of one type) and the file's
// pcapng statistics. The meta database stores and restores them per capture file.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/addresses.h"
#include "base/codes.h"
#include "base/datetime.h"
#include "loader/interfacelist.h"
#include "platform/guid.h"

namespace morwick {

// ------------------------------------------------------------------ name resolution

struct tSimpleIPv4NameResolutionEntry {
    tIPv4Address IPv4Address;
    std::string FQDN;
};

struct tSimpleIPv6NameResolutionEntry {
    tIPv6Address IPv6Address;
    std::string FQDN;
};

struct tSimpleIPv4NameResolutionList {
    std::vector<tSimpleIPv4NameResolutionEntry> IPv4NameList;

    void initialize() { IPv4NameList.clear(); }
    void AddEntry(const tSimpleIPv4NameResolutionEntry& entry) { IPv4NameList.push_back(entry); }
    void AddIPandFQDN(const tIPv4Address& address, std::string_view name) {
        IPv4NameList.push_back({address, std::string(name)});
    }
    int32_t count() const { return static_cast<int32_t>(IPv4NameList.size()); }
    // Index from 1; outside 1..count an empty entry (zero address, empty name).
    tSimpleIPv4NameResolutionEntry GetEntry(int32_t index) const;
};

struct tSimpleIPv6NameResolutionList {
    std::vector<tSimpleIPv6NameResolutionEntry> IPv6NameList;

    void initialize() { IPv6NameList.clear(); }
    void AddEntry(const tSimpleIPv6NameResolutionEntry& entry) { IPv6NameList.push_back(entry); }
    void AddIPandFQDN(const tIPv6Address& address, std::string_view name) {
        IPv6NameList.push_back({address, std::string(name)});
    }
    int32_t count() const { return static_cast<int32_t>(IPv6NameList.size()); }
    // Index from 1; outside 1..count an empty entry (zero address, empty name).
    tSimpleIPv6NameResolutionEntry GetEntry(int32_t index) const;
};

// What one Name Resolution Block yields.
struct tNGNRBParsedValues {
    tSimpleIPv4NameResolutionList IPv4AddressList;
    tSimpleIPv6NameResolutionList IPv6AddressList;

    void initialize() {
        IPv4AddressList.initialize();
        IPv6AddressList.initialize();
    }
};

// Time-stamp resolutions of the interfaces of one section, by interface ID.
struct tNGInterfaceResolutionList {
    int32_t count = -1;  // index of the last resolution stored, -1 for none
    std::array<uint8_t, 256> items{};

    tNGInterfaceResolutionList() { initialize(); }
    // At every Section Header Block: no resolutions, every item the pcapng default 6
    // (microseconds).
    void initialize() {
        count = -1;
        items.fill(6);
    }
    // Stores the resolution of the next interface; more than 256 interfaces keep the
    // default for the rest.
    void Add(uint8_t resolution) {
        if (count + 1 < static_cast<int32_t>(items.size())) items[static_cast<size_t>(++count)] = resolution;
    }
    // Stores the resolution of the interface with the given section-local number.
    void Set(int32_t interfaceID, uint8_t resolution) {
        if (interfaceID < 0 || interfaceID >= static_cast<int32_t>(items.size())) return;
        items[static_cast<size_t>(interfaceID)] = resolution;
        count = std::max(count, interfaceID);
    }
    uint8_t Get(uint32_t interfaceID) const {
        return interfaceID < items.size() ? items[interfaceID] : uint8_t{6};
    }
};

// ------------------------------------------------------------------ packet comments

struct tPCAPNGPacketComment {
    int32_t FrameNo = 0;
    std::string Comment;
    bool operator==(const tPCAPNGPacketComment&) const = default;
};
using tPCAPNGPacketCommentList = std::vector<tPCAPNGPacketComment>;

// ------------------------------------------------------------------ block chain

// pcapng block type codes the chain knows by name.
inline constexpr int32_t pngbtSectionHeader = 0x0A0D0D0A;
inline constexpr int32_t pngbtInterfaceDescription = 1;
inline constexpr int32_t pngbtNameResolution = 4;
inline constexpr int32_t pngbtInterfaceStatistics = 5;
inline constexpr int32_t pngbtDecryptionSecrets = 10;

// Name of a block type ("Section Header", "Enhanced Packet", ...); "Unknown" for any
// other type.
std::string_view BlockTypeIDToName(int32_t BlockTypeID);

// A run of consecutive blocks of one type. Entries form a doubly linked chain: each entry
// owns the entries after it (through NextBlockType) and points back to the one before.
// Copies of a tPCAPNGStatistic share one chain.
struct tBlockChainEntry {
    int32_t BlockTypeID = 0;
    std::string BlockTypeName;
    int64_t SectionStartOffset = 0;
    int64_t SectionEndOffset = 0;
    int64_t FirstBlockStartOffset = 0;
    const uint8_t* FirstBlockStartPointer = nullptr;  // into the file view, while mapped
    int64_t LastBlockEndOffset = 0;
    int32_t BlockLength = 0;
    int64_t Count = 0;  // blocks in the run
    // Section header
    uint16_t SHBMajorVersion = 0;
    uint16_t SHBMinorVersion = 0;
    uint32_t SHBByteOrderMagic = 0;
    uint64_t SHBSectionLength = 0;
    std::string SHBComment;
    std::string SHBHardware;
    std::string SHBOS;
    std::string SHBUserAppl;
    tGUID SHBGUID;
    // Interface description
    uint32_t IDBIndex = 0;
    uint16_t IDBLinkType = 0;
    uint32_t IDBSnapLen = 0;
    uint8_t IDBFCSLen = 0;
    std::string IDBName;
    std::string IDBDescription;
    tMACAddress IDBMACAddress;
    tIPv4SimpleAddressList IDBIPv4AddressList;
    tIPv6SimpleAddressList IDBIPv6AddressList;
    uint8_t IDBTSResolution = 0;
    tPCAPNGCaptureFilter IDBFilter;
    // Interface statistics
    uint32_t ISBInterfaceID = 0;
    tDateTime ISBTimestamp;
    tDateTime ISBStartTime;
    tDateTime ISBEndTime;
    uint32_t ISBReceived = 0;
    uint32_t ISBDropped = 0;
    // Name resolution
    int32_t NRBIPv4RecordCount = 0;
    int32_t NRBIPv6RecordCount = 0;
    tSimpleIPv4NameResolutionList NRBIPv4AddressList;
    tSimpleIPv6NameResolutionList NRBIPv6AddressList;
    // Decryption secrets
    tSecretsType DSBType = pngstUnknown;
    uint32_t DSBLength = 0;

    tBlockChainEntry* PreviousBlockType = nullptr;
    std::shared_ptr<tBlockChainEntry> NextBlockType;

    tBlockChainEntry() = default;
    // Links are not copied: a copy stands alone.
    tBlockChainEntry(const tBlockChainEntry& other);
    tBlockChainEntry& operator=(const tBlockChainEntry& other);
    // Releases the rest of the chain one entry at a time, so that a long chain does not
    // recurse through its destructors.
    ~tBlockChainEntry();
};

// Appends entry behind last (which must be the end of its chain) and returns it.
tBlockChainEntry* LinkBlockChainEntry(tBlockChainEntry& last, std::shared_ptr<tBlockChainEntry> entry);
// Releases all entries after entry; entry becomes the end of the chain.
void FreeSubChain(tBlockChainEntry& entry);

// ------------------------------------------------------------------ file statistics

struct tPCAPNGStatistic {
    int32_t SectionCount = 0;
    int32_t FilePacketCount = 0;
    int32_t FileInterfaceCount = 0;
    int32_t StatisticBlocKCount = 0;
    uint64_t StatPacketCount = 0;
    uint64_t StatDropCount = 0;
    uint64_t StatFilterAcceptCount = 0;
    uint64_t StatOsDropCount = 0;
    uint64_t StatUsrDeliveredCount = 0;
    std::shared_ptr<tBlockChainEntry> BlockChain;  // first entry, shared between copies
    int32_t ErrorCode = 0;
    std::string ErrorText = "Success";
    tDateTime FirstFrameTime;
    tDateTime LastFrameTime;

    void initialize() { *this = tPCAPNGStatistic{}; }
    // Number of entries in the block chain.
    int64_t BlockChainLength() const;
};

}  // namespace morwick
