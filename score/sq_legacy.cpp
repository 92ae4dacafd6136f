#include "score/sq_legacy.h"

#include <cmath>

#include "files/cu_file.h"

namespace {

constexpr int kItem = 98;
constexpr int kEnd = 99;

bool ok(const CUFile& f) { return !f.readFailed() && f.status() == CUFile::kStatusReady; }

}  // namespace

CSQController::CSQController(int id, float value) : identifier(id), count(2) {
    segments[0] = {0.0f, value};
    segments[1] = {0.99f, value};
}

void CSQController::moveSegment(int i, float position, float value) {
    if (i < 0 || i >= count) return;
    float lo = i > 0 ? segments[i - 1].position : 0.0f;
    float hi = i + 1 < count ? segments[i + 1].position : 0.99f;
    if (i > 0) {
        lo = std::fmax(lo, 0.05f);
        hi = std::fmin(hi, 0.99f);
    }
    segments[i].position = std::fmin(std::fmax(position, lo), hi);
    segments[i].value = value;
}

int CSQController::hitOrInsert(float x, float y, float width, float height) {
    int left = -1;
    for (int i = 0; i < count; ++i) {
        float sx = segments[i].position * width;
        float sy = (1 - segments[i].value) * height;
        if (std::fabs(sx - x) <= kHitPixels && std::fabs(sy - y) <= kHitPixels) return i;
        if (sx < x) left = i;
    }
    if (count >= kMaxSegments) return -1;
    int at = left + 1;
    for (int i = count; i > at; --i) segments[i] = segments[i - 1];
    ++count;
    segments[at] = {width > 0 ? x / width : 0, height > 0 ? 1 - y / height : 0};
    moveSegment(at, segments[at].position, segments[at].value);
    return at;
}

void CSQController::write(CUFile& f) const {
    f.writeInt(identifier);
    for (int i = 0; i < count; ++i) {
        f.writeInt(kItem);
        f.writeFloat(segments[i].position);
        f.writeFloat(segments[i].value);
    }
    f.writeInt(kEnd);
}

bool CSQController::read(CUFile& f) {
    identifier = f.readInt();
    count = 0;
    while (ok(f) && f.readInt() == kItem) {
        CSQControllerSeg s;
        s.position = f.readFloat();
        s.value = f.readFloat();
        if (count < kMaxSegments) segments[count++] = s;
    }
    return ok(f);
}

CSQAutoEnv::CSQAutoEnv(int id, float value) : identifier(id), defaultValue(value), firstCount(2), secondCount(1) {
    first[0] = {0, value, 0};
    first[1] = {1, value, 0};
    second[0] = {2, value, 0};
}

void CSQAutoEnv::write(CUFile& f) const {
    f.writeInt(identifier);
    auto list = [&](const CSQAutoEnvSeg* segs, int n) {
        for (int i = 0; i < n; ++i) {
            f.writeInt(kItem);
            f.writeFloat(segs[i].a);
            f.writeFloat(segs[i].b);
            f.writeFloat(segs[i].c);
        }
        f.writeInt(kEnd);
    };
    list(first, firstCount);
    list(second, secondCount);
}

int CSQAutoEnv::read(CUFile& f) {
    identifier = f.readInt();
    auto list = [&](CSQAutoEnvSeg* segs, int& n) {
        n = 0;
        int marker = kEnd;
        while (ok(f) && (marker = f.readInt()) == kItem) {
            CSQAutoEnvSeg s{f.readFloat(), f.readFloat(), f.readFloat()};
            if (n < kMaxSegments) segs[n++] = s;
        }
        return ok(f) ? marker : kEnd;
    };
    list(first, firstCount);
    return list(second, secondCount);
}
