// The record stream: little-endian primitives (bytes, integers, floats,
// blocks, texts, tags) written to and read from an open file or a memory
// block. Records are plain concatenations of primitives; writer and reader
// agree on the order.
//
// Memory mode transfers a primitive whole or not at all, so a record cut
// short by the limit never leaves half a value behind. Reads that cannot be
// satisfied give zeros (or no block) and keep the position; they also set
// the sticky failure flag so records can tell a truncated stream from zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class CUFile {
public:
    static constexpr int kVersion = 100;
    static constexpr int kModeFile = 0;
    static constexpr int kModeMemory = 1;
    static constexpr int kStatusReady = 0;
    static constexpr int kStatusNoTarget = 3;
    // Longest block a read accepts: guards allocation against a garbled
    // length in a file, which has no limit to check it against.
    static constexpr uint32_t kMaxBlock = 64u << 20;

    CUFile() = default;
    CUFile(const CUFile&) = delete;
    CUFile& operator=(const CUFile&) = delete;

    // An open file; status 3 when file is null. The stream never closes it.
    void attachFile(std::FILE* file);
    // A memory block of limit bytes; status 3 when address is null. The
    // const form only reads. A limit of 0 is an empty block: reads never run
    // unbounded, so a zero-length chunk cannot expose the memory after it.
    void attachMemory(void* address, size_t limit);
    void attachMemory(const void* address, size_t limit);

    void writeByte(uint8_t value);
    void writeShort(uint16_t value);
    void writeInt(int32_t value);
    void writeFloat(float value);
    // length bytes at data; a null data is a missing block (length 0).
    void writeBlock(const void* data, uint32_t length);
    // The characters and their terminating NUL as a block; null is missing.
    void writeText(const char* text);
    void writeTag(const char tag[4]);

    uint8_t readByte();
    uint16_t readShort();
    int32_t readInt();
    float readFloat();
    // A new buffer of length bytes owned by the caller (delete[]), or
    // nullptr for a missing block or a failed read (length 0 then).
    uint8_t* readBlock(uint32_t& length);
    // A text block into out (at most size - 1 characters, always
    // terminated); false and an empty text when the block is missing.
    bool readText(char* out, size_t size);
    void readTag(char tag[4]);

    // Bytes a block / text occupies in the stream.
    static uint32_t blockSize(const void* data, uint32_t length) { return data ? length + 4 : 4; }
    static uint32_t textSize(const char* text);

    int mode() const { return modeValue; }
    int status() const { return statusValue; }
    size_t count() const { return countValue; }
    int version = kVersion;
    bool readFailed() const { return failed; }
    void clearFailure() { failed = false; }

private:
    bool write(const void* data, size_t size);
    bool read(void* data, size_t size);
    bool fits(size_t size) const { return countValue <= limit && size <= limit - countValue; }

    int modeValue = kModeFile;
    int statusValue = kStatusNoTarget;
    std::FILE* file = nullptr;
    uint8_t* memory = nullptr;
    const uint8_t* memoryIn = nullptr;
    size_t limit = 0;
    size_t countValue = 0;
    bool failed = false;
};
