#pragma once
// Recognises frames that repeat a recent frame of the same interface (a frame captured
// twice on a span port, for example).
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "base/rawframe.h"

namespace morwick {

enum tDupeCheckMethod : uint8_t { dcNone, dcFrameCRC, dcFullFrame };

class tDupeChecker {
public:
    // Interfaces 0 to HistoryInterfaces - 1 keep a history; frames of other interfaces
    // are never taken for duplicates.
    static constexpr uint32_t HistoryInterfaces = 32;

    tDupeChecker(tDupeCheckMethod CheckMethod, int32_t MaxFrames, int32_t MaxTime)
        : iMaxHistorySize(MaxFrames), iMaxTimeDelta(MaxTime), DupeCheckMode(CheckMethod) {}

    // True when the frame repeats a frame of its interface that came at most
    // iMaxTimeDelta ticks earlier (same CRC; with dcFullFrame also the same bytes). The
    // matched history entry is dropped; the frame itself joins the history.
    bool FrameIsDuplicate(const tRawFrame& FrameToTest);

    int32_t iMaxHistorySize;
    int32_t iMaxTimeDelta;
    tDupeCheckMethod DupeCheckMode;

private:
    // The history keeps its own copy of what it compares, so frames may be freed by
    // their receivers while they are still remembered here.
    struct tHistoryEntry {
        uint32_t CRC;
        int64_t Ticks;
        std::vector<uint8_t> Bytes;  // only with dcFullFrame
    };
    std::array<std::unique_ptr<std::deque<tHistoryEntry>>, HistoryInterfaces> FrameList_History;
};

}  // namespace morwick
