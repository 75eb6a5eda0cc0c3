#include "payloadcodeccore.h"

#ifdef _WIN32
#include <windows.h>
// Declared after windows.h, which it needs.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

namespace zq::codec {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int alphabetIndex(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

constexpr unsigned int kMd5Size = 16;

// The MD5 digest of data into digest; false when the hashing fails.
bool md5Digest(const std::string& data, unsigned char* digest)
{
#ifdef _WIN32
    // The Windows client takes MD5 from the system (CNG) instead of shipping OpenSSL's libcrypto.
    static const BCRYPT_ALG_HANDLE algorithm = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_MD5_ALGORITHM, nullptr, 0)) ? handle
                                                                                                      : nullptr;
    }();
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!algorithm || !BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)))
        return false;
    bool ok = true;
    // The length is a ULONG: longer inputs go in pieces.
    for (std::size_t done = 0; ok && done < data.size();) {
        const ULONG piece = ULONG(std::min<std::size_t>(data.size() - done, 1u << 30));
        ok = BCRYPT_SUCCESS(BCryptHashData(hash, PUCHAR(const_cast<char*>(data.data() + done)), piece, 0));
        done += piece;
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, kMd5Size, 0));
    BCryptDestroyHash(hash);
    return ok;
#else
    unsigned int len = 0;
    return EVP_Digest(data.data(), data.size(), digest, &len, EVP_md5(), nullptr) == 1 && len == kMd5Size;
#endif
}

std::int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

std::string base64Encode(const std::string& data)
{
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t v
            = (std::uint8_t(data[i]) << 16) | (std::uint8_t(data[i + 1]) << 8) | std::uint8_t(data[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = data.size() - i;
    if (rest == 1) {
        const std::uint32_t v = std::uint8_t(data[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const std::uint32_t v = (std::uint8_t(data[i]) << 16) | (std::uint8_t(data[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string base64Decode(const std::string& text)
{
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t acc = 0;
    int count = 0;
    for (unsigned char c : text) {
        const int v = alphabetIndex(c);
        if (v < 0)
            break; // '=' and every other character end the input
        acc = (acc << 6) | std::uint32_t(v);
        if (++count == 4) {
            out += char((acc >> 16) & 0xff);
            out += char((acc >> 8) & 0xff);
            out += char(acc & 0xff);
            acc = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out += char((acc >> 4) & 0xff);
    } else if (count == 3) {
        out += char((acc >> 10) & 0xff);
        out += char((acc >> 2) & 0xff);
    }
    return out;
}

std::string xorWithKey(const std::string& data, const std::string& key)
{
    if (key.empty())
        return {};
    std::string out(data.size(), '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        out[i] = char(data[i] ^ key[i % key.size()]);
    return out;
}

std::string randomSalt()
{
    // rand() is not thread-safe everywhere; the peers encode from several threads.
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::string salt(kSaltLength, ' ');
    for (auto& c : salt)
        c = char(std::rand() % 90 + 32);
    return salt;
}

std::string md5Hex(const std::string& data)
{
    unsigned char digest[kMd5Size];
    if (!md5Digest(data, digest))
        return {};
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(kMd5Size * 2);
    for (unsigned int i = 0; i < kMd5Size; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

Codec::Codec(std::string key, std::int64_t createdAtMs)
    : m_key(std::move(key))
    , m_createdAt(createdAtMs < 0 ? nowMs() : createdAtMs)
{
}

std::string Codec::encode(const std::string& plain) const
{
    return encodeWithSalt(plain, randomSalt());
}

std::string Codec::encodeWithSalt(const std::string& plain, const std::string& salt) const
{
    const std::string stamp = std::to_string(m_createdAt);
    const std::string hash = md5Hex(stamp + salt + m_key);
    const std::string body = xorWithKey(base64Encode(plain), hash);
    return base64Encode(body + xorWithKey(stamp, salt) + xorWithKey(salt, m_key));
}

std::string Codec::decode(const std::string& text) const
{
    const std::string data = base64Decode(text);
    constexpr std::size_t tail = kSaltLength + kStampLength;
    if (data.size() < tail || m_key.empty())
        return {};
    const std::string salt = xorWithKey(data.substr(data.size() - kSaltLength), m_key);
    const std::string stamp = xorWithKey(data.substr(data.size() - tail, kStampLength), salt);
    const std::string hash = md5Hex(stamp + salt + m_key);
    return base64Decode(xorWithKey(data.substr(0, data.size() - tail), hash));
}

} // namespace zq::codec
