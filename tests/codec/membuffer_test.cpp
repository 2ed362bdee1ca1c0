#include <gtest/gtest.h>

#include <cstring>

#include "codec/bitmap.h"
#include "codec/membuffer.h"

using vcdalbum::codec::MemBuffer;

TEST(MemBuffer, AppendAndReadClipAtCapacity) {
    MemBuffer buffer;
    ASSERT_TRUE(buffer.allocate(10));
    const char bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(buffer.append(bytes, 6), 6);
    // 10 bytes offered with 4 free: 4 stored, position advances by 4.
    EXPECT_EQ(buffer.append(bytes, 10), 4);
    EXPECT_EQ(buffer.position, 10);
    EXPECT_EQ(buffer.append(bytes, 1), 0);

    buffer.reset();
    char out[16] = {};
    EXPECT_EQ(buffer.read(out, 16), 10);
    EXPECT_EQ(0, std::memcmp(out, "\0\1\2\3\4\5\0\1\2\3", 10));
    EXPECT_EQ(buffer.read(out, 1), 0);
}

TEST(MemBuffer, SeekOriginsAndEmptyBuffer) {
    MemBuffer empty;
    EXPECT_EQ(empty.seek(0, 0), -1);
    ASSERT_TRUE(empty.allocate(0));
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_EQ(empty.capacity, 0);

    MemBuffer buffer;
    ASSERT_TRUE(buffer.allocate(100));
    EXPECT_EQ(buffer.seek(10, 0), 10);
    EXPECT_EQ(buffer.seek(5, 1), 15);
    EXPECT_EQ(buffer.seek(20, 2), 80);
}

TEST(Bitmap, StridesAndHeadersRoundTrip) {
    using namespace vcdalbum::codec;
    EXPECT_EQ(BitmapStride(350, 24), 1052u);
    EXPECT_EQ(BitmapStride(352, 24), 1056u);
    EXPECT_EQ(BitmapStride(350, 8), 352u);
    EXPECT_EQ(BitmapColours(8), 256u);
    EXPECT_EQ(BitmapColours(24), 0u);

    BitmapInfoHeader info;
    info.width = 350;
    info.height = 240;
    info.bitsPerPixel = 8;
    info.imageBytes = BitmapStride(350, 8) * 240;
    info.coloursUsed = 256;
    MemBuffer header;
    ASSERT_TRUE(WriteBitmapHeaders(info, header));
    EXPECT_EQ(header.capacity, 14 + 40 + 1024);
    EXPECT_EQ(header.data[0], 0x42);  // 'B'
    EXPECT_EQ(header.data[1], 0x4D);  // 'M'
    const uint8_t* palette = header.data + 14 + 40;
    EXPECT_EQ(palette[4 * 200 + 0], 200);
    EXPECT_EQ(palette[4 * 200 + 3], 0);

    BitmapInfoHeader back;
    ASSERT_TRUE(ReadBitmapHeaders(header, back));
    EXPECT_EQ(back.width, 350);
    EXPECT_EQ(back.bitsPerPixel, 8);
    EXPECT_EQ(back.imageBytes, info.imageBytes);
}
