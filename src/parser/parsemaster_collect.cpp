// The parser dispatch of the walk (header type -> parser) and the collection of each
// parser's results into the parse master's summary.
#include <fmt/format.h>

#include "base/checksums.h"
#include "parser/parsemaster.h"
#include "parser/parser_8021q.h"
#include "parser/parser_arp.h"
#include "parser/parser_dns.h"
#include "parser/parser_ethernet.h"
#include "parser/parser_fabricpath.h"
#include "parser/parser_ipv4.h"
#include "parser/parser_ipv6.h"
#include "parser/parser_ipv6frag.h"
#include "parser/parser_juniper.h"
#include "parser/parser_linuxsll.h"
#include "parser/parser_llc.h"
#include "parser/parser_mpls.h"
#include "parser/parser_tcp.h"
#include "parser/parser_udp.h"

namespace morwick {

tFrameParser* tParseMaster::CreateBuiltinParser(int32_t HeaderType, tParserArena& Arena,
                                                const tParserArgs& A) {
    const uint8_t* d = A.Data;
    const int32_t off = A.Offset, cap = A.CapturedLength, wire = A.WireLength;
    const int64_t index = A.FrameIndex;
    auto& a = Arena;

    // One line per header type that has a parser; any other type ends the walk.
    switch (HeaderType) {
        case hdrEthernet:
        case hdrTransparentEthernet: return a.make<tEthernetParser>(d, off, cap, wire, index);
        case hdrLLC: return a.make<tLLCParser>(d, off, cap, wire, index);
        case hdrVLAN:
        case hdrVLAN88A8:
        case hdrVLAN9100:
        case hdrVLAN9200:
        case hdrVLAN9300: return a.make<t802dot1qParser>(d, off, cap, wire, index);
        case hdrMPLS:
        case hdrMPLSMulticast: return a.make<tMPLSParser>(d, off, cap, wire, index);
        case hdrLinuxSLL: return a.make<tLinuxSLLParser>(d, off, cap, wire, index);
        case hdrJuniper: return a.make<tJuniperParser>(d, off, cap, wire, index);
        case hdrFabricPath: return a.make<tFabricPathParser>(d, off, cap, wire, index);
        case hdrARP:
        case hdrRARP: return a.make<tARPParser>(d, off, cap, wire, index);
        case hdrIPv4:
        case hdrIPv4inIP: return a.make<tIPv4Parser>(d, off, cap, wire, A.ICMPQuote, index);
        case hdrIPv6:
        case hdrIPv6inIP: return a.make<tIPv6Parser>(d, off, cap, wire, index);
        case hdrIPv6Fragment: return a.make<tIPv6FragmentationParser>(d, off, cap, wire, index);
        case hdrTCP: return a.make<tTCPParser>(d, off, cap, wire, A.IPPayloadLength, index);
        case hdrUDP: return a.make<tUDPParser>(d, off, cap, wire, A.IPPayloadLength, index);
        case hdrDNS: return a.make<tDNSParser>(d, off, cap, wire, A.Layer7Length, index);
        default: return nullptr;
    }
}

void tParseMaster::OpenSocketLayer() {
    priv_socketlayers.push_back(tSocketLayerEntry{});
    priv_currentsocket = priv_socketlayers.size() - 1;
}

void tParseMaster::OpenIPSocketLayer(uint8_t Version) {
    if (priv_socketlayers.empty() || priv_socketlayers.back().IPVersion != 0) OpenSocketLayer();
    priv_currentsocket = priv_socketlayers.size() - 1;
    if (priv_IPLayerCount == 0) priv_firstIPLayerVersion = Version;
    priv_lastIPLayerVersion = Version;
}

void tParseMaster::RecordOffsets(const tFrameParser& Parser, int32_t Offset) {
    if (tLayerOffset* slot = priv_LayerOffsetList.at(Parser.OSILayer()))
        *slot = tLayerOffset{Offset, Parser.NextAnchor().Offset};
}

void tParseMaster::MarkTunnel(tTunnelFlags Kind) {
    const size_t n = priv_ParseList.size();
    priv_ParseList[n - 1].TunnelFlags = tTunnelFlagSet{tfTunnelLayer, Kind};
    if (n >= 2) priv_ParseList[n - 2].TunnelFlags = tTunnelFlagSet{tfTunnelCarrier, Kind};
}

void tParseMaster::ApplyTransportPorts(uint16_t SrcPort, uint16_t DstPort, tLayer4Protocol Proto) {
    tSocketLayerEntry* socket =
        priv_socketlayers.empty() ? nullptr : &priv_socketlayers[priv_currentsocket];
    if (priv_lastIPLayerVersion == 4) {
        priv_IPv4SocketPair.Source.Port = SrcPort;
        priv_IPv4SocketPair.Destination.Port = DstPort;
        if (socket) {
            socket->IPv4SocketPair.Source.Port = SrcPort;
            socket->IPv4SocketPair.Destination.Port = DstPort;
        }
    } else {
        priv_IPv6SocketPair.Source.Port = SrcPort;
        priv_IPv6SocketPair.Destination.Port = DstPort;
        if (socket) {
            socket->IPv6SocketPair.Source.Port = SrcPort;
            socket->IPv6SocketPair.Destination.Port = DstPort;
        }
    }
    if (socket) socket->Layer4NextProtocol = Proto;
}

void tParseMaster::CollectResults(tParseEntry& Entry, tWalkState& S) {
    tFrameParser& parser = *Entry.Parser;
    const int32_t type = Entry.Anchor.HeaderType;
    const int32_t offset = Entry.Anchor.Offset;
    const auto wire = static_cast<int64_t>(priv_frame->WireSize());
    const int protocol = ProtocolOfHeaderType(type);
    if (protocol >= 0) priv_parsedprotocolset.add(static_cast<tParsedProtocols>(protocol));

    switch (type) {
        case hdrEthernet:
        case hdrTransparentEthernet: {
            const auto& eth = static_cast<const tEthernetParser&>(parser);
            OpenSocketLayer();
            priv_EthernetPair.initialize(eth.SourceAddress(), eth.DestinationAddress());
            priv_socketlayers[priv_currentsocket].EthernetAddrPair = priv_EthernetPair;
            ++priv_EtherLayerCount;
            RecordOffsets(parser, offset);
            break;
        }
        case hdrLinuxSLL: {
            const auto& sll = static_cast<const tLinuxSLLParser&>(parser);
            OpenSocketLayer();
            const tMACAddress address = sll.MACAddress();
            if (address != tMACAddress{}) {
                const tMACAddress zero{};
                switch (sll.PacketType()) {
                    case sptUnicastToUs: priv_EthernetPair.initialize(zero, address); break;
                    case sptSentByUs: priv_EthernetPair.initialize(address, zero); break;
                    default: priv_EthernetPair.initialize(zero, zero); break;
                }
            }
            priv_socketlayers[priv_currentsocket].EthernetAddrPair = priv_EthernetPair;
            RecordOffsets(parser, offset);
            break;
        }
        case hdrVLAN:
        case hdrVLAN88A8:
        case hdrVLAN9100:
        case hdrVLAN9200:
        case hdrVLAN9300:
            priv_VLANID = static_cast<uint16_t>(static_cast<const t802dot1qParser&>(parser).VLANID());
            ++priv_VLANCount;
            break;
        case hdrARP:
        case hdrRARP: RecordOffsets(parser, offset); break;
        case hdrMPLS:
        case hdrMPLSMulticast: MarkTunnel(tfTunnelMPLS); break;
        case hdrIPv4:
        case hdrIPv4inIP: {
            const auto& ip = static_cast<const tIPv4Parser&>(parser);
            OpenIPSocketLayer(4);
            priv_IPID = ip.Identification();
            priv_IPv4SocketPair.Source.IPAddress = ip.Source();
            priv_IPv4SocketPair.Destination.IPAddress = ip.Destination();
            priv_Layer4Protocol = ip.Protocol();
            tSocketLayerEntry& socket = priv_socketlayers[priv_currentsocket];
            socket.IPVersion = 4;
            socket.IPv4SocketPair = priv_IPv4SocketPair;
            socket.IPv6SocketPair.initialize();
            S.ipPayloadLength = ip.IPPayloadLength();
            S.trailerLength = static_cast<int32_t>(
                std::max<int64_t>(0, wire - (int64_t{offset} + ip.TotalLength())));
            ++priv_IPLayerCount;
            S.pseudo4 = ip.PseudoHeader();
            Entry.CRCWasCorrect = ip.Checksum() == IPv4HeaderChecksum(ip.HeaderBytes(), ip.IHL());
            priv_IsFragment = ip.IsFragment();
            RecordOffsets(parser, offset);
            break;
        }
        case hdrIPv6:
        case hdrIPv6inIP: {
            const auto& ip = static_cast<const tIPv6Parser&>(parser);
            OpenIPSocketLayer(6);
            priv_IPv6SocketPair.Source.IPAddress = ip.Source();
            priv_IPv6SocketPair.Destination.IPAddress = ip.Destination();
            const uint8_t next = ip.NextHeader();
            priv_Layer4Protocol = (next == 6 || next == 17 || next == 58) ? next : 0;
            tSocketLayerEntry& socket = priv_socketlayers[priv_currentsocket];
            socket.IPVersion = 6;
            socket.IPv6SocketPair = priv_IPv6SocketPair;
            socket.IPv4SocketPair.initialize();
            S.ipPayloadLength = ip.PayloadLength();
            ++priv_IPLayerCount;
            S.trailerLength = static_cast<int32_t>(
                std::max<int64_t>(0, wire - (int64_t{offset} + ip.PayloadLength() + 40)));
            S.pseudo6 = ip.PseudoHeader();
            RecordOffsets(parser, offset);
            break;
        }
        case hdrTCP: {
            auto& tcp = static_cast<tTCPParser&>(parser);
            S.layer7Length = S.ipPayloadLength - tcp.LayerSize();
            ApplyTransportPorts(tcp.SourcePort(), tcp.DestinationPort(), l4TCP);
            const tByteSpan bytes = tcp.TCPSectionBytes();
            Entry.CRCWasCorrect = tcp.Checksum() == (priv_lastIPLayerVersion == 4
                                                         ? TCPv4Checksum(S.pseudo4, bytes)
                                                         : TCPv6Checksum(S.pseudo6, bytes));
            priv_TCPSequenceNo = tcp.SequenceNumber();
            priv_TCPAcknowledgeNo = tcp.AcknowledgeNumber();
            priv_TCPFlags = tcp.Flags();
            priv_TCPPayloadLength = tcp.PayloadLength();
            if (tcp.NextAnchor().HeaderType == hdrDecideByPorts)
                tcp.setNextAnchor({HeaderTypeByPorts(false, tcp.SourcePort(), tcp.DestinationPort()),
                                   tcp.NextAnchor().Offset});
            RecordOffsets(parser, offset);
            break;
        }
        case hdrUDP: {
            auto& udp = static_cast<tUDPParser&>(parser);
            S.layer7Length = S.ipPayloadLength - udp.LayerSize();
            ApplyTransportPorts(udp.SourcePort(), udp.DestinationPort(), l4UDP);
            const tByteSpan bytes = udp.UDPSectionBytes();
            Entry.CRCWasCorrect = udp.Checksum() == (priv_lastIPLayerVersion == 4
                                                         ? UDPv4Checksum(S.pseudo4, bytes)
                                                         : UDPv6Checksum(S.pseudo6, bytes));
            if (udp.NextAnchor().HeaderType == hdrDecideByPorts)
                udp.setNextAnchor({HeaderTypeByPorts(true, udp.SourcePort(), udp.DestinationPort()),
                                   udp.NextAnchor().Offset});
            RecordOffsets(parser, offset);
            break;
        }
        case hdrGRE: MarkTunnel(tfTunnelGRE); break;
        case hdrGTPv1: MarkTunnel(tfTunnelGTPv1); break;
        case hdrAYIYA: MarkTunnel(tfTunnelAYIYA); break;
        case hdrVXLAN: MarkTunnel(tfTunnelVXLAN); break;
        case hdrERSPAN: MarkTunnel(tfTunnelERSPAN); break;
        case hdrCAPWAP: MarkTunnel(tfTunnelCAPWAP); break;
        case hdrGeneve: MarkTunnel(tfTunnelGeneve); break;
        case hdrTZSP: MarkTunnel(tfTunnelTZSP); break;
        case hdrDNS:
        case hdrDHCPv4:
        case hdrRTPS: RecordOffsets(parser, offset); break;
        default: break;
    }
}

std::string tParseMaster::VLANIDsAsString() const {
    if (priv_VLANCount == 0) return {};
    if (priv_VLANCount == 1) return fmt::format("{}", priv_VLANID);
    std::string out;
    for (const auto& entry : priv_ParseList) {
        if (ProtocolOfHeaderType(entry.Anchor.HeaderType) != ppVLANTag) continue;
        if (!out.empty()) out += '-';
        out += fmt::format("{}", static_cast<const t802dot1qParser&>(*entry.Parser).VLANID());
    }
    return out;
}

}  // namespace morwick
