#include "parser/frameparser.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <fmt/format.h>

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

namespace {
inline uint64_t ReadBE(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}
// Moves a reader offset on without overflowing it.
inline void Advance(int32_t& Offset, int32_t Size) {
    Offset = static_cast<int32_t>(std::min<int64_t>(int64_t{Offset} + Size, INT32_MAX));
}
inline uint64_t ReadLE(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
}  // namespace

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

uint8_t tFrameParser::readByte(int32_t& Offset, bool Peek) {
    const uint8_t v = u8(Offset);
    if (!Peek) Advance(Offset, 1);
    return v;
}

uint16_t tFrameParser::readWord(int32_t& Offset, bool Peek, bool LittleEndian) {
    const uint16_t v = LittleEndian ? le16(Offset) : be16(Offset);
    if (!Peek) Advance(Offset, 2);
    return v;
}

uint32_t tFrameParser::readLongWord(int32_t& Offset, bool Peek, bool LittleEndian) {
    const uint32_t v = LittleEndian ? le32(Offset) : be32(Offset);
    if (!Peek) Advance(Offset, 4);
    return v;
}

uint64_t tFrameParser::readInt64(int32_t& Offset, bool Peek, bool LittleEndian) {
    const uint64_t v = LittleEndian ? le64(Offset) : be64(Offset);
    if (!Peek) Advance(Offset, 8);
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

namespace {
std::string Dec(int64_t v) { return fmt::format("{}", v); }

// A domain name is at most 255 bytes long. Chained pointers could otherwise assemble a
// name several times the size of its message.
constexpr size_t kMaxFQDNLength = 255;

// Prefix: the length of the text the enclosing levels have assembled before this part
// (with its joining dot). TooLong is set when the whole name would grow past the limit;
// every level then ends its name as broken.
tFQDNResult ReadFQDNPart(std::span<const uint8_t> Data, int32_t SectionLength, int32_t SectionStart,
                         int32_t NameOffset, int32_t Depth, size_t Prefix, bool& TooLong) {
    tFQDNResult r;
    // The section may claim more bytes than were captured; never read past either.
    const int64_t last = std::min<int64_t>(int64_t{SectionStart} + SectionLength,
                                           static_cast<int64_t>(Data.size())) - 1;
    int64_t pos = NameOffset;
    if (pos < SectionStart || pos > last || SectionStart < 0) {
        r.ParseResult = prFailOutOfBounds;
        return r;
    }
    if (Depth > 5) {
        r.ParseResult = prFailParsingLoop;
        r.Msg.initialize(msMajor, MSG_DNS_POINTER_LOOP_EXCEEDED, "FQDNs", Dec(Depth), "5");
        return r;
    }

    std::string text;
    bool broken = false;
    for (;;) {
        if (pos > last) {
            // The name runs to the end of the section without its closing zero byte.
            r.Msg.initialize(msWarning, MSG_PARSER_OUT_OF_DATA_FOR_LENGTH, "FQDN Elements",
                             Dec(pos), "1", Dec(last));
            broken = true;
            break;
        }
        const uint8_t b = Data[static_cast<size_t>(pos)];
        if (b == 0) {
            r.OffsetIncrement += 1;
            break;
        }
        if (b <= 191) {
            if (pos + b > last) {
                r.Msg.initialize(msWarning, MSG_PARSER_OUT_OF_DATA_FOR_LENGTH, "FQDN Elements",
                                 Dec(pos), Dec(b), Dec(last));
                broken = true;
                break;
            }
            const char* label = reinterpret_cast<const char*>(Data.data() + pos + 1);
            size_t len = 0;
            while (len < b && label[len] != 0) ++len;
            if (Prefix + text.size() + (text.empty() ? 0 : 1) + len > kMaxFQDNLength) {
                r.Msg.initialize(msWarning, MSG_PARSER_OUT_OF_DATA_FOR_LENGTH, "FQDN Elements",
                                 Dec(pos), Dec(b), Dec(last));
                TooLong = true;
                broken = true;
                break;
            }
            pos += 1;
            r.OffsetIncrement += 1;
            if (!text.empty()) text += '.';
            text.append(label, len);
            r.OffsetIncrement += b;
            pos += b;
            continue;
        }
        // A compression pointer: 14 bits of offset from the start of the message.
        if (pos + 1 > last) {
            r.Msg.initialize(msWarning, MSG_PARSER_OUT_OF_DATA_FOR_LENGTH, "FQDN Pointers",
                             Dec(pos), "2", Dec(last));
            broken = true;
            break;
        }
        const int64_t target = int64_t{SectionStart} +
                               (((Data[static_cast<size_t>(pos)] << 8) | Data[static_cast<size_t>(pos + 1)]) & 0x3FFF);
        if (target < SectionStart || target >= last) {
            r.ParseResult = prFailOutOfBounds;
            r.Msg.initialize(msWarning, MSG_PARSER_OUT_OF_DATA, "FQDN Pointers", Dec(target),
                             Dec(last));
            break;
        }
        const tFQDNResult inner =
            ReadFQDNPart(Data, SectionLength, SectionStart, static_cast<int32_t>(target), Depth + 1,
                         Prefix + text.size() + (text.empty() ? 0 : 1), TooLong);
        if (TooLong) {
            r.Msg = inner.Msg;
            broken = true;
            break;
        }
        if (text.empty()) {
            text = inner.Name.FullFQDN;
        } else {
            text += '.';
            text += inner.Name.FullFQDN;
        }
        r.OffsetIncrement += 2;
        break;
    }

    if (broken) {
        r.ParseResult = prFailOutOfBounds;
        r.Name.initialize();
    } else {
        r.Name.setFQDN(text);
    }
    return r;
}

}  // namespace

tFQDNResult readFQDN(std::span<const uint8_t> Data, int32_t SectionLength, int32_t SectionStart,
                     int32_t NameOffset, int32_t Depth) {
    bool tooLong = false;
    return ReadFQDNPart(Data, SectionLength, SectionStart, NameOffset, Depth, 0, tooLong);
}

}  // namespace morwick
