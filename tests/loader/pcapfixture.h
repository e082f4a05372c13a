#pragma once
// Builds pcap files in memory for the loader tests and writes them into a temporary
// folder that is removed again when the test ends.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morwick::testing {

// A scratch folder under the system's temporary folder.
class tTempDir {
public:
    tTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "morwick-loader-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        priv_path = pattern;
    }
    ~tTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(priv_path, ignored);
    }
    tTempDir(const tTempDir&) = delete;
    tTempDir& operator=(const tTempDir&) = delete;

    std::string File(const std::string& name) const { return (priv_path / name).string(); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = File(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path priv_path;
};

struct tPcapLayout {
    bool BigEndian = false;  // fields in big-endian order (byte-swapped on this machine)
    bool Modified = false;   // 24-byte record headers
    bool Nanoseconds = false;
    uint16_t Major = 2;
    uint16_t Minor = 4;
    uint32_t SnapLength = 65535;
    uint32_t Network = 1;
};

class tPcapBuilder {
public:
    explicit tPcapBuilder(const tPcapLayout& layout = {}) : priv_layout(layout) {
        uint32_t magic = layout.Modified ? 0xA1B2CD34 : layout.Nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4;
        Put32(magic);
        Put16(layout.Major);
        Put16(layout.Minor);
        Put32(0);  // time-zone correction
        Put32(0);  // accuracy
        Put32(layout.SnapLength);
        Put32(layout.Network);
    }

    // A record holding Data; CapturedLength and OriginalLength default to Data's size.
    tPcapBuilder& Record(uint32_t seconds, uint32_t subSeconds, const std::vector<uint8_t>& data,
                         int64_t capturedLength = -1, int64_t originalLength = -1) {
        Put32(seconds);
        Put32(subSeconds);
        Put32(static_cast<uint32_t>(capturedLength < 0 ? data.size() : capturedLength));
        Put32(static_cast<uint32_t>(originalLength < 0 ? data.size() : originalLength));
        if (priv_layout.Modified) {
            Put32(3);  // interface index
            Put16(0x0800);
            bytes.push_back(4);  // packet type
            bytes.push_back(0);  // padding
        }
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }

    // Frame bytes 0, 1, 2, ... of the given length.
    static std::vector<uint8_t> Counting(size_t length, uint8_t start = 0) {
        std::vector<uint8_t> data(length);
        for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(start + i);
        return data;
    }

    std::vector<uint8_t> bytes;

private:
    void Put16(uint16_t v) {
        if (priv_layout.BigEndian) {
            bytes.push_back(static_cast<uint8_t>(v >> 8));
            bytes.push_back(static_cast<uint8_t>(v));
        } else {
            bytes.push_back(static_cast<uint8_t>(v));
            bytes.push_back(static_cast<uint8_t>(v >> 8));
        }
    }
    void Put32(uint32_t v) {
        if (priv_layout.BigEndian) {
            Put16(static_cast<uint16_t>(v >> 16));
            Put16(static_cast<uint16_t>(v));
        } else {
            Put16(static_cast<uint16_t>(v));
            Put16(static_cast<uint16_t>(v >> 16));
        }
    }

    tPcapLayout priv_layout;
};

// Selects a time zone for the process for the lifetime of the object and restores the
// previous one afterwards.
class tZoneScope {
public:
    explicit tZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        priv_hadOld = old != nullptr;
        if (priv_hadOld) priv_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~tZoneScope() {
        if (priv_hadOld)
            ::setenv("TZ", priv_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    tZoneScope(const tZoneScope&) = delete;
    tZoneScope& operator=(const tZoneScope&) = delete;

private:
    std::string priv_old;
    bool priv_hadOld = false;
};

}  // namespace morwick::testing
