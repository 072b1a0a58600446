#include "formats/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace vexillo {

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

#if defined(__x86_64__)
// The processor's SHA extensions: two rounds an instruction, the message
// schedule four words an instruction pair.
bool HasShaExtensions()
{
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || !(b & (1u << 29)))
            return false;
        return __get_cpuid(1, &a, &b, &c, &d) && (c & (1u << 19)) && (c & (1u << 9)); // SSE4.1, SSSE3
    }();
    return has;
}

__attribute__((target("sha,sse4.1,ssse3"))) void ShaBlocks(uint32_t *state, const uint8_t *data, uint64_t blocks)
{
    // The state as the instructions hold it: ABEF and CDGH.
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state + 4));
    dcba = _mm_shuffle_epi32(dcba, 0xB1);
    hgfe = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);
    __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);
    // Big-endian words.
    const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w[4];
        for (size_t i = 0; i < 4; ++i)
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * i)), swap);
        for (int i = 0; i < 64; i += 4) {
            __m128i &now = w[(i / 4) % 4];
            if (i >= 16) {
                // W[i..i+3] from W[i-16..i-1]: now holds W[i-16..i-13].
                const __m128i &w12 = w[(i / 4 + 1) % 4], &w8 = w[(i / 4 + 2) % 4], &w4 = w[(i / 4 + 3) % 4];
                now = _mm_sha256msg1_epu32(now, w12);
                now = _mm_add_epi32(now, _mm_alignr_epi8(w4, w8, 4));
                now = _mm_sha256msg2_epu32(now, w4);
            }
            __m128i wk = _mm_add_epi32(now, _mm_loadu_si128(reinterpret_cast<const __m128i *>(kRound + i)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            wk = _mm_shuffle_epi32(wk, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

} // namespace

void Sha256::blocks(const uint8_t *data, uint64_t count)
{
#if defined(__x86_64__)
    if (UseShaExtensions && HasShaExtensions()) {
        ShaBlocks(FState.data(), data, count);
        return;
    }
#endif
    for (; count > 0; --count, data += 64)
        block(data);
}

void Sha256::block(const uint8_t *data)
{
    uint32_t w[64];
    for (size_t i = 0; i < 16; ++i)
        w[i] = (static_cast<uint32_t>(data[4 * i]) << 24) | (static_cast<uint32_t>(data[4 * i + 1]) << 16) |
               (static_cast<uint32_t>(data[4 * i + 2]) << 8) | static_cast<uint32_t>(data[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3];
    uint32_t e = FState[4], f = FState[5], g = FState[6], h = FState[7];
    for (int i = 0; i < 64; ++i) {
        const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    FState[0] += a;
    FState[1] += b;
    FState[2] += c;
    FState[3] += d;
    FState[4] += e;
    FState[5] += f;
    FState[6] += g;
    FState[7] += h;
}

void Sha256::Add(const uint8_t *data, uint64_t size)
{
    FTotal += size;
    if (FPendingSize > 0) {
        const uint64_t take = std::min<uint64_t>(size, 64 - FPendingSize);
        std::memcpy(FPending.data() + FPendingSize, data, take);
        FPendingSize += take;
        data += take;
        size -= take;
        if (FPendingSize < 64)
            return;
        blocks(FPending.data(), 1);
        FPendingSize = 0;
    }
    blocks(data, size / 64);
    data += size / 64 * 64;
    size %= 64;
    if (size > 0) {
        std::memcpy(FPending.data(), data, size);
        FPendingSize = size;
    }
}

Sha256Digest Sha256::Finish()
{
    const uint64_t bits = FTotal * 8;
    const uint8_t one = 0x80, zero = 0;
    Add(&one, 1);
    while (FPendingSize != 56)
        Add(&zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Add(length, 8);
    Sha256Digest digest;
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<uint8_t>(FState[i] >> (24 - 8 * j));
    return digest;
}

std::string HexDigest(const Sha256Digest &digest)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

} // namespace vexillo
