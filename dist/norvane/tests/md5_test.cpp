#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/md5.h"

namespace {

std::string hex(const uint8_t* d) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < 16; ++i) {
        s += digits[d[i] >> 4];
        s += digits[d[i] & 15];
    }
    return s;
}

std::string md5_hex(const std::string& s) {
    uint8_t d[16];
    md5_buffer(s.data(), uint32_t(s.size()), d);
    return hex(d);
}

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + 3);
    return v;
}

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5_hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5_hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5_hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5_hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5_hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                      "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the padding boundaries: 55 pads in one block, 56..63 need a second block for the
// length, 64 is one whole block taken straight from the caller's buffer.
TEST(Md5, PaddingBoundaries) {
    const std::pair<size_t, const char*> cases[] = {
        {55, "52c0e574e1198de5fe3f8f11440dcb1b"}, {56, "46c9907fc908ee68b1e7b8e71286a518"},
        {63, "a62f6d59e837867693f042f5b8f5a236"}, {64, "7160b8fb5e9e4023d549c3971fbaeead"},
        {65, "70bd662e7aefbda85a0f7244167b7897"}, {1000, "10046f077f2082ac19676b8079f1cb1a"},
    };
    for (const auto& [n, want] : cases) {
        std::vector<uint8_t> data = pattern(n);
        uint8_t d[16];
        md5_buffer(data.data(), uint32_t(n), d);
        EXPECT_EQ(hex(d), want) << n << " bytes";
    }
}

TEST(Md5, PiecesOfAnySizeGiveTheSameDigest) {
    std::vector<uint8_t> data = pattern(1000);
    uint8_t whole[16];
    md5_buffer(data.data(), uint32_t(data.size()), whole);
    for (size_t piece : {1u, 3u, 7u, 55u, 63u, 64u, 65u, 129u}) {
        Md5Context ctx;
        md5_init(&ctx);
        for (size_t at = 0; at < data.size(); at += piece) {
            size_t n = std::min(piece, data.size() - at);
            md5_update(&ctx, data.data() + at, uint32_t(n));
            md5_update(&ctx, data.data() + at, 0); // a zero length changes nothing
        }
        uint8_t d[16];
        md5_final(d, &ctx);
        EXPECT_EQ(hex(d), hex(whole)) << "pieces of " << piece;
        EXPECT_EQ(ctx.buffered_bytes, 0);
    }
}

TEST(Md5, NullOutputUsesTheModulesBuffer) {
    uint8_t* first = md5_buffer("abc", 3, nullptr);
    EXPECT_EQ(hex(first), "900150983cd24fb0d6963f7d28e17f72");
    uint8_t* second = md5_buffer("", 0, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(hex(first), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5, BitCountCarriesIntoTheHighWord) {
    Md5Context ctx;
    md5_init(&ctx);
    ctx.bit_count[0] = 0xFFFFFFF8u;
    md5_update(&ctx, "ab", 2);
    EXPECT_EQ(ctx.bit_count[0], 8u);
    EXPECT_EQ(ctx.bit_count[1], 1u);
}

} // namespace
