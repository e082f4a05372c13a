#include "loader/interfacelist.h"

#include "base/errors.h"

namespace morwick {

std::string_view tPCAPNGCaptureFilter::FilterTypeName() const {
    switch (FilterType) {
        case cftLibPCAP: return "LibPCAP";
        case cftBPFByteCode: return "BPFByteCode";
        default: return "Unknown";
    }
}

tStatisticsRecord& tStatisticsRecordList::addEntry(std::unique_ptr<tStatisticsRecord> Entry) {
    if (!Entry) throw tAssertionError("Assertion failure");
    priv_statisticslist.push_back(std::move(Entry));
    return *priv_statisticslist.back();
}

tCaptureInterface::tCaptureInterface(int32_t Index, uint32_t LinkType, tInterfaceOrigin Origin,
                                     bool OwnsItsStatisticsRecords)
    : priv_Index(Index),
      priv_OriginalIndex(Index),
      priv_LinkType(LinkType),
      priv_InterfaceStatistics(OwnsItsStatisticsRecords),
      priv_origin(Origin),
      priv_PacketLinkID(NewGUID()) {}

tCaptureInterface& tCaptureInterfaceList::Add(std::unique_ptr<tCaptureInterface> NewInterface) {
    if (!NewInterface || NewInterface->Index() < 0 || NewInterface->Index() >= QuickListSize)
        throw tAssertionError("Assertion failure");
    tCaptureInterface* added = NewInterface.get();
    priv_interfacelist.push_back(std::move(NewInterface));
    priv_quicklist[static_cast<size_t>(added->Index())] = added;
    return *added;
}

}  // namespace morwick
