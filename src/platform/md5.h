#pragma once
// MD5 message digests (RFC 1321) through OpenSSL's libcrypto. Used for the content
// signature of capture files and for frame hashes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace morwick {

using tMD5Digest = std::array<uint8_t, 16>;

// One-shot digest of a byte span.
tMD5Digest MD5Digest(std::span<const uint8_t> data);
// The 16 digest bytes as 32 hexadecimal digits (upper case unless Lowercase).
std::string MD5DigestToHex(const tMD5Digest& digest, bool Lowercase = false);
// Writes the 32 hexadecimal digits into out without allocating.
void MD5DigestToHex(const tMD5Digest& digest, std::span<char, 32> out, bool Lowercase = false);
// One-shot digest as upper-case hexadecimal text.
std::string MD5Hex(std::span<const uint8_t> data);

// Incremental hasher for data that arrives in pieces (a large file read in blocks).
// init() starts over; update() may be called any number of times; final() ends the
// digest, after which init() must be called before the next update().
class tMD5Hasher {
public:
    tMD5Hasher();  // ready for update()
    ~tMD5Hasher();
    tMD5Hasher(const tMD5Hasher&) = delete;
    tMD5Hasher& operator=(const tMD5Hasher&) = delete;

    void init();
    void update(std::span<const uint8_t> data);
    tMD5Digest final();
    std::string finalHex(bool Lowercase = false) { return MD5DigestToHex(final(), Lowercase); }

private:
    EVP_MD_CTX* priv_ctx = nullptr;
};

}  // namespace morwick
