#include "loader/pcapng_structures.h"

#include <utility>

namespace morwick {

tSimpleIPv4NameResolutionEntry tSimpleIPv4NameResolutionList::GetEntry(int32_t index) const {
    if (index < 1 || index > count()) {
        tSimpleIPv4NameResolutionEntry empty;
        empty.IPv4Address.initialize(0, 32);
        return empty;
    }
    return IPv4NameList[static_cast<size_t>(index - 1)];
}

tSimpleIPv6NameResolutionEntry tSimpleIPv6NameResolutionList::GetEntry(int32_t index) const {
    if (index < 1 || index > count()) return tSimpleIPv6NameResolutionEntry{};
    return IPv6NameList[static_cast<size_t>(index - 1)];
}

std::string_view BlockTypeIDToName(int32_t BlockTypeID) {
    switch (BlockTypeID) {
        case 1: return "Interface Description";
        case 2: return "Packet (Deprecated)";
        case 3: return "Simple Packet";
        case 4: return "Name Resolution";
        case 5: return "Interface Statistics";
        case 6: return "Enhanced Packet";
        case 7: return "IRIG Timestamp";
        case 8: return "ARICN 429 in AFDX";
        case 10: return "Descryption Secrets";
        case 0x101: return "HoneProject Process Event";
        case 0x102: return "HoneProject Connection Event";
        case 0x201: return "SysDig Machine Info";
        case 0x202: return "SysDig Process List";
        case 0x203: return "SysDig FD List";
        case 0x204: return "SysDig Event";
        case 0x205: return "SysDig Interface List";
        case 0x206: return "SysDig User List";
        case pngbtSectionHeader: return "Section Header";
        default: return "Unknown";
    }
}

tBlockChainEntry::tBlockChainEntry(const tBlockChainEntry& other) { *this = other; }

tBlockChainEntry& tBlockChainEntry::operator=(const tBlockChainEntry& other) {
    if (this == &other) return *this;
    // Copy every field but the links; keep this entry's own links.
    tBlockChainEntry* prev = PreviousBlockType;
    std::shared_ptr<tBlockChainEntry> next = std::move(NextBlockType);
    BlockTypeID = other.BlockTypeID;
    BlockTypeName = other.BlockTypeName;
    SectionStartOffset = other.SectionStartOffset;
    SectionEndOffset = other.SectionEndOffset;
    FirstBlockStartOffset = other.FirstBlockStartOffset;
    FirstBlockStartPointer = other.FirstBlockStartPointer;
    LastBlockEndOffset = other.LastBlockEndOffset;
    BlockLength = other.BlockLength;
    Count = other.Count;
    SHBMajorVersion = other.SHBMajorVersion;
    SHBMinorVersion = other.SHBMinorVersion;
    SHBByteOrderMagic = other.SHBByteOrderMagic;
    SHBSectionLength = other.SHBSectionLength;
    SHBComment = other.SHBComment;
    SHBHardware = other.SHBHardware;
    SHBOS = other.SHBOS;
    SHBUserAppl = other.SHBUserAppl;
    SHBGUID = other.SHBGUID;
    IDBIndex = other.IDBIndex;
    IDBLinkType = other.IDBLinkType;
    IDBSnapLen = other.IDBSnapLen;
    IDBFCSLen = other.IDBFCSLen;
    IDBName = other.IDBName;
    IDBDescription = other.IDBDescription;
    IDBMACAddress = other.IDBMACAddress;
    IDBIPv4AddressList = other.IDBIPv4AddressList;
    IDBIPv6AddressList = other.IDBIPv6AddressList;
    IDBTSResolution = other.IDBTSResolution;
    IDBFilter = other.IDBFilter;
    ISBInterfaceID = other.ISBInterfaceID;
    ISBTimestamp = other.ISBTimestamp;
    ISBStartTime = other.ISBStartTime;
    ISBEndTime = other.ISBEndTime;
    ISBReceived = other.ISBReceived;
    ISBDropped = other.ISBDropped;
    NRBIPv4RecordCount = other.NRBIPv4RecordCount;
    NRBIPv6RecordCount = other.NRBIPv6RecordCount;
    NRBIPv4AddressList = other.NRBIPv4AddressList;
    NRBIPv6AddressList = other.NRBIPv6AddressList;
    DSBType = other.DSBType;
    DSBLength = other.DSBLength;
    PreviousBlockType = prev;
    NextBlockType = std::move(next);
    return *this;
}

tBlockChainEntry::~tBlockChainEntry() { FreeSubChain(*this); }

void FreeSubChain(tBlockChainEntry& entry) {
    std::shared_ptr<tBlockChainEntry> next = std::move(entry.NextBlockType);
    // Detach each entry from its successor before it goes, so that no destructor has a
    // chain left to release.
    while (next && next.use_count() == 1) {
        std::shared_ptr<tBlockChainEntry> after = std::move(next->NextBlockType);
        if (after) after->PreviousBlockType = nullptr;
        next.reset();
        next = std::move(after);
    }
    // An entry still held elsewhere keeps the rest of the chain alive with it.
    if (next) next->PreviousBlockType = nullptr;
}

tBlockChainEntry* LinkBlockChainEntry(tBlockChainEntry& last, std::shared_ptr<tBlockChainEntry> entry) {
    entry->PreviousBlockType = &last;
    last.NextBlockType = std::move(entry);
    return last.NextBlockType.get();
}

int64_t tPCAPNGStatistic::BlockChainLength() const {
    int64_t n = 0;
    for (const tBlockChainEntry* e = BlockChain.get(); e; e = e->NextBlockType.get()) ++n;
    return n;
}

}  // namespace morwick
