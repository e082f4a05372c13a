#include "platform/md5.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace morwick {

namespace {

void Check(int ok, const char* what) {
    if (ok != 1) throw std::runtime_error(what);
}

// One context per thread, reused for every one-shot digest so that hashing a frame does
// not allocate.
EVP_MD_CTX* SharedContext() {
    struct tHolder {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        ~tHolder() { EVP_MD_CTX_free(ctx); }
    };
    thread_local tHolder holder;
    if (!holder.ctx) throw std::bad_alloc();
    return holder.ctx;
}

}  // namespace

tMD5Digest MD5Digest(std::span<const uint8_t> data) {
    EVP_MD_CTX* ctx = SharedContext();
    tMD5Digest digest{};
    unsigned int len = 0;
    Check(EVP_DigestInit_ex(ctx, EVP_md5(), nullptr), "MD5 initialisation failed");
    Check(EVP_DigestUpdate(ctx, data.data(), data.size()), "MD5 update failed");
    Check(EVP_DigestFinal_ex(ctx, digest.data(), &len), "MD5 finalisation failed");
    return digest;
}

void MD5DigestToHex(const tMD5Digest& digest, std::span<char, 32> out, bool Lowercase) {
    const char* digits = Lowercase ? "0123456789abcdef" : "0123456789ABCDEF";
    for (size_t i = 0; i < digest.size(); ++i) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 0x0F];
    }
}

std::string MD5DigestToHex(const tMD5Digest& digest, bool Lowercase) {
    std::string text(32, '0');
    MD5DigestToHex(digest, std::span<char, 32>(text.data(), 32), Lowercase);
    return text;
}

std::string MD5Hex(std::span<const uint8_t> data) { return MD5DigestToHex(MD5Digest(data)); }

tMD5Hasher::tMD5Hasher() : priv_ctx(EVP_MD_CTX_new()) {
    if (!priv_ctx) throw std::bad_alloc();
    init();
}

tMD5Hasher::~tMD5Hasher() { EVP_MD_CTX_free(priv_ctx); }

void tMD5Hasher::init() { Check(EVP_DigestInit_ex(priv_ctx, EVP_md5(), nullptr), "MD5 initialisation failed"); }

void tMD5Hasher::update(std::span<const uint8_t> data) {
    Check(EVP_DigestUpdate(priv_ctx, data.data(), data.size()), "MD5 update failed");
}

tMD5Digest tMD5Hasher::final() {
    tMD5Digest digest{};
    unsigned int len = 0;
    Check(EVP_DigestFinal_ex(priv_ctx, digest.data(), &len), "MD5 finalisation failed");
    return digest;
}

}  // namespace morwick
