// A bounds-checked, read-only view of bytes that came from a file.
//
// Every untrusted byte (ICO directories, image data, PE headers, resources,
// RIFF chunks) is read through this type. Offsets and sizes are 64-bit, every
// read is checked against the bytes that exist and reports success instead of
// reading past the end, and a sub-range can only be taken by a checked split.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vexillo {

class ByteView {
public:
    ByteView() = default;
    ByteView(const uint8_t *data, uint64_t size) : data_(data), size_(data ? size : 0) {}
    explicit ByteView(std::span<const uint8_t> bytes) : ByteView(bytes.data(), bytes.size()) {}

    const uint8_t *data() const { return data_; }
    uint64_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // True when [offset, offset + length) lies inside the view; never overflows.
    bool contains(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }

    // The sub-range [offset, offset + length), or false when it does not fit.
    bool sub(uint64_t offset, uint64_t length, ByteView &out) const
    {
        if (!contains(offset, length))
            return false;
        out = ByteView(data_ + offset, length);
        return true;
    }

    // Everything from offset to the end (empty when offset is past the end).
    ByteView from(uint64_t offset) const
    {
        if (offset >= size_)
            return {};
        return ByteView(data_ + offset, size_ - offset);
    }

    bool readU8(uint64_t offset, uint8_t &out) const
    {
        if (!contains(offset, 1))
            return false;
        out = data_[offset];
        return true;
    }

    bool readU16(uint64_t offset, uint16_t &out) const
    {
        if (!contains(offset, 2))
            return false;
        out = static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
        return true;
    }

    bool readU32(uint64_t offset, uint32_t &out) const
    {
        if (!contains(offset, 4))
            return false;
        out = static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
              (static_cast<uint32_t>(data_[offset + 2]) << 16) | (static_cast<uint32_t>(data_[offset + 3]) << 24);
        return true;
    }

    bool readI32(uint64_t offset, int32_t &out) const
    {
        uint32_t u;
        if (!readU32(offset, u))
            return false;
        out = static_cast<int32_t>(u);
        return true;
    }

    // Big-endian 32-bit read, for PNG chunk fields.
    bool readU32BE(uint64_t offset, uint32_t &out) const
    {
        if (!contains(offset, 4))
            return false;
        out = (static_cast<uint32_t>(data_[offset]) << 24) | (static_cast<uint32_t>(data_[offset + 1]) << 16) |
              (static_cast<uint32_t>(data_[offset + 2]) << 8) | static_cast<uint32_t>(data_[offset + 3]);
        return true;
    }

    bool copyTo(uint64_t offset, void *dest, uint64_t length) const
    {
        if (!contains(offset, length))
            return false;
        if (length)
            std::memcpy(dest, data_ + offset, length);
        return true;
    }

    bool startsWith(const uint8_t *prefix, uint64_t length) const
    {
        return contains(0, length) && std::memcmp(data_, prefix, length) == 0;
    }

private:
    const uint8_t *data_ = nullptr;
    uint64_t size_ = 0;
};

// The eight-byte signature that starts every PNG stream.
inline constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

inline bool IsPngStream(ByteView bytes)
{
    return bytes.startsWith(kPngSignature, sizeof kPngSignature);
}

} // namespace vexillo
