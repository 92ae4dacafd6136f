#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "files/cu_file.h"

namespace {

std::vector<uint8_t> bytesOf(const uint8_t* data, size_t n) { return std::vector<uint8_t>(data, data + n); }

}  // namespace

TEST(CUFile, PrimitiveEncodings) {
    uint8_t buf[64] = {};
    CUFile f;
    f.attachMemory(buf, sizeof buf);
    f.writeFloat(1.0f);
    f.writeText("ab");
    f.writeBlock(nullptr, 5);
    f.writeShort(0x1234);
    f.writeInt(-2);
    f.writeByte(0xAB);
    f.writeTag("QLRN");
    const uint8_t expected[] = {0x00, 0x00, 0x80, 0x3F, 3, 0, 0, 0, 'a', 'b', 0, 0, 0, 0, 0, 0x34, 0x12,
                                0xFE, 0xFF, 0xFF, 0xFF, 0xAB, 'Q', 'L', 'R', 'N'};
    ASSERT_EQ(f.count(), sizeof expected);
    EXPECT_EQ(bytesOf(buf, sizeof expected), bytesOf(expected, sizeof expected));
    EXPECT_EQ(CUFile::textSize("ab"), 7u);
    EXPECT_EQ(CUFile::blockSize(nullptr, 9), 4u);
    EXPECT_EQ(CUFile::blockSize(buf, 9), 13u);

    CUFile r;
    r.attachMemory(static_cast<const void*>(buf), sizeof expected);
    EXPECT_EQ(r.readFloat(), 1.0f);
    char text[8];
    EXPECT_TRUE(r.readText(text, sizeof text));
    EXPECT_STREQ(text, "ab");
    uint32_t length = 99;
    EXPECT_EQ(r.readBlock(length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(r.readShort(), 0x1234);
    EXPECT_EQ(r.readInt(), -2);
    EXPECT_EQ(r.readByte(), 0xAB);
    char tag[4];
    r.readTag(tag);
    EXPECT_EQ(std::memcmp(tag, "QLRN", 4), 0);
    EXPECT_FALSE(r.readFailed());
    EXPECT_EQ(r.readInt(), 0);  // past the end
    EXPECT_TRUE(r.readFailed());
    EXPECT_EQ(r.count(), sizeof expected);
}

TEST(CUFile, MemoryWritesAreWholeOrNothing) {
    uint8_t buf[6];
    std::memset(buf, 0xEE, sizeof buf);
    CUFile f;
    f.attachMemory(buf, 6);
    f.writeInt(7);
    f.writeInt(8);  // 2 bytes of room: nothing written
    EXPECT_EQ(f.count(), 4u);
    EXPECT_EQ(buf[4], 0xEE);
    f.writeBlock("xy", 2);  // needs 6
    EXPECT_EQ(f.count(), 4u);
    EXPECT_EQ(buf[4], 0xEE);
    f.writeShort(9);
    EXPECT_EQ(f.count(), 6u);

    CUFile none;
    none.attachMemory(buf, 0);  // limit 0 leaves no room for writing
    none.writeByte(1);
    EXPECT_EQ(none.count(), 0u);
}

TEST(CUFile, MemoryReadsKeepPositionOnFailure) {
    const uint8_t data[] = {1, 0, 0, 0, 10, 0, 0, 0, 'a', 'b'};
    CUFile r;
    r.attachMemory(static_cast<const void*>(data), sizeof data);
    EXPECT_EQ(r.readInt(), 1);
    uint32_t length = 1;
    EXPECT_EQ(r.readBlock(length), nullptr);  // claims 10 bytes, 2 present
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(r.count(), 4u);
    EXPECT_TRUE(r.readFailed());
    r.clearFailure();
    EXPECT_EQ(r.readShort(), 10);  // the position did not move
    EXPECT_EQ(r.readShort(), 0);
    EXPECT_FALSE(r.readFailed());
    EXPECT_EQ(r.readInt(), 0);  // 2 bytes left
    EXPECT_TRUE(r.readFailed());
    EXPECT_EQ(r.count(), 8u);
    EXPECT_EQ(r.readShort(), 'a' | 'b' << 8);
}

TEST(CUFile, HugeBlockLengthFailsWithoutAllocating) {
    const uint8_t data[] = {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3};
    for (size_t limit : {size_t(5), sizeof data}) {
        CUFile r;
        r.attachMemory(static_cast<const void*>(data), limit);
        uint32_t length = 0;
        EXPECT_EQ(r.readBlock(length), nullptr);
        EXPECT_TRUE(r.readFailed());
    }
}

TEST(CUFile, EmptyMemoryBlockReadsNothing) {
    // Limit 0 is an empty block, not "no limit": a zero-length chunk must not
    // let a reader walk into the memory behind it.
    uint8_t data[16] = {5, 0, 0, 0};
    CUFile r;
    r.attachMemory(static_cast<const void*>(data), 0);
    EXPECT_EQ(r.status(), CUFile::kStatusReady);
    EXPECT_EQ(r.readInt(), 0);
    uint32_t length = 0;
    EXPECT_EQ(r.readBlock(length), nullptr);
    EXPECT_TRUE(r.readFailed());
    EXPECT_EQ(r.count(), 0u);
}

TEST(CUFile, NoTargetReadsZeros) {
    CUFile a;
    a.attachMemory(static_cast<const void*>(nullptr), 10);
    EXPECT_EQ(a.status(), CUFile::kStatusNoTarget);
    EXPECT_EQ(a.readInt(), 0);
    EXPECT_EQ(a.readFloat(), 0.0f);
    a.writeInt(3);
    EXPECT_EQ(a.count(), 0u);
    CUFile b;
    b.attachFile(nullptr);
    EXPECT_EQ(b.status(), CUFile::kStatusNoTarget);
    EXPECT_EQ(b.readByte(), 0);
}

TEST(CUFile, FileModeRoundTrip) {
    std::FILE* tmp = std::tmpfile();
    ASSERT_NE(tmp, nullptr);
    CUFile w;
    w.attachFile(tmp);
    EXPECT_EQ(w.status(), CUFile::kStatusReady);
    w.writeText("hello");
    w.writeFloat(-0.5f);
    w.writeBlock("\x01\x02\x03", 3);
    EXPECT_EQ(w.count(), 10u + 4 + 7);
    std::rewind(tmp);
    CUFile r;
    r.attachFile(tmp);
    char text[4];
    EXPECT_TRUE(r.readText(text, sizeof text));
    EXPECT_STREQ(text, "hel");  // cut to the caller's buffer
    EXPECT_EQ(r.readFloat(), -0.5f);
    uint32_t length = 0;
    uint8_t* block = r.readBlock(length);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(block[2], 3);
    delete[] block;
    EXPECT_FALSE(r.readFailed());
    EXPECT_EQ(r.readInt(), 0);
    EXPECT_TRUE(r.readFailed());
    std::fclose(tmp);
}
