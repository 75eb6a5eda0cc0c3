#pragma once
// Keyed, salted, reversible text scrambling shared by the client and the peers.
// Plain C++17 without Qt so that zq-service, clientProxy and zq-codec use the same code.

#include <cstdint>
#include <string>

namespace zq::codec {

// Key used for service requests, replies and data files.
inline constexpr const char* kDefaultKey = "brindlemo.vqz";
// Key used only by the per-program proxy launch.
inline constexpr const char* kDriverKey = "qzmvtrelkhopbnaswdfcuyixgjqwmzlpkr";

inline constexpr std::size_t kSaltLength = 13;
inline constexpr std::size_t kStampLength = 13;

std::string base64Encode(const std::string& data);
// Stops at the first '=' or at any character outside the Base64 alphabet.
std::string base64Decode(const std::string& text);
std::string xorWithKey(const std::string& data, const std::string& key);
// 13 characters with codes 32..121.
std::string randomSalt();
// Lower-case hexadecimal MD5 digest.
std::string md5Hex(const std::string& data);

class Codec {
public:
    // createdAtMs < 0 takes the current time.
    explicit Codec(std::string key = kDefaultKey, std::int64_t createdAtMs = -1);

    void setKey(const std::string& key) { m_key = key; }
    const std::string& key() const { return m_key; }
    std::int64_t createdAt() const { return m_createdAt; }

    std::string encode(const std::string& plain) const;
    // Empty when the text cannot be decoded; a wrong key gives garbage bytes.
    std::string decode(const std::string& text) const;

    // Encoding with a caller-chosen salt, for fixed test vectors.
    std::string encodeWithSalt(const std::string& plain, const std::string& salt) const;

private:
    std::string m_key;
    std::int64_t m_createdAt;
};

} // namespace zq::codec
