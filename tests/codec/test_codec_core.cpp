#include "payloadcodeccore.h"

#include <gtest/gtest.h>

using namespace zq::codec;

namespace {

std::string allBytes()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += char(i);
    return s + s.substr(7, 50);
}

} // namespace

TEST(Base64, MatchesRfc4648Vectors)
{
    const std::pair<const char*, const char*> vectors[] = {
        { "", "" },
        { "f", "Zg==" },
        { "fo", "Zm8=" },
        { "foo", "Zm9v" },
        { "foob", "Zm9vYg==" },
        { "fooba", "Zm9vYmE=" },
        { "foobar", "Zm9vYmFy" },
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64Encode(plain), encoded);
        EXPECT_EQ(base64Decode(encoded), plain);
    }
}

TEST(Base64, StopsAtPaddingOrForeignCharacter)
{
    EXPECT_EQ(base64Decode("Zm9vYg==Zm9v"), "foob");
    EXPECT_EQ(base64Decode("Zm9v\nYmFy"), "foo");
    EXPECT_EQ(base64Decode("Zm9vYmE"), "fooba"); // partial final group of three
    EXPECT_EQ(base64Decode("Zm9vY"), "foo"); // a lone character yields nothing
}

TEST(XorWithKey, EmptyKeyAndWrapping)
{
    EXPECT_EQ(xorWithKey("abc", ""), "");
    EXPECT_EQ(xorWithKey(std::string("\x01\x02\x03", 3), std::string("\x01\x01", 2)), std::string("\x00\x03\x02", 3));
}

TEST(Salt, PrintableRange)
{
    for (int i = 0; i < 50; ++i) {
        const auto s = randomSalt();
        ASSERT_EQ(s.size(), kSaltLength);
        for (unsigned char c : s) {
            EXPECT_GE(c, 32);
            EXPECT_LE(c, 121);
        }
    }
}

TEST(Md5, KnownDigests)
{
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Codec, RoundTripsWithBothKeys)
{
    const std::string inputs[] = { "", "hello world", "\xe9\xa6\x99\xe6\xb8\xaf \xf0\x9f\x98\x80 caf\xc3\xa9",
        allBytes(), std::string(100000, 'x') };
    for (const char* key : { kDefaultKey, kDriverKey }) {
        const Codec codec(key);
        for (const auto& in : inputs)
            EXPECT_EQ(codec.decode(codec.encode(in)), in) << key;
    }
}

TEST(Codec, EmptyTextCarriesStampAndSalt)
{
    const Codec codec;
    const auto enc = codec.encode("");
    EXPECT_EQ(enc.size(), 36u);
    EXPECT_EQ(enc.back(), '=');
    EXPECT_NE(enc[34], '=');
    EXPECT_EQ(base64Decode(enc).size(), 26u);
    EXPECT_EQ(codec.decode(enc), "");
}

TEST(Codec, SaltAndStampMakeEncodingsDiffer)
{
    const Codec a(kDefaultKey, 1700000000000);
    const Codec b(kDefaultKey, 1700000000001);
    const std::string salt = "ABCDEFGHIJKLM";
    EXPECT_EQ(a.encodeWithSalt("x", salt), a.encodeWithSalt("x", salt));
    EXPECT_NE(a.encodeWithSalt("x", salt), a.encodeWithSalt("x", "ABCDEFGHIJKLN"));
    EXPECT_NE(a.encodeWithSalt("x", salt), b.encodeWithSalt("x", salt));
    EXPECT_EQ(b.decode(a.encode("x")), "x"); // the stamp travels with the message
}

TEST(Codec, FixedVector)
{
    // Computed by hand from the scheme: T=1700000000000, S="ABCDEFGHIJKLM", default key.
    const Codec codec(kDefaultKey, 1700000000000);
    const std::string stamp = "1700000000000", salt = "ABCDEFGHIJKLM", key = kDefaultKey;
    const std::string h = md5Hex(stamp + salt + key);
    const std::string expected
        = base64Encode(xorWithKey(base64Encode("{\"a\":1}"), h) + xorWithKey(stamp, salt) + xorWithKey(salt, key));
    EXPECT_EQ(codec.encodeWithSalt("{\"a\":1}", salt), expected);
    EXPECT_EQ(codec.decode(expected), "{\"a\":1}");
}

TEST(Codec, BadInputGivesEmptyOrGarbageNeverCrash)
{
    const Codec codec;
    EXPECT_EQ(codec.decode(""), "");
    EXPECT_EQ(codec.decode("abc"), "");
    EXPECT_EQ(codec.decode("{\"code\":0}"), ""); // decodes to nothing before the brace
    EXPECT_EQ(codec.decode(std::string(35, 'A')), ""); // 26 bytes need 35 characters, 34 full + 1
    const Codec other(kDriverKey);
    const auto enc = codec.encode("secret text");
    EXPECT_NE(other.decode(enc), "secret text");
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += char(i * 7919 % 256);
    (void)codec.decode(garbage);
}

TEST(Codec, TruncatedAfterPaddingOrFollowedByText)
{
    const Codec codec;
    const auto enc = codec.encode("payload");
    EXPECT_EQ(codec.decode(enc + "\nmore text"), "payload");
}

TEST(Codec, LongKeyUsesOnlyFirst13ForSaltField)
{
    const Codec codec(kDriverKey, 1700000000000);
    const std::string salt = "0123456789abc";
    const auto raw = base64Decode(codec.encodeWithSalt("x", salt));
    EXPECT_EQ(raw.substr(raw.size() - 13), xorWithKey(salt, std::string(kDriverKey).substr(0, 13)));
    EXPECT_EQ(codec.decode(codec.encodeWithSalt("x", salt)), "x");
}
