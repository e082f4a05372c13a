#include "loader/duplicates.h"

#include <algorithm>

namespace morwick {

bool tDupeChecker::FrameIsDuplicate(const tRawFrame& FrameToTest) {
    const uint32_t interfaceIndex = FrameToTest.InterfaceID();
    if (interfaceIndex >= HistoryInterfaces) return false;
    auto& slot = FrameList_History[interfaceIndex];
    if (!slot) slot = std::make_unique<std::deque<tHistoryEntry>>();
    std::deque<tHistoryEntry>& history = *slot;

    const std::span<const uint8_t> bytes = FrameToTest.Bytes();
    const uint32_t crc = FrameToTest.CRC32();
    const int64_t ticks = FrameToTest.Ticks();
    bool duplicate = false;
    if (!history.empty() && !bytes.empty()) {
        // Newest first: once an entry lies outside the time window, all older ones do too.
        for (auto it = history.end(); it != history.begin();) {
            --it;
            if (ticks - it->Ticks > iMaxTimeDelta) break;
            if (it->CRC != crc) continue;
            if (DupeCheckMode == dcFullFrame &&
                !std::equal(bytes.begin(), bytes.end(), it->Bytes.begin(), it->Bytes.end()))
                continue;
            duplicate = true;
            history.erase(it);
            break;
        }
    }

    tHistoryEntry entry{crc, ticks, {}};
    if (DupeCheckMode == dcFullFrame) entry.Bytes.assign(bytes.begin(), bytes.end());
    history.push_back(std::move(entry));
    while (history.size() > static_cast<size_t>(std::max(iMaxHistorySize, 0))) history.pop_front();
    return duplicate;
}

}  // namespace morwick
