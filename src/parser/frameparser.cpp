#include "parser/frameparser.h"

#include <algorithm>
#include <cstring>

namespace morwick {

tFrameParser::tFrameParser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
                           int32_t WireLength, int64_t FrameIndex)
    : priv_framedata(FrameData),
      priv_frameoffset(FrameOffset),
      priv_framelength(FrameData ? std::max(DataLength, 0) : 0),
      priv_wirelength(WireLength),
      priv_frameindex(FrameIndex) {}

void tFrameParser::addDiagnosticMsg(tMsgSeverity Severity, int32_t MsgHandle,
                                    std::string_view Param1, std::string_view Param2,
                                    std::string_view Param3, std::string_view Param4) {
    tDiagnosticMsg msg;
    msg.initialize(Severity, MsgHandle, Param1, Param2, Param3, Param4);
    priv_diagnosticmsglist.push_back(std::move(msg));
}

tDiagnosticMsg tFrameParser::getDiagnosticMsg(int32_t Index) const {
    if (Index < 1 || Index > getDiagnosticMsgCount()) return tDiagnosticMsg{};
    return priv_diagnosticmsglist[static_cast<size_t>(Index - 1)];
}

const uint8_t* tFrameParser::at(int64_t Offset, int64_t Count) {
    if (!isAvailable(Offset, Count)) {
        prot_lasterrorstatus = prFailUndersize;
        return nullptr;
    }
    return priv_framedata + Offset;
}

namespace {
inline uint64_t ReadBE(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}
inline uint64_t ReadLE(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
}  // namespace

uint8_t tFrameParser::u8(int32_t Offset) {
    const uint8_t* p = at(Offset, 1);
    return p ? *p : 0;
}
uint16_t tFrameParser::be16(int32_t Offset) {
    const uint8_t* p = at(Offset, 2);
    return p ? static_cast<uint16_t>(ReadBE(p, 2)) : 0;
}
uint32_t tFrameParser::be32(int32_t Offset) {
    const uint8_t* p = at(Offset, 4);
    return p ? static_cast<uint32_t>(ReadBE(p, 4)) : 0;
}
uint64_t tFrameParser::be64(int32_t Offset) {
    const uint8_t* p = at(Offset, 8);
    return p ? ReadBE(p, 8) : 0;
}
uint16_t tFrameParser::le16(int32_t Offset) {
    const uint8_t* p = at(Offset, 2);
    return p ? static_cast<uint16_t>(ReadLE(p, 2)) : 0;
}
uint32_t tFrameParser::le32(int32_t Offset) {
    const uint8_t* p = at(Offset, 4);
    return p ? static_cast<uint32_t>(ReadLE(p, 4)) : 0;
}
uint64_t tFrameParser::le64(int32_t Offset) {
    const uint8_t* p = at(Offset, 8);
    return p ? ReadLE(p, 8) : 0;
}

bool tFrameParser::copyBytes(int32_t Offset, void* Dest, int32_t Count) {
    const uint8_t* p = at(Offset, Count);
    if (!p) return false;
    if (Count > 0) std::memcpy(Dest, p, static_cast<size_t>(Count));
    return true;
}

uint8_t tFrameParser::readByte(int32_t& Offset, bool Peek) {
    const uint8_t v = u8(Offset);
    if (!Peek) Offset += 1;
    return v;
}

uint16_t tFrameParser::readWord(int32_t& Offset, bool Peek, bool LittleEndian) {
    const uint16_t v = LittleEndian ? le16(Offset) : be16(Offset);
    if (!Peek) Offset += 2;
    return v;
}

uint32_t tFrameParser::readLongWord(int32_t& Offset, bool Peek, bool LittleEndian) {
    const uint32_t v = LittleEndian ? le32(Offset) : be32(Offset);
    if (!Peek) Offset += 4;
    return v;
}

uint64_t tFrameParser::readInt64(int32_t& Offset, bool Peek, bool LittleEndian) {
    const uint64_t v = LittleEndian ? le64(Offset) : be64(Offset);
    if (!Peek) Offset += 8;
    return v;
}

tSectionParser::tSectionParser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
                               int32_t WireLength, int32_t SectionLength, int64_t FrameIndex)
    : tFrameParser(FrameData, FrameOffset, DataLength, WireLength, FrameIndex),
      priv_sectionlen(SectionLength) {
    const int64_t sectionEnd = static_cast<int64_t>(FrameOffset) + SectionLength;
    const int64_t last = std::min<int64_t>(sectionEnd, priv_framelength) - 1;
    priv_lastoffset = static_cast<int32_t>(std::max<int64_t>(last, INT32_MIN));
}

}  // namespace morwick
