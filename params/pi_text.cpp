// Display texts of voice, mixer and master values.
#include <cmath>
#include <cstdio>

#include "engine/engine.h"
#include "files/global_data.h"
#include "params/pi_base.h"
#include "params/value_lists.h"
#include "plugin/vst_program.h"

namespace {

constexpr float kTiny = 0.0000001f;

// Level of the mixer and master strips as the display shows it.
void levelText(float q, int r, char* out, int size) {
    if (r == 0) {
        std::snprintf(out, size_t(size), " off");
        return;
    }
    float l = std::sqrt(std::fmax(q, 0.0f) / 127) * 127;
    std::snprintf(out, size_t(size), " %+3.0f dB", double(l * 76 / 128 - 64));
}

}  // namespace

void CPIBase::timeText(float t, char* out, int size) {
    float a = std::fabs(t);
    const char* format = a >= 100 ? "%3.0f s" : a >= 10 ? "%4.1f s" : a >= 1 ? "%4.2f s" : a >= 0.1f ? "%4.3f s" : nullptr;
    if (format)
        std::snprintf(out, size_t(size), format, double(t));
    else
        std::snprintf(out, size_t(size), "%4.1f ms", double(t * 1000));
}

void CPIBase::numberText(int kind, float v, char* out, int size) {
    switch (kind) {
    case 0:
    case 1: {
        float a = std::fabs(v);
        const char* format = a >= 10000 ? "%5.0f" : a >= 1000 ? "%4.0f" : a >= 100 ? "%5.1f" : a >= 10 ? "%5.2f" : a >= 0.1f ? "%5.3f" : "%6.4f";
        int n = std::snprintf(out, size_t(size), format, double(v));
        if (kind == 1 && n >= 0 && n < size) std::snprintf(out + n, size_t(size - n), " %%");
        break;
    }
    case 2:
        if (v >= 20000)
            std::snprintf(out, size_t(size), "%5.2f kHz", 20.0);
        else if (v >= 1000)
            std::snprintf(out, size_t(size), "%5.2f kHz", double(v / 1000));
        else
            std::snprintf(out, size_t(size), v >= 100 ? "%5.1f Hz" : v >= 10 ? "%5.2f Hz" : "%5.3f Hz", double(v));
        break;
    case 3: std::snprintf(out, size_t(size), "%+5.1f dB", double(v)); break;
    default: timeText(v, out, size); break;
    }
}

const char* CPIBase::voiceText(int p, int e) {
    std::snprintf(text, sizeof text, "no value");
    if (!programs || e < 0 || e >= kVoiceEntries) return text;
    p = (p < 0 || p >= kParts) ? 0 : p;
    float q = programs->valuesOfPart(p)[e];
    q = std::isfinite(q) ? std::fmax(std::fmin(q, 1e6f), -1e6f) : 0;  // stored values may come from any chunk
    int r = int(q + 0.4999f);
    float n = q / 127 + kTiny;
    const float* target = engine ? engine->part[p].target : nullptr;
    const float* current = engine ? engine->part[p].current : nullptr;
    float tv = target ? target[e] : 0, cv = current ? current[e] : 0;
    const int rate = globalData().sampleRate;
    const int size = int(sizeof text);

    switch (e) {
    case 1: std::snprintf(text, sizeof text, "%0.1f dB/Oct", double((1 - q / 127) * 30)); break;
    case 2: case 3: case 4: case 5: case 8: case 10: case 15: case 83: case 86: case 87: case 88: case 89: case 90:
        std::snprintf(text, sizeof text, "%6.2f", double(q / 1.27f));
        break;
    case 6: std::snprintf(text, sizeof text, "%5.2f", double(std::pow(2.0f, 16 * n) * float(rate) / 262144 / 64)); break;
    case 7: {
        float x = tv / 0.00520833f;
        int whole = int(x);
        std::snprintf(text, sizeof text, "%02d:%03d", whole, int((x - float(whole)) * 1000));
        break;
    }
    case 9: case 13: std::snprintf(text, sizeof text, "%+2.0f", std::floor(double((n - 0.5f) * 127))); break;
    case 12:
        if (r == 0)
            std::snprintf(text, sizeof text, "-100 dB");
        else
            std::snprintf(text, sizeof text, "%+3d dB", (r * 80) / 127 - 60);
        break;
    case 14: std::snprintf(text, sizeof text, "%0.1f dB", double(n * 60)); break;
    case 16: std::snprintf(text, sizeof text, "%+2.0f %%", std::floor(double((n - 0.5f) * 200))); break;
    case 27: timeText(r > 0 ? std::pow(10.0f, q / 25) / 1320 : kTiny, text, size); break;
    case 28: std::snprintf(text, sizeof text, "+/-%d", r); break;
    case 30: case 33: case 84: std::snprintf(text, sizeof text, "%+3d", r - 48); break;
    case 31: {
        float d = (q - 50) * (q - 50) / 50;
        if (q < 50) d = -d;
        std::snprintf(text, sizeof text, std::fabs(d) >= 10 ? "%+5.1f ct" : "%+5.2f ct", double(d));
        break;
    }
    case 32:
        if (r == 126)
            std::snprintf(text, sizeof text, "%d", 256);
        else if (r == 127)
            std::snprintf(text, sizeof text, "auto");
        else
            std::snprintf(text, sizeof text, "%d", 2 * r + 2);
        break;
    case 40:
        if (programs->valuesOfPart(p)[58] >= 0.5f)
            std::snprintf(text, sizeof text, "%s", noteLength(q / 127 * 23).text);
        else
            std::snprintf(text, sizeof text, "%5.3f", double(std::pow(2.0f, 16 * cv) * float(rate) / 262144 * 0.03125f));
        break;
    case 41: std::snprintf(text, sizeof text, " %3.2f", double(n * 0.1f)); break;
    case 42: {
        float ms = tv * 4095000 / float(rate);
        std::snprintf(text, sizeof text, ms <= 9.9f ? "%3.1f ms" : "%3.0f ms", double(ms));
        break;
    }
    case 43: std::snprintf(text, sizeof text, "%5.3f", double(n)); break;
    case 44: case 45: case 49: case 50: std::snprintf(text, sizeof text, "%3.2f", double(tv)); break;
    case 47: case 48:
        if (programs->valuesOfPart(p)[52] == 0) {
            float g = q * 0.99f / 127;
            std::snprintf(text, sizeof text, "%4.0f ms", double(g * g * 32767000 / float(rate)));
        } else {
            std::snprintf(text, sizeof text, "%s", noteLength(q / 127 * 10).text);
        }
        break;
    case 51: case 54:
        if (cv < 1000)
            std::snprintf(text, sizeof text, "%3.0f Hz", double(cv));
        else
            std::snprintf(text, sizeof text, "%4.1f k", double(cv / 1000));
        break;
    case 55: std::snprintf(text, sizeof text, "%5.3f", double(tv)); break;
    case 56: std::snprintf(text, sizeof text, "%+3.0f dB", double((r * 20) / 127 - 20)); break;
    case 57: std::snprintf(text, sizeof text, "%+3.0f dB", double((r * 60) / 127 - 12)); break;
    case 62: std::snprintf(text, sizeof text, "%5.1f %%", double(cv * 100)); break;
    case 64:
        if (r == 0)
            std::snprintf(text, sizeof text, "-100 dB");
        else
            std::snprintf(text, sizeof text, "%-3.0f dB", double(float(r) * 40 / 127 - 40));
        break;
    case 65: case 67: case 75: std::snprintf(text, sizeof text, "%+0.1f dB", double(((q - 64) / 64 + kTiny) * 40)); break;
    case 66: std::snprintf(text, sizeof text, "%0.1f Hz", double(n * 450 + 50)); break;
    case 68: std::snprintf(text, sizeof text, "%0.1f kHz", double((n * 12000 + 4000) / 1000)); break;
    case 70: std::snprintf(text, sizeof text, "%+3d dB", int(q - 40)); break;
    case 71: std::snprintf(text, sizeof text, "Phoneme set"); break;
    case 76: std::snprintf(text, sizeof text, "%0.1f kHz", double((n * 7800 + 200) / 1000)); break;
    case 77: std::snprintf(text, sizeof text, "%0.1f kHz", double((n * 4900 + 100) / 1000)); break;
    case 80: std::snprintf(text, sizeof text, "%3.2f", double(q / 127)); break;
    case 81: case 82: std::snprintf(text, sizeof text, "%4.0f Hz", double(n * 1950 + 50)); break;
    default:
        if (e >= 100 && e <= 107) {
            std::snprintf(text, sizeof text, "%3.2f x", double(std::pow(2.0f, (q - 64) / 64)));
        } else if (e >= 108 && e <= 115) {
            std::snprintf(text, sizeof text, "%4.2f x", double(std::pow(2.0f, 3 * (q - 64) / 64)));
        } else if (const char* item = valueListText(voiceDescriptors()[e].valueList, r)) {
            std::snprintf(text, sizeof text, "%s", item);
        } else {
            std::snprintf(text, sizeof text, "%d", r);
        }
        break;
    }
    return text;
}

const char* CPIBase::mixerText(int p, int e) {
    if (!programs || e < 0 || e >= kMixerEntries) return text;
    p = (p < 0 || p >= kParts) ? 0 : p;
    float q = programs->mixer[p][e];
    q = std::isfinite(q) ? std::fmax(std::fmin(q, 1e6f), -1e6f) : 0;
    int r = int(q + 0.1f);
    float n = q / 127 + kTiny;
    switch (e) {
    case 0: std::snprintf(text, sizeof text, " %-3.0f dB", double(q * 40 / 128 - 40)); break;
    case 1: std::snprintf(text, sizeof text, "   %5.3f", double(n)); break;
    case 2: levelText(q, r, text, int(sizeof text)); break;
    case 3: std::snprintf(text, sizeof text, "%+2.0f", std::floor(double((n - 0.5f) * 127))); break;
    case 5: case 6:
        if (r > 0 && valueListText(kListKeySplit, r))
            std::snprintf(text, sizeof text, "%s", valueListText(kListKeySplit, r));
        else
            std::snprintf(text, sizeof text, "-");
        break;
    case 9: case 11: break;  // shown by their buttons
    default:
        if (const char* item = valueListText(mixerDescriptors()[e].valueList, r))
            std::snprintf(text, sizeof text, "%s", item);
        else
            std::snprintf(text, sizeof text, "%d", r);
        break;
    }
    return text;
}

const char* CPIBase::masterText(int e) {
    std::snprintf(text, sizeof text, "no value");
    if (!programs || e < 0 || e >= kMasterEntries) return text;
    float q = programs->master[e];
    q = std::isfinite(q) ? std::fmax(std::fmin(q, 1e6f), -1e6f) : 0;
    int r = int(q + 0.1f);
    float n = q / 127 + kTiny;
    const int rate = globalData().sampleRate;
    switch (e) {
    case 2: levelText(q, r, text, int(sizeof text)); break;
    case 3: std::snprintf(text, sizeof text, "%+3d", r - 64); break;
    case 4: std::snprintf(text, sizeof text, "   %5.3f", double(n)); break;
    case 6: std::snprintf(text, sizeof text, " %4.3f s", double((q / 127 * 4410 + 1) / float(rate))); break;
    case 7:
        if (r == 127) {
            std::snprintf(text, sizeof text, "endless");
        } else {
            float t = std::pow(2.0f, q / 10) * 0.05f;
            std::snprintf(text, sizeof text, t < 100 ? " %4.2f s" : " %5.1f s", double(t));
        }
        break;
    case 8: std::snprintf(text, sizeof text, " %4.1f m", double(n * 99 + 1)); break;
    case 9: case 10: case 11: std::snprintf(text, sizeof text, " %3.2f", double(n)); break;
    default:
        if (const char* item = valueListText(masterDescriptors()[e].valueList, r))
            std::snprintf(text, sizeof text, "%s", item);
        else
            std::snprintf(text, sizeof text, "%d", r);
        break;
    }
    return text;
}
