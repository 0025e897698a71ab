// MD5 message digest (RFC 1321), incremental and one-shot.
#pragma once

#include <cstddef>
#include <cstdint>

struct Md5Context {
    uint32_t state[4];      // chaining words A, B, C, D
    uint32_t bit_count[2];  // message length in bits mod 2^64, low word first
    uint32_t block[16];     // pending partial block, bytes packed little-endian
    int32_t buffered_bytes; // bytes held in block, 0..63
};

Md5Context* md5_init(Md5Context* ctx);
void md5_update(Md5Context* ctx, const void* data, uint32_t length);
// Output buffer first, context second.
void md5_final(uint8_t digest[16], Md5Context* ctx);
// One-shot digest; with a null output the module's static buffer is used (and overwritten by the
// next such call).
uint8_t* md5_buffer(const void* data, uint32_t length, uint8_t digest[16]);
// One-shot digest of any length (md5_update takes at most 4 GiB - 1 at a time).
void md5_digest(const void* data, size_t length, uint8_t digest[16]);
void md5_transform(Md5Context* ctx, const uint8_t* blocks, uint32_t block_count);
