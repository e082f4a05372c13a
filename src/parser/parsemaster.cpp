#include "parser/parsemaster.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <span>

#include "base/checksums.h"

namespace morwick {

void tParserArena::destroy(tFrameParser* Parser) {
    if (!Parser) return;
    if (!owns(Parser)) {
        delete Parser;
        return;
    }
    const size_t at = static_cast<size_t>(reinterpret_cast<std::byte*>(Parser) - priv_buffer);
    Parser->~tFrameParser();
    if (at == priv_last) {
        priv_used = priv_last;
        priv_last = SIZE_MAX;
    }
}

int32_t HeaderTypeLayerClass(int32_t HeaderType) {
    switch (HeaderType) {
        case hdrRadiotap:
        case hdr802dot11Header:
        case hdr802dot11Management:
            return 1;
        case hdrEthernet:
        case hdrARP:
        case hdrTransparentEthernet:
        case hdrRARP:
        case hdrVLAN:
        case hdrVLAN88A8:
        case hdrVLAN9100:
        case hdrVLAN9200:
        case hdrVLAN9300:
        case hdrMPLS:
        case hdrMPLSMulticast:
        case hdrLLC:
            return 2;
        case hdrICMP:
        case hdrIPv4inIP:
        case hdrIPv6inIP:
        case hdrIPv6Fragment:
        case hdrGRE:
        case hdrICMPv6:
        case hdrIPv4:
        case hdrIPv6:
        case hdrERSPAN:
        case hdrGTPv1:
        case hdrVXLAN:
        case hdrAYIYA:
        case hdrCAPWAP:
        case hdrGeneve:
        case hdrTZSP:
            return 3;
        case hdrTCP:
        case hdrUDP:
            return 4;
        default:
            return 7;
    }
}

int32_t StartHeaderType(uint32_t LinkType, const uint8_t* Data, int32_t CapturedLength) {
    switch (LinkType) {
        case 1:
            // FabricPath frames carry their EtherType where Ethernet has it.
            if (Data && CapturedLength >= 14 && ((Data[12] << 8) | Data[13]) == hdrFabricPath)
                return hdrFabricPath;
            return hdrEthernet;
        case 101:
        case 228:
            return hdrIPv4;
        case 113: return hdrLinuxSLL;
        case 127: return hdrRadiotap;
        case 178: return hdrJuniper;
        default: return hdrPayload;
    }
}

int ProtocolOfHeaderType(int32_t HeaderType) {
    // The usual layers first, before the search through all the others.
    if (HeaderType == hdrTCP) return ppTCP;
    if (HeaderType == hdrIPv4) return ppIPv4;
    if (HeaderType == hdrEthernet) return ppEthernet;
    switch (HeaderType) {
        case hdrEthernet: case hdrTransparentEthernet: return ppEthernet;
        case hdrLinuxSLL: return ppLinuxCooked;
        case hdrVLAN: case hdrVLAN88A8: case hdrVLAN9100: case hdrVLAN9200: case hdrVLAN9300:
            return ppVLANTag;
        case hdrARP: case hdrRARP: return ppARP;
        case hdrMPLS: case hdrMPLSMulticast: return ppMPLS;
        case hdrIPv4: case hdrIPv4inIP: return ppIPv4;
        case hdrIPv6: case hdrIPv6inIP: return ppIPv6;
        case hdrICMP: return ppICMPv4;
        case hdrICMPv6: return ppICMPv6;
        case hdrGRE: return ppGRE;
        case hdrGTPv1: return ppGTPv1;
        case hdrAYIYA: return ppAYIYA;
        case hdrVXLAN: return ppVXLAN;
        case hdrERSPAN: return ppERSPAN;
        case hdrCAPWAP: return ppCAPWAP;
        case hdrGeneve: return ppGeneve;
        case hdrTZSP: return ppTZSP;
        case hdrTCP: return ppTCP;
        case hdrUDP: return ppUDP;
        case hdrDNS: return ppDNS;
        case hdrDHCPv4: return ppDHCPv4;
        case hdrHTTP: return ppHTTP;
        case hdrRTPS: return ppRTPS;
        default: return -1;
    }
}

int32_t HeaderTypeByPorts(bool IsUDP, uint16_t Src, uint16_t Dst) {
    auto either = [&](uint16_t port) { return Src == port || Dst == port; };
    int32_t type = hdrPayload;
    if (either(53)) type = hdrDNS;
    if (either(67)) type = hdrDHCPv4;
    if (Src == 1985 && Dst == 1985) type = hdrHSRP;
    if (either(2152)) type = hdrGTPv1;
    if (either(5072)) type = hdrAYIYA;
    if (IsUDP) {
        if (either(4789)) type = hdrVXLAN;
        if (either(6081)) type = hdrGeneve;
        if (Dst == 2055 || Dst == 9996) type = hdrNetFlow;
        if (either(5247)) type = hdrCAPWAP;
        if (Src == 123 && Dst == 123) type = hdrNTP;
        if (either(37008)) type = hdrTZSP;
    }
    return type;
}

namespace {

// Header types that end the walk without a parser.
// (Ids without a parser end it as well, see CreateParser.)
bool EndsWalk(int32_t HeaderType) {
    return HeaderType == hdrNoNextHeader || HeaderType == hdrPayload;
}

// Layers a walk may stay at one offset before it is taken to be going round in circles.
constexpr int kMaxLayersAtOneOffset = 4;

}  // namespace

bool DepthLimitReached(tParseProcessMode Mode, uint8_t Layer, int32_t NextType) {
    // The layer class of the next header is looked up only when the mode compares it.
    const auto nextClass = [NextType] { return HeaderTypeLayerClass(NextType); };
    switch (Mode) {
        case ppmSanitize:
            switch (NextType) {
                case hdrJuniper: case hdrERSPAN: case hdrFabricPath: case hdrDNS: case hdrHTTP:
                case hdrCAPWAP: case hdrGeneve: case hdrTZSP:
                    return true;
                default:
                    return false;
            }
        case ppmUpToLayer2: return Layer == 2 && nextClass() > 2;
        case ppmUpToLayer3: return Layer == 3 && nextClass() > 3;
        case ppmUpToLayer4:
            if (Layer != 4 || nextClass() <= 4) return false;
            switch (NextType) {
                case hdrGRE: case hdrERSPAN: case hdrGTPv1: case hdrVXLAN: case hdrAYIYA:
                case hdrCAPWAP: case hdrGeneve:
                    return false;
                default:
                    return true;
            }
        case ppmParseAll:
        case ppmEdit:
        default:
            return false;
    }
}

namespace {

struct tFactoryOverride {
    int32_t HeaderType = 0;
    tParserFactory Factory = nullptr;
};
std::vector<tFactoryOverride> gFactoryOverrides;

}  // namespace

void SetParserFactoryOverride(int32_t HeaderType, tParserFactory Factory) {
    std::erase_if(gFactoryOverrides, [&](const tFactoryOverride& o) { return o.HeaderType == HeaderType; });
    if (Factory) gFactoryOverrides.push_back({HeaderType, Factory});
}

tFrameParser* tParseMaster::CreateParser(int32_t HeaderType, const tWalkState& S) {
    tParserArgs args;
    args.Data = priv_frame->Data();
    args.Offset = S.current.Offset;
    args.CapturedLength = args.Data ? static_cast<int32_t>(priv_frame->FrameSize()) : 0;
    args.WireLength = static_cast<int32_t>(priv_frame->WireSize());
    args.FrameIndex = static_cast<int64_t>(priv_frame->FileFrameID());
    args.IPPayloadLength = S.ipPayloadLength;
    args.Layer7Length = S.layer7Length;
    args.ICMPQuote = S.icmpQuote;
    args.WLANSubtype = S.wlanSubtype;
    for (const auto& o : gFactoryOverrides)
        if (o.HeaderType == HeaderType) return o.Factory(priv_arena, args);
    if (HeaderType == hdrIPv6Fragment) priv_IsFragment = true;
    return CreateBuiltinParser(HeaderType, priv_arena, args);
}

tParseMaster::tParseMaster(const tRawFrame& Frame, tParseProcessMode ProcessMode)
    : priv_frame(&Frame), priv_parsemode(ProcessMode) {
    priv_LayerOffsetList.initialize();
    priv_IPv4SocketPair.initialize();
    priv_IPv6SocketPair.initialize();
    priv_EthernetPair.initialize();
    const int64_t captured = Frame.FrameSize();
    const int64_t wire = Frame.WireSize();
    priv_IsTruncated = captured < wire;
    priv_truncatedby = priv_IsTruncated ? static_cast<int32_t>(wire - captured) : 0;
    CreateParseList();
}

tParseMaster::~tParseMaster() {
    for (auto& entry : priv_ParseList) priv_arena.destroy(entry.Parser);
    priv_ParseList.clear();
    priv_frame = nullptr;
}

void tParseMaster::DropLastEntry() {
    priv_arena.destroy(priv_ParseList.back().Parser);
    priv_ParseList.pop_back();
}

void tParseMaster::CreateParseList() {
    const tRawFrame& frame = *priv_frame;
    const uint8_t* data = frame.Data();
    const int32_t captured = data ? static_cast<int32_t>(frame.FrameSize()) : 0;

    tWalkState state;
    state.current = {StartHeaderType(frame.LinkType(), data, captured), 0};
    int sameOffsetRun = 0;

    for (;;) {
        const tProtocolAnchor here = state.current;
        if (EndsWalk(here.HeaderType)) {
            FinishWalk(here.HeaderType, here.Offset, state.trailerLength);
            return;
        }
        const size_t countBefore = priv_ParseList.size();
        try {
            tFrameParser* parser = CreateParser(here.HeaderType, state);
            if (!parser) {
                // A header type whose parser this build does not have: the rest is payload.
                FinishWalk(hdrPayload, here.Offset, state.trailerLength);
                return;
            }
            tParseEntry entry;
            entry.Anchor = here;
            entry.Parser = parser;
            priv_ParseList.push_back(entry);
            parser->setParentAnchor(state.previous);
            state.previous = here;

            tParseResult result = prFailPlausibleCheck;
            if (parser->checkIsPlausible()) {
                result = parser->parse();
                for (const tDiagnosticMsg& msg : parser->DiagnosticMessages()) {
                    priv_diagnosticmsglist.push_back(msg);
                    priv_diagnosticmsglist.back().frameindex =
                        static_cast<int64_t>(frame.FileFrameID());
                    priv_diagnosticmsglist.back().parsertype = here.HeaderType;
                }
            }
            if (result != prSuccess && result != prFailPayloadTruncated) {
                if (result == prFailInvalidValues)
                    spdlog::error("Invalid values while parsing frame #{} of file {}",
                                  frame.FileFrameID(), frame.TracefileID());
                DropLastEntry();
                state.current = {hdrPayload, here.Offset};
                continue;
            }

            CollectResults(priv_ParseList.back(), state);

            if (priv_ParseList.size() >= 2) {
                const tTunnelFlagSet before = priv_ParseList[priv_ParseList.size() - 2].TunnelFlags;
                if (before.has(tfTunnelLayer) || before.has(tfTunnelPayload))
                    priv_ParseList.back().TunnelFlags.add(tfTunnelPayload);
            }

            const tProtocolAnchor next = parser->NextAnchor();
            // A parser that names an earlier offset, or that keeps the walk at one offset
            // layer after layer, would make the walk repeat itself: end it there.
            if (next.Offset == here.Offset) ++sameOffsetRun;
            else sameOffsetRun = 0;
            if (next.Offset < here.Offset || sameOffsetRun > kMaxLayersAtOneOffset) {
                state.current = {hdrPayload, std::clamp(next.Offset, here.Offset, captured)};
                continue;
            }
            if (DepthLimitReached(priv_parsemode, parser->OSILayer(), next.HeaderType))
                state.current = {hdrPayload, next.Offset};
            else
                state.current = next;
        } catch (const std::exception& e) {
            spdlog::error("Exception triggered while parsing frame #{} of file {}",
                          frame.FileFrameID(), frame.TracefileID());
            ++priv_ParseErrorCount;
            // The failing layer is dropped and everything from its offset on is payload,
            // so the same parser is never created at the same offset again.
            while (priv_ParseList.size() > countBefore) DropLastEntry();
            state.current = {hdrPayload, here.Offset};
        }
    }
}

void tParseMaster::FinishWalk(int32_t EndType, int32_t Offset, int32_t TrailerLength) {
    const tRawFrame& frame = *priv_frame;
    const int32_t captured = frame.Data() ? static_cast<int32_t>(frame.FrameSize()) : 0;
    const int32_t offset = std::clamp(Offset, 0, captured);
    const int32_t available = captured - offset;
    if (EndType == hdrNoNextHeader) {
        if (available > 0) AnalyseTrailer(available);
        return;
    }
    const int32_t trailer = std::clamp(TrailerLength, 0, available);
    AnalyseTrailer(trailer);
    const int32_t payload = available - trailer;
    if (payload > 0) {
        priv_payloadoffset = offset;
        priv_payloadlen = payload;
    }
}

const tFrameChunk& tParseMaster::RemainingPayload() const {
    if (!priv_payloadchunkmade) {
        const std::span<const uint8_t> bytes = RemainingPayloadBytes();
        priv_payloadchunk.copyFrom(bytes.data(), static_cast<int32_t>(bytes.size()));
        priv_payloadchunkmade = true;
    }
    return priv_payloadchunk;
}

void tParseMaster::AnalyseTrailer(int32_t N) {
    const tRawFrame& frame = *priv_frame;
    const uint8_t* data = frame.Data();
    const int32_t captured = data ? static_cast<int32_t>(frame.FrameSize()) : 0;
    if (N <= 0 || N > captured) return;
    const uint8_t* trailer = data + (captured - N);
    const uint8_t* last4 = data + (captured - 4);
    auto be32 = [](const uint8_t* p) {
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };

    int32_t padding = 0;
    if (N <= 3) {
        padding = N;
    } else if (N == 4) {
        priv_containsfcs = true;
    } else {
        const bool zeroPadding = std::all_of(trailer, trailer + (N - 4), [](uint8_t b) { return b == 0; });
        const bool fcsNonZero = be32(last4) != 0;
        if (zeroPadding && fcsNonZero) {
            priv_containsfcs = true;
            padding = N - 4;
        } else {
            padding = N;
        }
    }

    if (priv_containsfcs) {
        priv_ethernetfcs = be32(last4);
        if (frame.LinkType() == 1) {
            priv_fcscorrect = frame.CRC32() == priv_ethernetfcs;
        } else if (frame.LinkType() == 127) {
            // The FCS of an 802.11 frame covers the bytes after the radiotap header.
            for (const auto& entry : priv_ParseList) {
                if (entry.Anchor.HeaderType != hdrRadiotap) continue;
                const int32_t from = entry.Parser->NextAnchor().Offset;
                if (from >= 0 && from <= captured - 4) {
                    const uint32_t crc = CalculateCRC32(
                        std::span<const uint8_t>(data + from, static_cast<size_t>(captured - 4 - from)));
                    priv_fcscorrect = __builtin_bswap32(crc) == priv_ethernetfcs;
                }
                break;
            }
        }
        // Other link types give no way to check the sequence; it is taken as correct.
    }

    priv_paddingbytecount = padding;
    priv_paddingoffset = captured - N;
}

int32_t tParseMaster::getParserTypeByIndex(int32_t Index) const {
    if (Index < 1 || Index > ParserCount()) return hdrInvalid;
    return priv_ParseList[static_cast<size_t>(Index - 1)].Anchor.HeaderType;
}

tFrameParser* tParseMaster::getParserByIndex(int32_t Index) const {
    if (Index < 1 || Index > ParserCount()) return nullptr;
    return priv_ParseList[static_cast<size_t>(Index - 1)].Parser;
}

tParseEntry tParseMaster::getParserParseInfoByIndex(int32_t Index) const {
    if (Index < 1 || Index > ParserCount()) return tParseEntry{};
    return priv_ParseList[static_cast<size_t>(Index - 1)];
}

bool tParseMaster::getParserCRCOkayByIndex(int32_t Index) const {
    if (Index < 1 || Index > ParserCount()) return false;
    return priv_ParseList[static_cast<size_t>(Index - 1)].CRCWasCorrect;
}

tFrameParser* tParseMaster::getParserByProtocol(tParsedProtocols Protocol, uint8_t Occurrence) const {
    if (priv_ParseList.empty() || !priv_parsedprotocolset.has(Protocol)) return nullptr;
    const int wanted = Occurrence == 0 ? 1 : Occurrence;
    int seen = 0;
    for (const auto& entry : priv_ParseList) {
        if (ProtocolOfHeaderType(entry.Anchor.HeaderType) == static_cast<int>(Protocol) &&
            ++seen == wanted)
            return entry.Parser;
    }
    return nullptr;
}

tDiagnosticMsg tParseMaster::getDiagnosticMsg(int32_t Index) const {
    if (Index < 1 || Index > getDiagnosticMsgCount()) return tDiagnosticMsg{};
    return priv_diagnosticmsglist[static_cast<size_t>(Index - 1)];
}

int32_t tParseMaster::ComplexityRating() const {
    const size_t n = priv_ParseList.size();
    if (n < 3) return 0;
    auto type = [&](size_t i) { return priv_ParseList[i].Anchor.HeaderType; };
    auto isIP = [](int32_t t) { return t == hdrIPv4 || t == hdrIPv6 || t == hdrIPv6inIP; };
    auto isL4 = [](int32_t t) { return t == hdrTCP || t == hdrUDP; };
    if (type(0) == hdrEthernet && isIP(type(1)) && isL4(type(2))) return 1;
    if (n < 4) return 0;
    if (type(0) == hdrEthernet && type(1) == hdrVLAN && isIP(type(2)) && isL4(type(3))) return 2;
    return 10;
}

}  // namespace morwick
