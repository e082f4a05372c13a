#pragma once
// Helpers of the command-line tests: a temporary working folder, running the built
// program in it with its standard output captured, and small pcap files built in code.
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morwick::testing {

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class tTempFolder {
public:
    tTempFolder() {
        std::string templ = (std::filesystem::temp_directory_path() / "morwick-cli-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) std::abort();
        priv_path = templ;
    }
    ~tTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(priv_path, ec);
    }
    tTempFolder(const tTempFolder&) = delete;
    tTempFolder& operator=(const tTempFolder&) = delete;

    const std::string& Path() const { return priv_path; }
    // Path() + "/" + name.
    std::string operator/(const std::string& name) const { return priv_path + "/" + name; }

private:
    std::string priv_path;
};

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

struct tRunResult {
    std::string Output;  // standard output, byte for byte
    int Status = -1;     // exit status
};

// Runs the program in Folder with the given arguments and Input on its standard input
// (empty by default).
inline tRunResult RunMorwick(const std::string& Folder, const std::vector<std::string>& Args,
                             const std::string& Input = "") {
    std::string command = "printf '%s' " + ShellQuote(Input) + " | (cd " + ShellQuote(Folder) + " && " +
                          ShellQuote(MORWICK_EXE);
    for (const auto& a : Args) command += " " + ShellQuote(a);
    command += ")";
    tRunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Output.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutLE16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A little-endian microsecond pcap file (Ethernet) with Frames records of FrameLength
// bytes each, one millisecond apart.
inline std::vector<uint8_t> MakePcap(int Frames, uint32_t FrameLength = 60) {
    std::vector<uint8_t> out;
    out.reserve(24 + static_cast<size_t>(Frames) * (16 + FrameLength));
    PutLE32(out, 0xA1B2C3D4);
    PutLE16(out, 2);
    PutLE16(out, 4);
    PutLE32(out, 0);
    PutLE32(out, 0);
    PutLE32(out, 65535);
    PutLE32(out, 1);
    for (int i = 0; i < Frames; ++i) {
        PutLE32(out, 1600000000u + static_cast<uint32_t>(i / 1000));
        PutLE32(out, static_cast<uint32_t>(i % 1000) * 1000u);
        PutLE32(out, FrameLength);
        PutLE32(out, FrameLength);
        for (uint32_t b = 0; b < FrameLength; ++b) out.push_back(static_cast<uint8_t>(i + b));
    }
    return out;
}

}  // namespace morwick::testing
