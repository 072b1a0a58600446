// Bytes read from a file once and then shared, never changed: the stored
// image that several directory entries of an icon may name. Copies share the
// one block, so an icon whose thousand entries name the same bytes holds
// them once, and so does every copy of it.
#pragma once

#include "formats/byteview.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace vexillo {

class SharedBytes {
public:
    SharedBytes() = default;
    SharedBytes(std::vector<uint8_t> bytes)
        : FBlock(std::make_shared<const std::vector<uint8_t>>(std::move(bytes))), FSize(FBlock->size())
    {
    }

    const uint8_t *data() const { return FBlock ? FBlock->data() + FOffset : nullptr; }
    uint64_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    const uint8_t *begin() const { return data(); }
    const uint8_t *end() const { return data() + FSize; }
    ByteView View() const { return ByteView(data(), FSize); }

    // The first `length` bytes (all of them when there are fewer), sharing
    // this block.
    SharedBytes Prefix(uint64_t length) const
    {
        SharedBytes prefix = *this;
        prefix.FSize = std::min(length, FSize);
        return prefix;
    }

    // The bytes from `offset` on (none when there are fewer), sharing this
    // block.
    SharedBytes Suffix(uint64_t offset) const
    {
        SharedBytes suffix = *this;
        suffix.FOffset = FOffset + std::min(offset, FSize);
        suffix.FSize = FSize - std::min(offset, FSize);
        return suffix;
    }

    // True when both are the same bytes of the same block (not merely equal
    // bytes).
    bool SameAs(const SharedBytes &other) const { return data() == other.data() && FSize == other.FSize; }

    friend bool operator==(const SharedBytes &a, const SharedBytes &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const SharedBytes &a, const std::vector<uint8_t> &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    std::shared_ptr<const std::vector<uint8_t>> FBlock;
    uint64_t FOffset = 0;
    uint64_t FSize = 0;
};

} // namespace vexillo
