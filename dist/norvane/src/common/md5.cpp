#include "common/md5.h"

#include <cstring>

namespace {

uint8_t static_digest[16];

inline uint32_t rotl(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline uint32_t load_word(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The block words are kept as little-endian-packed integers, so bytes go in one at a time.
void put_byte(Md5Context* ctx, int pos, uint8_t b) {
    uint32_t& w = ctx->block[pos >> 2];
    int shift = (pos & 3) * 8;
    w = (w & ~(0xFFu << shift)) | uint32_t(b) << shift;
}

void block_bytes(const Md5Context* ctx, uint8_t out[64]) {
    for (int i = 0; i < 16; ++i) {
        uint32_t w = ctx->block[i];
        out[4 * i] = uint8_t(w);
        out[4 * i + 1] = uint8_t(w >> 8);
        out[4 * i + 2] = uint8_t(w >> 16);
        out[4 * i + 3] = uint8_t(w >> 24);
    }
}

#define MD5_STEP(f, a, b, c, d, x, t, s)                                                           \
    a += f(b, c, d) + (x) + (t);                                                                   \
    a = rotl(a, s) + b;

#define F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define H(x, y, z) ((x) ^ (y) ^ (z))
#define I(x, y, z) ((y) ^ ((x) | ~(z)))

} // namespace

Md5Context* md5_init(Md5Context* ctx) {
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xEFCDAB89;
    ctx->state[2] = 0x98BADCFE;
    ctx->state[3] = 0x10325476;
    ctx->bit_count[0] = 0;
    ctx->bit_count[1] = 0;
    std::memset(ctx->block, 0, sizeof ctx->block);
    ctx->buffered_bytes = 0;
    return ctx;
}

void md5_transform(Md5Context* ctx, const uint8_t* blocks, uint32_t block_count) {
    uint32_t a0 = ctx->state[0], b0 = ctx->state[1], c0 = ctx->state[2], d0 = ctx->state[3];
    for (uint32_t n = 0; n < block_count; ++n, blocks += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i)
            x[i] = load_word(blocks + 4 * i);
        uint32_t a = a0, b = b0, c = c0, d = d0;

        MD5_STEP(F, a, b, c, d, x[0], 0xd76aa478, 7)
        MD5_STEP(F, d, a, b, c, x[1], 0xe8c7b756, 12)
        MD5_STEP(F, c, d, a, b, x[2], 0x242070db, 17)
        MD5_STEP(F, b, c, d, a, x[3], 0xc1bdceee, 22)
        MD5_STEP(F, a, b, c, d, x[4], 0xf57c0faf, 7)
        MD5_STEP(F, d, a, b, c, x[5], 0x4787c62a, 12)
        MD5_STEP(F, c, d, a, b, x[6], 0xa8304613, 17)
        MD5_STEP(F, b, c, d, a, x[7], 0xfd469501, 22)
        MD5_STEP(F, a, b, c, d, x[8], 0x698098d8, 7)
        MD5_STEP(F, d, a, b, c, x[9], 0x8b44f7af, 12)
        MD5_STEP(F, c, d, a, b, x[10], 0xffff5bb1, 17)
        MD5_STEP(F, b, c, d, a, x[11], 0x895cd7be, 22)
        MD5_STEP(F, a, b, c, d, x[12], 0x6b901122, 7)
        MD5_STEP(F, d, a, b, c, x[13], 0xfd987193, 12)
        MD5_STEP(F, c, d, a, b, x[14], 0xa679438e, 17)
        MD5_STEP(F, b, c, d, a, x[15], 0x49b40821, 22)

        MD5_STEP(G, a, b, c, d, x[1], 0xf61e2562, 5)
        MD5_STEP(G, d, a, b, c, x[6], 0xc040b340, 9)
        MD5_STEP(G, c, d, a, b, x[11], 0x265e5a51, 14)
        MD5_STEP(G, b, c, d, a, x[0], 0xe9b6c7aa, 20)
        MD5_STEP(G, a, b, c, d, x[5], 0xd62f105d, 5)
        MD5_STEP(G, d, a, b, c, x[10], 0x02441453, 9)
        MD5_STEP(G, c, d, a, b, x[15], 0xd8a1e681, 14)
        MD5_STEP(G, b, c, d, a, x[4], 0xe7d3fbc8, 20)
        MD5_STEP(G, a, b, c, d, x[9], 0x21e1cde6, 5)
        MD5_STEP(G, d, a, b, c, x[14], 0xc33707d6, 9)
        MD5_STEP(G, c, d, a, b, x[3], 0xf4d50d87, 14)
        MD5_STEP(G, b, c, d, a, x[8], 0x455a14ed, 20)
        MD5_STEP(G, a, b, c, d, x[13], 0xa9e3e905, 5)
        MD5_STEP(G, d, a, b, c, x[2], 0xfcefa3f8, 9)
        MD5_STEP(G, c, d, a, b, x[7], 0x676f02d9, 14)
        MD5_STEP(G, b, c, d, a, x[12], 0x8d2a4c8a, 20)

        MD5_STEP(H, a, b, c, d, x[5], 0xfffa3942, 4)
        MD5_STEP(H, d, a, b, c, x[8], 0x8771f681, 11)
        MD5_STEP(H, c, d, a, b, x[11], 0x6d9d6122, 16)
        MD5_STEP(H, b, c, d, a, x[14], 0xfde5380c, 23)
        MD5_STEP(H, a, b, c, d, x[1], 0xa4beea44, 4)
        MD5_STEP(H, d, a, b, c, x[4], 0x4bdecfa9, 11)
        MD5_STEP(H, c, d, a, b, x[7], 0xf6bb4b60, 16)
        MD5_STEP(H, b, c, d, a, x[10], 0xbebfbc70, 23)
        MD5_STEP(H, a, b, c, d, x[13], 0x289b7ec6, 4)
        MD5_STEP(H, d, a, b, c, x[0], 0xeaa127fa, 11)
        MD5_STEP(H, c, d, a, b, x[3], 0xd4ef3085, 16)
        MD5_STEP(H, b, c, d, a, x[6], 0x04881d05, 23)
        MD5_STEP(H, a, b, c, d, x[9], 0xd9d4d039, 4)
        MD5_STEP(H, d, a, b, c, x[12], 0xe6db99e5, 11)
        MD5_STEP(H, c, d, a, b, x[15], 0x1fa27cf8, 16)
        MD5_STEP(H, b, c, d, a, x[2], 0xc4ac5665, 23)

        MD5_STEP(I, a, b, c, d, x[0], 0xf4292244, 6)
        MD5_STEP(I, d, a, b, c, x[7], 0x432aff97, 10)
        MD5_STEP(I, c, d, a, b, x[14], 0xab9423a7, 15)
        MD5_STEP(I, b, c, d, a, x[5], 0xfc93a039, 21)
        MD5_STEP(I, a, b, c, d, x[12], 0x655b59c3, 6)
        MD5_STEP(I, d, a, b, c, x[3], 0x8f0ccc92, 10)
        MD5_STEP(I, c, d, a, b, x[10], 0xffeff47d, 15)
        MD5_STEP(I, b, c, d, a, x[1], 0x85845dd1, 21)
        MD5_STEP(I, a, b, c, d, x[8], 0x6fa87e4f, 6)
        MD5_STEP(I, d, a, b, c, x[15], 0xfe2ce6e0, 10)
        MD5_STEP(I, c, d, a, b, x[6], 0xa3014314, 15)
        MD5_STEP(I, b, c, d, a, x[13], 0x4e0811a1, 21)
        MD5_STEP(I, a, b, c, d, x[4], 0xf7537e82, 6)
        MD5_STEP(I, d, a, b, c, x[11], 0xbd3af235, 10)
        MD5_STEP(I, c, d, a, b, x[2], 0x2ad7d2bb, 15)
        MD5_STEP(I, b, c, d, a, x[9], 0xeb86d391, 21)

        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    ctx->state[0] = a0;
    ctx->state[1] = b0;
    ctx->state[2] = c0;
    ctx->state[3] = d0;
}

void md5_update(Md5Context* ctx, const void* data, uint32_t length) {
    if (length == 0)
        return;
    const uint8_t* p = static_cast<const uint8_t*>(data);

    uint32_t low = ctx->bit_count[0] + (length << 3);
    if (low < ctx->bit_count[0])
        ctx->bit_count[1]++;
    ctx->bit_count[0] = low;
    ctx->bit_count[1] += length >> 29;

    if (ctx->buffered_bytes > 0) {
        uint32_t room = 64 - uint32_t(ctx->buffered_bytes);
        uint32_t take = length < room ? length : room;
        for (uint32_t i = 0; i < take; ++i)
            put_byte(ctx, ctx->buffered_bytes + int(i), p[i]);
        ctx->buffered_bytes += int32_t(take);
        p += take;
        length -= take;
        if (ctx->buffered_bytes < 64)
            return;
        uint8_t bytes[64];
        block_bytes(ctx, bytes);
        md5_transform(ctx, bytes, 1);
        ctx->buffered_bytes = 0;
    }

    uint32_t whole = length / 64;
    if (whole > 0)
        md5_transform(ctx, p, whole);
    p += whole * 64;
    length -= whole * 64;
    for (uint32_t i = 0; i < length; ++i)
        put_byte(ctx, int(i), p[i]);
    ctx->buffered_bytes = int32_t(length);
}

void md5_final(uint8_t digest[16], Md5Context* ctx) {
    int pos = ctx->buffered_bytes;
    put_byte(ctx, pos++, 0x80);
    if (pos > 56) {
        while (pos < 64)
            put_byte(ctx, pos++, 0);
        uint8_t bytes[64];
        block_bytes(ctx, bytes);
        md5_transform(ctx, bytes, 1);
        pos = 0;
    }
    while (pos < 56)
        put_byte(ctx, pos++, 0);
    ctx->block[14] = ctx->bit_count[0];
    ctx->block[15] = ctx->bit_count[1];
    uint8_t bytes[64];
    block_bytes(ctx, bytes);
    md5_transform(ctx, bytes, 1);
    for (int i = 0; i < 4; ++i) {
        uint32_t w = ctx->state[i];
        digest[4 * i] = uint8_t(w);
        digest[4 * i + 1] = uint8_t(w >> 8);
        digest[4 * i + 2] = uint8_t(w >> 16);
        digest[4 * i + 3] = uint8_t(w >> 24);
    }
    ctx->buffered_bytes = 0;
}

uint8_t* md5_buffer(const void* data, uint32_t length, uint8_t digest[16]) {
    uint8_t* out = digest ? digest : static_digest;
    Md5Context ctx;
    md5_init(&ctx);
    md5_update(&ctx, data, length);
    md5_final(out, &ctx);
    return out;
}

void md5_digest(const void* data, size_t length, uint8_t digest[16]) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    const size_t kPiece = size_t(1) << 30;
    Md5Context ctx;
    md5_init(&ctx);
    while (length > 0) {
        size_t take = length < kPiece ? length : kPiece;
        md5_update(&ctx, p, uint32_t(take));
        p += take;
        length -= take;
    }
    md5_final(digest, &ctx);
}
