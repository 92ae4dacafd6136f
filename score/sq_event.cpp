#include "score/sq_event.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/cu_file.h"
#include "score/sq_legacy.h"
#include "voice/phoneme_inventory.h"

namespace {

constexpr float kLaneDefaults[kNoteLanes] = {1.0f, 0.0f, 1.0f, 0.0f, 0.0f};
constexpr float kLaneGlideTicks = 400;

int toIndex(float u, CurveRounding rounding) {
    if (!(u > -1e9f && u < 1e9f)) return u > 0 ? 1 << 30 : -(1 << 30);
    return rounding == kRoundTruncate ? int(u) : int(std::nearbyint(u));
}

// Linear interpolation on n points at position u (in points), clamped to
// the end points outside.
float interpolate(const float* points, int n, float u, CurveRounding rounding) {
    int k = toIndex(u, rounding);
    if (k < 0) return points[0];
    if (k >= n - 1) return points[n - 1];
    float f = u - float(k);
    return (1 - f) * points[k] + f * points[k + 1];
}

// Raised-cosine weight of the glide partner at tick t of a note starting at
// start, over e ticks: 1 at the start, 0 after e.
float glideWeight(float t, float start, float e) {
    if (!(e > 0)) return 0;
    float c = std::clamp(1 - (t - start) / e, 0.0f, 1.0f);
    return 1 - (std::cos(float(M_PI) * c) + 1) / 2;
}

// A line over points i1..i2 of n, blended into its neighbourhood.
void drawLine(float* points, int n, float start, float length, float t1, float v1, float t2, float v2) {
    if (!(length > 0)) return;
    if (t2 < t1) {
        std::swap(t1, t2);
        std::swap(v1, v2);
    }
    double u1 = double(t1 - start) * (n - 1) / length, u2 = double(t2 - start) * (n - 1) / length;
    if (!(std::fabs(u1) < 1e6 && std::fabs(u2) < 1e6)) return;
    int i1 = int(u1), i2 = int(u2);
    float step = i2 == i1 ? 0.0f : (v2 - v1) / float(i2 - i1);
    for (int i = std::max(i1, 0); i <= std::min(i2, n - 1); ++i) points[i] = v1 + step * float(i - i1);
    if (i1 < 0 || i2 > n - 1) return;
    int h = 2 * (i2 - i1);
    for (int j = 0; j < h; ++j) {
        float w = (std::cos(float(M_PI) * float(j) / float(h)) + 1) / 2;
        if (i1 - j >= 0) points[i1 - j] = w * v1 + (1 - w) * points[i1 - j];
        if (i2 + j < n) points[i2 + j] = w * v2 + (1 - w) * points[i2 + j];
    }
}

bool streamOk(const CUFile& f) { return !f.readFailed() && f.status() == CUFile::kStatusReady; }

}  // namespace

CSQEvent::CSQEvent() {
    std::memset(phonemes, kNoPhonemeId, sizeof phonemes);
    std::fill(std::begin(levels), std::end(levels), 1.0f);
    for (int l = 0; l < kNoteLanes; ++l) {
        std::fill(std::begin(lanes[l]), std::end(lanes[l]), kLaneDefaults[l]);
        laneLevels[l] = 1.0f;
    }
}

CSQEvent::~CSQEvent() {
    tag = 0;
    delete envelopes;
    delete controller;
}

float CSQEvent::end() const {
    if (isEnd()) return start;
    return (next && next->isEnd()) ? next->start : start;
}

float CSQEvent::durationToNext() const { return (isEnd() || !next) ? 0.0f : next->start - start; }

bool CSQEvent::isLegato() const { return type == 0 && !isEnd() && glidePartner != nullptr; }

bool CSQEvent::wordContinues() const {
    size_t n = std::strlen(lyric);
    return n > 0 && lyric[n - 1] == '-';
}

bool CSQEvent::startsWithHyphen() const { return lyric[0] == '-'; }

int CSQEvent::phonemeCount() const { return phonemeIdCount(phonemes, kNotePhonemes); }

void CSQEvent::copyContentFrom(const CSQEvent& o) {
    type = o.type;
    endFlag = o.endFlag;
    pitch = o.pitch;
    start = o.start;
    std::memcpy(values, o.values, sizeof values);
    std::memcpy(lyric, o.lyric, sizeof lyric);
    handEdited = o.handEdited;
    std::memcpy(phonemes, o.phonemes, sizeof phonemes);
    std::memcpy(phonemeBytes, o.phonemeBytes, sizeof phonemeBytes);
    timingValid = o.timingValid;
    std::memcpy(fractions, o.fractions, sizeof fractions);
    std::memcpy(levels, o.levels, sizeof levels);
    noteScale = o.noteScale;
    std::memcpy(pitchCurve, o.pitchCurve, sizeof pitchCurve);
    std::memcpy(lanes, o.lanes, sizeof lanes);
    std::memcpy(laneLevels, o.laneLevels, sizeof laneLevels);
    selected = o.selected;
}

CSQEvent* CSQEvent::clone() const {
    CSQEvent* e = new CSQEvent;
    e->copyContentFrom(*this);
    return e;
}

void CSQEvent::setLyric(const char* text) { std::snprintf(lyric, sizeof lyric, "%s", text ? text : ""); }

void CSQEvent::setPhonemeLevel(int index, float x) {
    if (index < 0 || index >= kNotePhonemes) return;
    x = std::isfinite(x) ? std::clamp(x, 0.0f, 1.0f) : 0.5f;
    levels[index] = std::pow(10.0f, 2 * x - 1);
}

// ---- curves ----

void CSQEvent::drawPitchLine(float t1, float pitch1, float t2, float pitch2) {
    drawLine(pitchCurve, kPitchPoints, start, length(), t1, pitch1 - float(pitch), t2, pitch2 - float(pitch));
}

void CSQEvent::drawLaneLine(int lane, float t1, float v1, float t2, float v2) {
    if (lane < 0 || lane >= kNoteLanes) return;
    drawLine(lanes[lane], kLanePoints, start, length(), t1, v1, t2, v2);
}

float CSQEvent::largestPitchPoint() const {
    float m = 0;
    for (float p : pitchCurve) m = std::max(m, std::fabs(p));
    return m;
}

void CSQEvent::scalePitchCurve(float depth) {
    float m = largestPitchPoint();
    if (m == 0 || isEnd() || !next) return;
    float factor = std::max(std::fabs(depth), 0.001f) / m;
    for (float& p : pitchCurve) p *= factor;
}

void CSQEvent::invertPitchCurve() {
    for (float& p : pitchCurve) p = -p;
}

float CSQEvent::pitchAtTick(float t, float glide, CurveRounding rounding) const {
    float L = length();
    float u = L > 0 ? (t - start) * float(kPitchPoints - 1) / L : 0;
    float value = interpolate(pitchCurve, kPitchPoints, u, rounding);
    if (!glidePartner) return value;
    float w = glideWeight(t, start, std::min(glide, L));
    float partnerEnd = float(glidePartner->pitch) + glidePartner->pitchCurve[kPitchPoints - 1] - float(pitch);
    return (1 - w) * value + w * partnerEnd;
}

float CSQEvent::pitchAtTickFrom(float t, float glide, float p0, float p1, CurveRounding rounding) const {
    float L = length();
    float u = L > 0 ? (t - start) * float(kPitchPoints - 1) / L : 0;
    float value = interpolate(pitchCurve, kPitchPoints, u, rounding);
    float w = glideWeight(t, start, std::min(glide, L));
    return (1 - w) * value + w * (p1 - p0) * 192;
}

float CSQEvent::laneAtTick(int lane, float t, CurveRounding rounding) const {
    lane = std::clamp(lane, 0, kNoteLanes - 1);
    float L = length();
    float u = L > 0 ? (t - start) * float(kLanePoints - 1) / L : 0;
    float value = interpolate(lanes[lane], kLanePoints, u, rounding);
    if (!glidePartner || type != 0) return value;
    float w = glideWeight(t, start, std::min(L, kLaneGlideTicks));
    return (1 - w) * value + w * glidePartner->lanes[lane][kLanePoints - 1];
}

// ---- stored form ----

void CSQEvent::write(CUFile& f) const {
    f.writeInt(type);
    f.writeInt(endFlag);
    f.writeInt(pitch);
    f.writeFloat(start);
    if (isEnd()) return;
    f.writeInt(timingValid ? 1 : 0);
    for (float v : values) f.writeFloat(v);
    f.writeText(lyric[0] ? lyric : nullptr);
    f.writeInt(handEdited);
    for (int i = 0; i < kNotePhonemes; ++i) {
        f.writeByte(phonemes[i]);
        f.writeByte(phonemeBytes[i]);
        f.writeFloat(fractions[i]);
        f.writeFloat(levels[i]);
    }
    f.writeFloat(noteScale);
    for (float p : pitchCurve) f.writeFloat(p);
    for (int l = 0; l < kNoteLanes; ++l) {
        f.writeFloat(laneLevels[l]);
        for (float v : lanes[l]) f.writeFloat(v);
    }
}

uint32_t CSQEvent::storedSize(const CSQEvent& e) {
    uint32_t head = 4 * 4;
    if (e.isEnd()) return head;
    return head + 4 + 4 * kNoteValues + CUFile::textSize(e.lyric[0] ? e.lyric : nullptr) + 4 +
           kNotePhonemes * 10 + 4 + 4 * kPitchPoints + kNoteLanes * 4 * (1 + kLanePoints);
}

bool CSQEvent::read(CUFile& f, int version) {
    type = f.readInt();
    endFlag = f.readInt();
    pitch = f.readInt();
    start = f.readFloat();
    if (!std::isfinite(start)) start = 0;
    if (isEnd() || !streamOk(f)) return streamOk(f);

    bool current = version >= 3;
    timingValid = (current || version == 2) ? f.readInt() != 0 : false;
    for (float& v : values) v = f.readFloat();
    char text[kLyricLen];
    f.readText(text, sizeof text);
    setLyric(text);
    handEdited = f.readInt();
    for (int i = 0; i < kNotePhonemes; ++i) {
        phonemes[i] = f.readByte();
        phonemeBytes[i] = f.readByte();
        fractions[i] = (current || version == 2) ? f.readFloat() : 0.0f;
        float level = current ? f.readFloat() : 1.0f;
        levels[i] = (level >= 0 && level <= 1) ? level : 1.0f;
    }
    if (current) {
        noteScale = f.readFloat();
        for (float& p : pitchCurve) p = f.readFloat();
        for (int l = 0; l < kNoteLanes; ++l) {
            laneLevels[l] = f.readFloat();
            for (float& v : lanes[l]) v = f.readFloat();
        }
        return streamOk(f);
    }

    // Older forms: a chain of envelopes, each behind an int 98, then the
    // controller.
    CSQAutoEnv** tail = &envelopes;
    while (streamOk(f) && f.readInt() == 98) {
        CSQAutoEnv* env = new CSQAutoEnv;
        env->read(f);
        *tail = env;
        tail = &env->next;
    }
    if (version == 2) {
        controller = new CSQController;
        controller->read(f);
    } else {
        controller = new CSQController(10, 0);
    }
    return streamOk(f);
}

void positionText(float ticks, int numerator, int denominator, char* out, int size) {
    if (numerator < 1) numerator = 4;
    if (denominator < 1) denominator = 4;
    long t = (ticks > 0 && ticks < 2e9f) ? long(ticks) : 0;
    long beatTicks = std::max(4L * kTicksPerQuarter / denominator, 1L);
    long barTicks = beatTicks * numerator;
    long bar = t / barTicks;
    long inBar = t % barTicks;
    long beat = inBar / beatTicks;
    long inBeat = inBar % beatTicks;
    long sixteenth = inBeat / (kTicksPerQuarter / 4);
    long rest = (inBeat % (kTicksPerQuarter / 4)) / 8 % 120;
    std::snprintf(out, size_t(size), "%ld.%02ld.%02ld.%03ld", bar + 1, beat + 1, sixteenth + 1, rest);
}
