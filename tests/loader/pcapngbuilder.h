#pragma once
// Builds pcapng files in memory for the loader tests. Every block is written in the byte
// order of its section: a section header with BigEndian set switches the builder to
// big-endian fields until the next section header.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morwick::testing {

struct tNgOption {
    uint16_t Code;
    std::vector<uint8_t> Value;
};

inline std::vector<uint8_t> TextBytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

class tPcapngBuilder {
public:
    // Option values in the byte order of the current section.
    std::vector<uint8_t> U32Value(uint32_t v) const {
        std::vector<uint8_t> out;
        Append32(out, v);
        return out;
    }
    std::vector<uint8_t> U64Value(uint64_t v) const {
        std::vector<uint8_t> out;
        Append64(out, v);
        return out;
    }

    tPcapngBuilder& SHB(const std::vector<tNgOption>& options = {}, bool bigEndian = false, uint16_t major = 1,
                        uint16_t minor = 0, uint32_t magic = 0x1A2B3C4D) {
        priv_big = bigEndian;
        std::vector<uint8_t> body;
        Append32(body, magic);
        Append16(body, major);
        Append16(body, minor);
        Append64(body, ~uint64_t{0});
        AppendOptions(body, options);
        return Block(0x0A0D0D0A, body);
    }

    tPcapngBuilder& IDB(uint16_t linkType = 1, uint32_t snapLength = 65535, const std::vector<tNgOption>& options = {}) {
        std::vector<uint8_t> body;
        Append16(body, linkType);
        Append16(body, 0);
        Append32(body, snapLength);
        AppendOptions(body, options);
        return Block(1, body);
    }

    // Enhanced Packet Block; the lengths default to the data's size.
    tPcapngBuilder& EPB(uint32_t interfaceID, uint64_t timestamp, const std::vector<uint8_t>& data,
                        const std::vector<tNgOption>& options = {}, int64_t captured = -1, int64_t original = -1) {
        std::vector<uint8_t> body;
        Append32(body, interfaceID);
        Append32(body, static_cast<uint32_t>(timestamp >> 32));
        Append32(body, static_cast<uint32_t>(timestamp));
        Append32(body, static_cast<uint32_t>(captured < 0 ? data.size() : captured));
        Append32(body, static_cast<uint32_t>(original < 0 ? data.size() : original));
        AppendPadded(body, data);
        AppendOptions(body, options);
        return Block(6, body);
    }

    tPcapngBuilder& SPB(const std::vector<uint8_t>& data, int64_t original = -1) {
        std::vector<uint8_t> body;
        Append32(body, static_cast<uint32_t>(original < 0 ? data.size() : original));
        AppendPadded(body, data);
        return Block(3, body);
    }

    // The obsolete Packet Block.
    tPcapngBuilder& PB(uint16_t interfaceID, uint16_t drops, uint64_t timestamp, const std::vector<uint8_t>& data,
                       const std::vector<tNgOption>& options = {}) {
        std::vector<uint8_t> body;
        Append16(body, interfaceID);
        Append16(body, drops);
        Append32(body, static_cast<uint32_t>(timestamp >> 32));
        Append32(body, static_cast<uint32_t>(timestamp));
        Append32(body, static_cast<uint32_t>(data.size()));
        Append32(body, static_cast<uint32_t>(data.size()));
        AppendPadded(body, data);
        AppendOptions(body, options);
        return Block(2, body);
    }

    // Name Resolution Block from records (type, value); options follow the end record.
    tPcapngBuilder& NRB(const std::vector<tNgOption>& records, const std::vector<tNgOption>& options = {}) {
        std::vector<uint8_t> body;
        for (const tNgOption& r : records) AppendOption(body, r);
        Append32(body, 0);  // end of records
        AppendOptions(body, options);
        return Block(4, body);
    }

    tPcapngBuilder& ISB(uint32_t interfaceID, uint64_t timestamp, const std::vector<tNgOption>& options = {}) {
        std::vector<uint8_t> body;
        Append32(body, interfaceID);
        Append32(body, static_cast<uint32_t>(timestamp >> 32));
        Append32(body, static_cast<uint32_t>(timestamp));
        AppendOptions(body, options);
        return Block(5, body);
    }

    tPcapngBuilder& DSB(uint32_t secretsType, std::string_view secrets) {
        std::vector<uint8_t> body;
        Append32(body, secretsType);
        Append32(body, static_cast<uint32_t>(secrets.size()));
        AppendPadded(body, TextBytes(secrets));
        return Block(10, body);
    }

    // Any block: type, total length, the body padded to 4 bytes, total length.
    tPcapngBuilder& Block(uint32_t type, const std::vector<uint8_t>& body) {
        const uint32_t total = static_cast<uint32_t>(12 + Padded(body.size()));
        Append32(bytes, type);
        Append32(bytes, total);
        AppendPadded(bytes, body);
        Append32(bytes, total);
        return *this;
    }

    // Offset of the next block.
    size_t Size() const { return bytes.size(); }

    std::vector<uint8_t> bytes;

private:
    static size_t Padded(size_t n) { return (n + 3) & ~size_t{3}; }
    void Append16(std::vector<uint8_t>& out, uint16_t v) const {
        if (priv_big) {
            out.push_back(static_cast<uint8_t>(v >> 8));
            out.push_back(static_cast<uint8_t>(v));
        } else {
            out.push_back(static_cast<uint8_t>(v));
            out.push_back(static_cast<uint8_t>(v >> 8));
        }
    }
    void Append32(std::vector<uint8_t>& out, uint32_t v) const {
        if (priv_big) {
            Append16(out, static_cast<uint16_t>(v >> 16));
            Append16(out, static_cast<uint16_t>(v));
        } else {
            Append16(out, static_cast<uint16_t>(v));
            Append16(out, static_cast<uint16_t>(v >> 16));
        }
    }
    void Append64(std::vector<uint8_t>& out, uint64_t v) const {
        if (priv_big) {
            Append32(out, static_cast<uint32_t>(v >> 32));
            Append32(out, static_cast<uint32_t>(v));
        } else {
            Append32(out, static_cast<uint32_t>(v));
            Append32(out, static_cast<uint32_t>(v >> 32));
        }
    }
    static void AppendPadded(std::vector<uint8_t>& out, const std::vector<uint8_t>& data) {
        out.insert(out.end(), data.begin(), data.end());
        out.resize(out.size() + Padded(data.size()) - data.size(), 0);
    }
    void AppendOption(std::vector<uint8_t>& out, const tNgOption& option) const {
        Append16(out, option.Code);
        Append16(out, static_cast<uint16_t>(option.Value.size()));
        AppendPadded(out, option.Value);
    }
    void AppendOptions(std::vector<uint8_t>& out, const std::vector<tNgOption>& options) const {
        if (options.empty()) return;
        for (const tNgOption& o : options) AppendOption(out, o);
        Append32(out, 0);  // end of options
    }

    bool priv_big = false;
};

}  // namespace morwick::testing
