// The checked reader and the streams over it: no read passes the end, and
// offsets near the top of the 64-bit range do not wrap around.
#include "formats/byteview.h"
#include "platform/streams.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace vexillo;

TEST(ByteView, ReadsStopAtTheEndWithoutWrapping)
{
    const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    const ByteView v(bytes, sizeof bytes);
    uint32_t u32 = 0;
    uint16_t u16 = 0;
    EXPECT_TRUE(v.readU32(2, u32));
    EXPECT_EQ(u32, 0x06050403u);
    EXPECT_FALSE(v.readU32(3, u32));
    EXPECT_TRUE(v.readU16(4, u16));
    EXPECT_FALSE(v.readU16(5, u16));
    constexpr uint64_t huge = std::numeric_limits<uint64_t>::max();
    EXPECT_FALSE(v.contains(huge, 2));
    EXPECT_FALSE(v.contains(2, huge));
    EXPECT_TRUE(v.contains(6, 0));
    EXPECT_FALSE(v.contains(7, 0));

    ByteView part;
    ASSERT_TRUE(v.sub(1, 4, part));
    EXPECT_FALSE(part.readU32(1, u32));
    EXPECT_FALSE(v.sub(3, 4, part));
    EXPECT_TRUE(v.from(9).empty());
    EXPECT_FALSE(ByteView(nullptr, 100).contains(0, 1));
}

TEST(Streams, SeeksAndReadsAreChecked)
{
    const uint8_t bytes[4] = {9, 8, 7, 6};
    TByteViewStream in(ByteView(bytes, sizeof bytes));
    uint8_t buffer[8] = {};
    EXPECT_EQ(in.Seek(-1, TSeekOrigin::soBeginning), -1);
    EXPECT_EQ(in.Position(), 0u);
    EXPECT_EQ(in.Seek(std::numeric_limits<int64_t>::max(), TSeekOrigin::soEnd), -1);
    EXPECT_EQ(in.Seek(2, TSeekOrigin::soBeginning), 2);
    EXPECT_FALSE(in.ReadExact(buffer, 3));
    EXPECT_EQ(in.Seek(10, TSeekOrigin::soBeginning), 10);
    EXPECT_EQ(in.Read(buffer, 1), 0u);
    EXPECT_EQ(in.Size(), 4u);

    TMemoryStream out;
    out.WriteBuffer(bytes, 4);
    out.Seek(1, TSeekOrigin::soBeginning);
    out.WriteBuffer(bytes, 1);
    out.Seek(6, TSeekOrigin::soBeginning);
    out.WriteBuffer(bytes, 1);
    EXPECT_EQ(out.Bytes(), (std::vector<uint8_t>{9, 9, 7, 6, 0, 0, 9}));
}
