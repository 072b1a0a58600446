// SHA-256 (FIPS 180-4) of bytes given in pieces: what tells two icons apart
// by the exact bytes of the file they save as.
#pragma once

#include "formats/byteview.h"

#include <array>
#include <cstdint>
#include <string>

namespace vexillo {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    void Add(const uint8_t *data, uint64_t size);
    void Add(ByteView bytes) { Add(bytes.data(), bytes.size()); }
    // The digest of everything added; the object is spent afterwards.
    Sha256Digest Finish();

    // Whether the processor's SHA instructions are used where it has them
    // (tests turn them off to check the portable rounds).
    static inline bool UseShaExtensions = true;

private:
    // Hashes `count` whole blocks of 64 bytes, with the processor's SHA
    // instructions where it has them.
    void blocks(const uint8_t *data, uint64_t count);
    void block(const uint8_t *data);

    std::array<uint32_t, 8> FState{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<uint8_t, 64> FPending{};
    uint64_t FPendingSize = 0;
    uint64_t FTotal = 0;
};

// The digest as 64 lower-case hexadecimal digits.
std::string HexDigest(const Sha256Digest &digest);

} // namespace vexillo
