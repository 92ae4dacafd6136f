#include "files/cu_file.h"

#include <cstring>
#include <new>

namespace {

void putLE(uint8_t* out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = uint8_t(v >> (8 * i));
}

uint32_t getLE(const uint8_t* in, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t(in[i]) << (8 * i);
    return v;
}

}  // namespace

void CUFile::attachFile(std::FILE* f) {
    modeValue = kModeFile;
    file = f;
    memory = nullptr;
    memoryIn = nullptr;
    limit = 0;
    countValue = 0;
    failed = false;
    statusValue = f ? kStatusReady : kStatusNoTarget;
}

void CUFile::attachMemory(void* address, size_t size) {
    attachMemory(static_cast<const void*>(address), size);
    memory = static_cast<uint8_t*>(address);
}

void CUFile::attachMemory(const void* address, size_t size) {
    modeValue = kModeMemory;
    file = nullptr;
    memory = nullptr;
    memoryIn = static_cast<const uint8_t*>(address);
    limit = size;
    countValue = 0;
    failed = false;
    statusValue = address ? kStatusReady : kStatusNoTarget;
}

bool CUFile::write(const void* data, size_t size) {
    if (statusValue != kStatusReady) return false;
    if (modeValue == kModeFile) {
        size_t done = std::fwrite(data, 1, size, file);
        countValue += done;
        return done == size;
    }
    if (!memory || !fits(size)) return false;
    std::memcpy(memory + countValue, data, size);
    countValue += size;
    return true;
}

bool CUFile::read(void* data, size_t size) {
    if (statusValue == kStatusReady) {
        if (modeValue == kModeFile) {
            size_t done = std::fread(data, 1, size, file);
            countValue += done;
            if (done == size) return true;
        } else if (fits(size)) {
            std::memcpy(data, memoryIn + countValue, size);
            countValue += size;
            return true;
        }
    }
    std::memset(data, 0, size);
    failed = true;
    return false;
}

void CUFile::writeByte(uint8_t value) { write(&value, 1); }

void CUFile::writeShort(uint16_t value) {
    uint8_t b[2];
    putLE(b, value, 2);
    write(b, 2);
}

void CUFile::writeInt(int32_t value) {
    uint8_t b[4];
    putLE(b, uint32_t(value), 4);
    write(b, 4);
}

void CUFile::writeFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    writeInt(int32_t(bits));
}

void CUFile::writeBlock(const void* data, uint32_t length) {
    if (!data) length = 0;
    // The whole block or nothing: a length without its bytes would make the
    // reader take the next record's bytes as this block.
    if (modeValue == kModeMemory && statusValue == kStatusReady &&
        (countValue > limit || size_t(length) + 4 > limit - countValue))
        return;
    uint8_t b[4];
    putLE(b, length, 4);
    if (!write(b, 4)) return;
    if (length) write(data, length);
}

void CUFile::writeText(const char* text) {
    if (!text) return writeBlock(nullptr, 0);
    writeBlock(text, uint32_t(std::strlen(text) + 1));
}

void CUFile::writeTag(const char tag[4]) { write(tag, 4); }

uint8_t CUFile::readByte() {
    uint8_t b = 0;
    read(&b, 1);
    return b;
}

uint16_t CUFile::readShort() {
    uint8_t b[2];
    read(b, 2);
    return uint16_t(getLE(b, 2));
}

int32_t CUFile::readInt() {
    uint8_t b[4];
    read(b, 4);
    return int32_t(getLE(b, 4));
}

float CUFile::readFloat() {
    uint32_t bits = uint32_t(readInt());
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

uint8_t* CUFile::readBlock(uint32_t& length) {
    length = 0;
    if (statusValue != kStatusReady) {
        failed = true;
        return nullptr;
    }
    uint8_t b[4];
    if (modeValue == kModeMemory) {
        // Look at the length first so a block that does not fit consumes
        // nothing.
        if (!fits(4)) {
            failed = true;
            return nullptr;
        }
        uint32_t n = getLE(memoryIn + countValue, 4);
        if (n > kMaxBlock || !fits(size_t(n) + 4)) {
            failed = true;
            return nullptr;
        }
    }
    if (!read(b, 4)) return nullptr;
    uint32_t n = getLE(b, 4);
    if (n == 0) return nullptr;
    if (n > kMaxBlock) {
        failed = true;
        return nullptr;
    }
    uint8_t* data = new (std::nothrow) uint8_t[n];
    if (!data) {
        failed = true;
        return nullptr;
    }
    if (!read(data, n)) {
        delete[] data;
        return nullptr;
    }
    length = n;
    return data;
}

bool CUFile::readText(char* out, size_t size) {
    uint32_t n = 0;
    uint8_t* data = readBlock(n);
    if (out && size) {
        size_t len = data ? strnlen(reinterpret_cast<const char*>(data), n) : 0;
        if (len > size - 1) len = size - 1;
        if (len) std::memcpy(out, data, len);
        out[len] = 0;
    }
    delete[] data;
    return data != nullptr;
}

void CUFile::readTag(char tag[4]) { read(tag, 4); }

uint32_t CUFile::textSize(const char* text) { return text ? uint32_t(std::strlen(text)) + 5 : 4; }
