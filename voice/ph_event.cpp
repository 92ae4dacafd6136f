#include "voice/ph_event.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/engine.h"
#include "score/phoneme_timing.h"
#include "voice/phoneme.h"
#include "voice/phoneme_inventory.h"

namespace {

// Phoneme ids the builders single out.
enum : int {
    kB = 12, kCH = 14, kD = 16, kDH = 18, kG = 28, kHH = 30, kJH = 36, kK = 38, kL = 40, kM = 42,
    kN = 44, kNG = 46, kP = 52, kR = 54, kT = 60, kV = 68, kW = 70, kY = 72, kZ = 74,
};

constexpr int kNoId = 198;  // no phoneme in a note's id list
constexpr int kTrillSlot = 54;  // first half of R carries the trill
constexpr int kNextEventTicks = 768;
// A stop after a voiceless sound: its burst decays within this time and the
// voice follows this soon after the release (seconds).
constexpr float kUnaspiratedDecay = 0.015f;
constexpr float kUnaspiratedVoiceOnset = 0.015f;
// After s the closure has begun already (the s stops 40 ms early before a
// stop): the stop's own part of it (seconds). Half the stop made 100 ms.
constexpr float kClusterClosure = 0.03f;
constexpr float kVoiceBarHz = 200;
// The voice under the frication of z, and of v and dh. The engine's level
// goes about with the square of this amplitude: at 0.3 and 0.2 the voice bar
// sang 27-34 dB under the vowel (z as s); now 6-17 dB.
constexpr float kBarZ = 0.6f, kBarWeak = 0.5f;
// A nasal reaches its murmur within this share of its length. A 90 ms ramp
// on an 80 ms ng ("sing") never got there: the word ended in the vowel.
constexpr float kNasalReach = 0.25f;

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The 7x7x7 table over (previous, current, next) class.
struct DispatchTable {
    unsigned char b[7][7][7];
};

constexpr DispatchTable makeTable() {
    DispatchTable t{};
    constexpr int none = kClassNone, vow = kClassVowel, liq = kClassLiquid, fri = kClassFricative,
                  aff = kClassAffricative, plo = kClassPlosive, nas = kClassNasal;
    for (int p = 0; p < 7; ++p)
        for (int n = 0; n < 7; ++n) {
            // vowel
            int v = 0;
            if (p == none) v = n == none ? CPHEvent::kVowelIsolated : CPHEvent::kVowelAfterSilence;
            else if (p == vow) v = n == none ? CPHEvent::kVowelPhraseEnd : CPHEvent::kVowelAfterVowel;
            else if (p == plo) v = n == none ? CPHEvent::kVowelAfterPlosiveEnd : CPHEvent::kVowelAfterPlosive;
            else if (n == none) v = CPHEvent::kVowelPhraseEnd;
            else if (n == vow || n == liq || n == nas) v = CPHEvent::kVowelBeforeVoiced;
            else v = CPHEvent::kVowelBeforeObstruent;
            t.b[p][vow][n] = (unsigned char)v;

            // plosive
            if (n == none) v = CPHEvent::kPlosivePhraseEnd;
            else v = p == none ? CPHEvent::kPlosiveAfterSilence : CPHEvent::kPlosiveAfterSound;
            t.b[p][plo][n] = (unsigned char)v;

            // nasal
            if (n == none) v = CPHEvent::kNasalPhraseEnd;
            else if (n == plo) v = CPHEvent::kNasalBeforePlosive;
            else v = p == none ? CPHEvent::kNasalAfterSilence : CPHEvent::kNasalAfterSound;
            t.b[p][nas][n] = (unsigned char)v;

            // liquid
            if (n == none) v = CPHEvent::kLiquidPhraseEnd;
            else if (n == fri) v = CPHEvent::kLiquidBeforeFricative;
            else if (n == plo) v = CPHEvent::kLiquidBeforePlosive;
            else if (p == vow || p == liq || p == nas) v = CPHEvent::kLiquidAfterVoiced;
            else v = CPHEvent::kLiquidAfterUnvoiced;
            t.b[p][liq][n] = (unsigned char)v;

            // fricative
            if (n == none) v = CPHEvent::kFricativePhraseEnd;
            else if (n == plo) v = CPHEvent::kFricativeBeforePlosive;
            else if (n == vow) v = p == none ? CPHEvent::kFricativeSilenceVowel : CPHEvent::kFricativeBeforeVowel;
            else v = p == none ? CPHEvent::kFricativeAfterSilence : CPHEvent::kFricativeBetween;
            t.b[p][fri][n] = (unsigned char)v;

            (void)aff;  // no affricative-class phoneme is articulated
        }
    return t;
}

constexpr DispatchTable kDispatch = makeTable();

}  // namespace

CPHEvent::CPHEvent() = default;

int CPHEvent::dispatch(int pc, int cc, int nc) {
    auto ok = [](int c) { return c >= 0 && c <= 6 ? c : 0; };
    return kDispatch.b[ok(pc)][ok(cc)][ok(nc)];
}

// ---- queue ----

void CPHEvent::commit() {
    int next = (writeIndex + 1) % kEntries;
    if (next != readIndex) writeIndex = next;
}

void CPHEvent::consume() {
    if (!empty()) readIndex = (readIndex + 1) % kEntries;
}

void CPHEvent::makeDue() {
    for (int i = readIndex; i != writeIndex; i = (i + 1) % kEntries) entries[i].time = 0;
}

void CPHEvent::applyToEngine(const CPHEntry& e, CEngine& engine, int part) {
    switch (e.kind) {
        case kPHFormant: {
            CXFormantTarget t;
            for (int k = 0; k < CPHEntry::kFormants; ++k) {
                t.frequency[k] = e.frequency[k];
                t.level[k] = e.level[k];
                t.bandwidth[k] = e.bandwidth[k];
                t.time[k] = e.ramp[k];
            }
            t.hasTrill = e.trillAmount != 0;
            t.trillAmount = e.trillAmount;
            t.trillRate = e.trillRate;
            engine.setFormantTarget(part, t);
            break;
        }
        case kPHSpectrum:
            engine.setSpectralTarget(part, e.spectrum, e.spectralFlag);
            break;
        case kPHSource:
            // A voicing entry keeps its ramp time third (level, 0, ramp, 0);
            // the engine takes it second. Passed as stored, every voice
            // onset and release ramped within one block: each phrase ended in
            // a click instead of its 50-80 ms fade.
            if (e.mode == kSourceVoicing)
                engine.setSourceEnvelope(part, e.mode, e.source[0], e.source[2], 0, 0);
            else
                engine.setSourceEnvelope(part, e.mode, e.source[0], e.source[1], e.source[2], e.source[3]);
            break;
        default:
            break;
    }
}

void CPHEvent::setArticulationSpeed(float a) {
    if (!std::isfinite(a)) a = 1;
    S = std::pow(10.0f, 0.3f * clampf(a, 0, 1));
}

// ---- event helpers ----

void CPHEvent::voice(float t, float level, float ramp) {
    CPHEntry& e = writeEntry();
    e.kind = kPHSource;
    e.time = t;
    e.mode = 0;
    e.source[0] = level;
    e.source[1] = 0;
    e.source[2] = ramp;
    e.source[3] = 0;
    commit();
}

void CPHEvent::noise(float t, int segment, float duration, int mode, float maxDecay) {
    NoiseSegment s = model->noiseEnvelope(x.C, segment - 1, duration);
    if (maxDecay > 0) s.decay = std::min(s.decay, maxDecay);
    CPHEntry& e = writeEntry();
    e.kind = kPHSource;
    e.time = t;
    e.mode = mode;
    e.source[0] = s.level * x.L;
    e.source[1] = s.attack;
    e.source[2] = s.decay;
    e.source[3] = s.sustain;
    commit();
}

void CPHEvent::spectrum(float t) {
    CPHEntry& e = writeEntry();
    e.kind = kPHSpectrum;
    e.time = t;
    for (int b = 0; b < CPHEntry::kBands; ++b) e.spectrum[b] = model->spectralValue(x.C, b);
    e.spectralFlag = model->spectralFlagOf(x.C);
    e.hasSpectrum = 1;
    commit();
}

void CPHEvent::filter(float t, int slot, float ramp) {
    CPHEntry& e = writeEntry();
    e.kind = kPHFormant;
    e.time = t;
    for (int k = 0; k < CPHEntry::kFormants; ++k) {
        model->formant(slot, k, e.frequency[k], e.level[k], e.bandwidth[k]);
        e.ramp[k] = ramp;
    }
    e.maxRamp = ramp;
    e.trillRate = e.trillAmount = 0;
    if (slot == kTrillSlot) model->trill(slot, e.trillRate, e.trillAmount);
    e.phonemeClass = classOf(slot & ~1);
    commit();
}

void CPHEvent::mark(float t) {
    CPHEntry& e = writeEntry();
    e.kind = kPHMainVowel;
    e.time = t;
    commit();
}

void CPHEvent::block(float t, const CFFBlock& b) {
    CPHEntry& e = writeEntry();
    e.kind = kPHFormant;
    e.time = t;
    e.maxRamp = 0;
    for (int k = 0; k < CPHEntry::kFormants; ++k) {
        e.frequency[k] = b.frequency[k];
        e.level[k] = b.level[k];
        e.bandwidth[k] = b.bandwidth[k];
        e.ramp[k] = b.ramp[k];
        e.maxRamp = std::max(e.maxRamp, b.ramp[k]);
    }
    e.trillRate = e.trillAmount = 0;
    e.phonemeClass = kClassNone;
    commit();
}

// A voiced fricative's own resonance: the voice bar, a low F1 at full level,
// formants 2..8 silent. At 80 Hz and half level the bar fell between the
// harmonics of a 110 or 220 Hz voice, 27-34 dB under the vowel: z sang as s.
void CPHEvent::fillFrication(CFFBlock& b, int slot, float ramp) const {
    b.fill(*model, slot, ramp);
    b.setFrequency(0, kVoiceBarHz);
    for (int k = 1; k <= 7; ++k) b.scaleLevel(k, 0);
}

float CPHEvent::glide() const { return clampf(0.7f * x.D, 0.05f, 0.8f); }

int CPHEvent::classOf(int id) const { return phonemeClass(model->language, id / 2); }

bool CPHEvent::isVoicedId(int id) const {
    int c = classOf(id);
    return c == kClassVowel || c == kClassLiquid || c == kClassNasal;
}

// ---- shared shapes ----

// The vowel's formants bend toward the next plosive's place of closure.
void CPHEvent::plosiveApproach(float u) {
    if (classOf(x.N) != kClassPlosive) return;
    CFFBlock b;
    b.fill(*model, x.C + 1, 0.02f * x.S);
    float own2 = b.getFrequency(1);
    float f2 = own2;
    if (x.N == kB || x.N == kP) {
        f2 = 0.813f * own2 + 231;
        b.setFrequency(0, 0.8f * b.getFrequency(0));
    } else if (x.N == kD) {
        f2 = 0.38f * own2 + 1223;
        b.setFrequency(0, 0.8f * b.getFrequency(0));
    } else if (x.N == kG) {
        f2 = locusGroup(model->language, x.C / 2) == 2 ? 0.261f * own2 + 1814 : 1.223f * own2 + 170;
        b.setFrequency(0, 0.8f * b.getFrequency(0));
        b.setFrequency(2, 1.06f * f2);
    }
    b.setFrequency(1, (f2 + own2) / 2);
    block(std::max(u, x.T1 - 0.02f), b);
}

// Releases after a plosive: the next phoneme's formants start from the
// closure's locus and move to their own over r.
void CPHEvent::labialRelease(float t) {
    CFFBlock b;
    b.fill(*model, x.N, 0);
    b.setFrequency(0, 50);
    b.scaleLevel(0, 0.5f);
    b.setFrequency(1, 0.813f * b.getFrequency(1) + 231);
    b.scaleLevel(1, 0);
    for (int k = 2; k <= 7; ++k) b.scaleLevel(k, 0);
    block(t, b);
    filter(t, x.N, std::min(x.D, 0.02f * x.S));
}

void CPHEvent::alveolarRelease(float t) {
    CFFBlock b;
    b.fill(*model, x.N, 0);
    b.setFrequency(1, 0.38f * b.getFrequency(1) + 1223);
    b.scaleLevel(2, 0.5f);
    for (int k = 3; k <= 7; ++k) b.scaleLevel(k, 0);
    block(t, b);
    filter(t, x.N, std::min(x.D, 0.03f * x.S));
}

void CPHEvent::velarRelease(float t) {
    CFFBlock b;
    b.fill(*model, x.N, 0);
    float f2 = b.getFrequency(1);
    f2 = locusGroup(model->language, x.N / 2) == 2 ? 0.261f * f2 + 1814 : 1.223f * f2 + 170;
    b.setFrequency(1, f2);
    b.setFrequency(2, 1.06f * f2);
    b.scaleLevel(2, 0.5f);
    for (int k = 3; k <= 7; ++k) b.scaleLevel(k, 0);
    block(t, b);
    filter(t, x.N, std::min(x.D, 0.03f * x.S));
}

// The vowel's second half; not when the next note carries the same vowel on.
void CPHEvent::vowelGlide(float u) { filter(u, x.C + 1, glide()); }

void CPHEvent::vowelRelease() { voice(std::max(x.T0 + 0.01f, x.T1 - 0.08f), 0, 0.08f); }

// ---- builders ----

void CPHEvent::build(const CPhoneme& m, const CPHContext& c) {
    model = &m;
    x = c;
    int b = dispatch(classOf(x.P), classOf(x.C), classOf(x.N));
    if (b >= kVowelIsolated && b <= kVowelBeforeObstruent) vowel(b);
    else if (b >= kPlosivePhraseEnd && b <= kPlosiveAfterSound) plosive(b);
    else if (b >= kNasalPhraseEnd && b <= kNasalAfterSound) nasal(b);
    else if (b >= kLiquidPhraseEnd && b <= kLiquidAfterUnvoiced) liquid(b);
    else if (b >= kFricativePhraseEnd && b <= kFricativeBetween) fricative(b);
}

void CPHEvent::vowel(int builder) {
    const float T0 = x.T0, T1 = x.T1, D = x.D, S = x.S;
    const float g = glide();
    // A glide is made only when the vowel has a duration and the next note
    // does not carry the same vowel on.
    const bool glides = D > 0 && !(x.last && x.continues);
    const bool pLiquid = classOf(x.P) == kClassLiquid;
    const bool afterStop = x.P == kB || x.P == kD || x.P == kG || x.P == kK || x.P == kT;

    switch (builder) {
        case kVowelBeforeObstruent:
        case kVowelBeforeVoiced:
        case kVowelAfterVowel:
        case kVowelAfterSilence: {
            float onset = builder == kVowelAfterSilence ? std::min(0.3f * D, 0.03f * S) : std::min(0.3f * D, 0.06f * S);
            voice(T0, x.V, onset);
            if (builder == kVowelAfterVowel) filter(T0, x.C, std::min(D / 2, 0.1f));
            else if (builder == kVowelAfterSilence || !pLiquid) filter(T0, x.C, 0);
            if (x.mainVowel) mark(T0);
            if (glides) {
                float u = std::max(T0, T1 - g - 0.02f);
                vowelGlide(u);
                if (builder != kVowelBeforeVoiced) plosiveApproach(u);
            }
            break;
        }
        case kVowelPhraseEnd: {
            voice(T0, x.V, std::min(0.3f * D, 0.06f * S));
            float lag = 0.03f;
            if (pLiquid) {
                lag = 0.05f;
            } else if (classOf(x.P) == kClassVowel) {
                lag = 0.1f;
                filter(T0, x.C, 0.1f);
            } else {
                filter(T0, x.C, 0.03f);
            }
            if (x.mainVowel) mark(T0);
            if (glides) vowelGlide(std::max(T0 + lag, T1 - g - 0.02f));
            vowelRelease();
            break;
        }
        case kVowelIsolated: {
            voice(T0, x.V, std::min(0.3f * D, 0.03f * S));
            filter(T0, x.C, 0);
            float u = std::max(T0, T1 - g - 0.02f);
            if (glides) vowelGlide(u);
            float m = std::max(u, T0 + D / 2);
            mark(m);
            voice(std::max(m, T1 - 0.08f), 0, 0.08f);
            break;
        }
        case kVowelAfterPlosive:
        case kVowelAfterPlosiveEnd: {
            bool end = builder == kVowelAfterPlosiveEnd;
            voice(T0, x.V, end ? std::min(D, 0.02f * S) : std::min(D, 0.02f));
            if (!afterStop) filter(T0, x.C, 0);
            if (x.mainVowel) mark(T0);
            float u = std::max(T0, T1 - g);
            if (glides) {
                vowelGlide(u);
                if (!end) plosiveApproach(u);
            }
            if (end) {
                vowelRelease();
            } else if (classOf(x.N) == kClassFricative) {
                voice(std::max(T0, T1 - 0.02f), 0.3f, 0.05f);
            }
            break;
        }
        default:
            break;
    }
}

void CPHEvent::plosive(int builder) {
    const float T0 = x.T0, T1 = x.T1, D = x.D, S = x.S, V = x.V;
    const int C = x.C;
    const bool nVoiced = isVoicedId(x.N);
    const float d = std::max(0.02f, D - 0.02f);

    if (builder == kPlosiveAfterSilence) {
        // Out of silence the burst opens the phoneme, so its closure is not
        // heard: the voice comes one voice onset time (segment 3) after the
        // burst, not at the end of closure plus onset time (twice as long).
        const float vot = std::min(T1, T0 + model->noiseEnvelope(C, 2, 0).time);
        if (C == kB) {
            voice(T0, V, 0.03f);
            spectrum(T0);
            noise(T0, 1, d);
            labialRelease(T0);
        } else if (C == kD) {
            filter(T0, C + 1, 0);
            voice(T0, 0.5f, 0.03f * S);
            spectrum(T0);
            noise(T0, 1, d);
            alveolarRelease(T0 + 0.02f);
            if (nVoiced) voice(T0 + 0.02f, V, 0.01f);
        } else if (C == kG || C == kK) {
            voice(T0, 0, 0);
            spectrum(T0);
            noise(T0, 1, D);
            velarRelease(T0);
            noise(T0 + 0.007f, 1, D);
            if (nVoiced) {
                if (C == kG) voice(T0 + 0.015f, V, 0.02f * S);
                else voice(vot, V, 0.02f * S);
            }
        } else if (C == kT) {
            voice(T0, 0, 0);
            spectrum(T0);
            noise(T0, 1, D);
            alveolarRelease(T0);
            if (nVoiced) voice(std::min(T1 - 0.01f, vot), V, 0.01f * S);
        } else {
            voice(T0, 0, 0);
            spectrum(T0);
            noise(T0, 1, D);
            filter(T0, x.N, 0);
            if (nVoiced) voice(vot, V, 0.02f * S);
        }
    } else if (builder == kPlosiveAfterSound) {
        // The closure fills the first half and the release comes in the
        // middle. After a voiceless sound (s in "stop", "sky") the stop is
        // unaspirated: a short closure, a short burst, the voice right after
        // it; releasing at the start instead left the aspiration's length of
        // silence before the vowel.
        const bool cluster = !isVoicedId(x.P);
        const float m = T0 + (cluster ? std::min((T1 - T0) / 2, kClusterClosure) : (T1 - T0) / 2);
        const float aspiration = cluster ? kUnaspiratedDecay : 0;
        const float onset = cluster ? std::min(T1, m + kUnaspiratedVoiceOnset) : T1;
        const float q = std::max(T0, T1 - 0.05f);
        if (C == kB) {
            voice(T0, 0.2f, 0.02f * S);
            CFFBlock b;  // the lips close: only a low F1 is left
            b.fill(*model, x.P, 0.05f);
            b.setFrequency(0, 50);
            for (int k = 1; k <= 7; ++k) b.scaleLevel(k, 0);
            block(T0, b);
            spectrum(T0);
            labialRelease(T0 + D / 2);
            noise(m, 2, D);
            if (nVoiced) voice(m, V, 0.01f * S);
        } else if (C == kD) {
            voice(T0, 0, 0.01f * S);
            if (nVoiced) {
                filter(q, C + 1, 0);
                voice(q, 0.3f, 0);
            } else {
                voice(q, 0, 0);
            }
            spectrum(q);
            alveolarRelease(q);
            noise(q, 2, T1 - q);
            if (nVoiced) voice(T1, V, 0.01f * S);
        } else if (C == kG || C == kK) {
            voice(T0, 0, 0);
            spectrum(T0);
            noise(m, 2, D, 1, aspiration);
            velarRelease(T0);
            noise(m + 0.007f, 2, D, 1, aspiration);
            if (nVoiced) voice(onset, V, 0.008f * S);
        } else {
            voice(T0, 0, 0.02f * S);
            spectrum(T0);
            filter(m, x.N, 0);
            noise(m, 2, D, 1, aspiration);
            if (nVoiced) voice(onset, V, 0.008f * S);
        }
    } else if (builder == kPlosivePhraseEnd) {
        if (C == kB) {
            voice(T0, 0, 0.01f * S);
            spectrum(T0);
            noise(T0 + D / 2, 2, D);
        } else if (C == kD) {
            voice(T0, 0, 0);
            spectrum(T0);
            filter(T0, C + 1, 0);
            noise(T0 + D / 2, 3, D / 2);
        } else if (C == kG || C == kK) {
            voice(T0, 0, 0.02f * S);
            spectrum(T0 + 0.01f);
            noise(T0 + 0.01f, 3, D);
        } else {
            voice(T0, 0, 0.02f * S);
            float w = std::min(D / 2, 0.04f);
            spectrum(T0 + w);
            noise(T0 + w, 3, D);
        }
    }
}

void CPHEvent::nasal(int builder) {
    const float T0 = x.T0, T1 = x.T1, S = x.S;
    const bool nVowel = classOf(x.N) == kClassVowel;
    switch (builder) {
        case kNasalAfterSilence:
            voice(T0, x.VN, 0.04f * S);
            filter(T0, x.C, 0);
            if (nVowel) filter(std::max(T0, T1 - 0.02f), x.N, 0.02f * S);
            break;
        case kNasalAfterSound: {
            voice(T0, x.VN, 0.01f * S);
            float k = x.C == kNG ? 0.09f : (x.C == kN ? 0.05f : 0.03f);
            filter(T0, x.C, std::min(k * S, kNasalReach * x.D));
            if (nVowel) filter(T1 - 0.03f, x.N, 0.03f * S);
            break;
        }
        case kNasalPhraseEnd:
        case kNasalBeforePlosive:
            voice(T0, x.VN, 0.04f * S);
            filter(T0, x.C, std::min((x.C == kNG ? 0.09f : 0.06f) * S, kNasalReach * x.D));
            if (builder == kNasalPhraseEnd) voice(T1 - 0.05f, 0, 0.05f * S);
            else voice(T1 - 0.02f, 0, 0.02f * S);
            break;
        default:
            break;
    }
}

void CPHEvent::liquid(int builder) {
    const float T0 = x.T0, T1 = x.T1, D = x.D, S = x.S;
    float t1, t2, t3;
    if (x.C == kL) {
        t1 = 0.03f * S;
        t2 = std::min(0.7f * D, 0.08f * S);
        t3 = std::min(0.3f * D, 0.03f * S);
    } else if (x.C == kR || x.C == kV || x.C == kW) {
        t1 = std::min(D, 0.2f * S);
        t2 = std::min(0.15f * S, D / 2);
        t3 = t2;
    } else if (x.C == kY) {
        t1 = std::min(D, 0.1f * S);
        t2 = std::min(0.02f * S, D);
        t3 = std::min(0.2f * S, 0.7f * D);
    } else {
        t1 = t2 = t3 = 0.05f * S;
    }

    voice(T0, x.V, 0.03f * S);
    switch (builder) {
        case kLiquidAfterUnvoiced:
            filter(T0, x.C, 0);
            if (t1 < D) filter(T1 - t1, x.N, t1);
            else filter(T0 + 0.01f, x.N, D);
            break;
        case kLiquidAfterVoiced: {
            filter(T0, x.C, t2);
            CFFBlock b;
            b.fill(*model, x.N, t3);
            b.setRamp(8, 0.02f * S);
            block(T1, b);
            break;
        }
        case kLiquidBeforePlosive:
        case kLiquidBeforeFricative:
        case kLiquidPhraseEnd:
            filter(T0, x.C, t2);
            if (builder == kLiquidPhraseEnd) voice(T1 - 0.05f, 0, 0.05f * S);
            break;
        default:
            break;
    }
}

void CPHEvent::fricative(int builder) {
    const float T0 = x.T0, T1 = x.T1, D = x.D, S = x.S;
    const int C = x.C;
    const bool affricate = C == kCH || C == kJH;
    const bool pVowel = classOf(x.P) == kClassVowel;
    const bool nVoiced = isVoicedId(x.N);
    float w = 0;
    CFFBlock b;

    switch (builder) {
        case kFricativeAfterSilence:
            if (C == kZ) {
                filter(T0, 75, 0);
                voice(T0, kBarZ, 0.02f * S);
            } else if (C == kDH) {
                filter(T0, 19, 0);
                voice(T0, kBarWeak, 0.01f * S);
                w = D / 2;
            } else if (C == kV) {
                filter(T0, 69, 0);
                voice(T0, kBarWeak, 0.03f * S);
            } else {
                voice(T0, 0, 0.02f * S);
            }
            if (affricate) w = std::min(D / 2, 0.03f);
            spectrum(T0 + w);
            noise(T0, 1, D);
            filter(T1, x.N, 0);
            voice(T1 - 0.01f, 0, 0.01f * S);
            break;

        case kFricativeBetween: {
            if (C == kZ || C == kDH || C == kV) {
                int own = C == kZ ? 75 : (C == kDH ? 19 : 69);
                float ownRamp = C == kDH ? 0.01f : 0;
                if (pVowel) fillFrication(b, x.P + 1, D / 2);
                else fillFrication(b, own, ownRamp);
                block(T0, b);
                if (C == kZ) voice(T0, kBarZ, 0.02f * S);
                else if (C == kDH) voice(T0, kBarWeak, 0.02f * S);
                else voice(T0, kBarWeak, 0.03f * S);
                if (C == kDH) w = D / 2;
            } else if (C == kHH) {
                if (pVowel) {
                    filter(T0, x.N, D);
                    voice(T0, 0.7f, 0.05f * S);
                } else {
                    filter(T0, x.N, 0);
                    voice(T0, 0, 0.02f * S);
                }
            } else {
                voice(T0, 0, std::min(D / 2, 0.08f * S));
            }
            // After a vowel the frication starts as the voice fades (the
            // noise's attack overlaps it); only an affricate keeps a closure.
            if (pVowel && affricate) w = std::min(D / 2, 0.03f * S);
            spectrum(T0 + w);
            float h = T1 - (T0 + w);
            noise(T0, 2, h > 0.04f ? h - 0.02f : h / 2);
            if (nVoiced) {
                filter(T1, x.N, 0);
                voice(T1 - 0.01f, 0, 0.01f * S);
            }
            break;
        }

        case kFricativeSilenceVowel:
            if (C == kZ || C == kDH || C == kV) {
                fillFrication(b, x.N, 0);
                block(T0, b);
                if (C == kZ) voice(T0, kBarZ, 0.02f * S);
                else if (C == kDH) voice(T0, kBarWeak, 0.01f * S);
                else voice(T0, kBarWeak, 0.03f * S);
            } else if (C == kJH) {
                voice(T0, 0, 0.02f * S);
                filter(T0 + D / 2, C + 1, 0);
            } else if (C == kHH) {
                filter(T0, x.N, 0);
            } else {
                voice(T0, 0, 0.02f * S);
            }
            if (affricate) w = std::min(D / 2, 0.04f);
            spectrum(T0 + w);
            noise(T0, 1, D + model->noiseEnvelope(C, 0, 0).decay);
            if (C == kHH) voice(std::max(T0, T1 - 0.03f), x.V, 0.03f * S);
            else filter(std::max(T0 + w, T1 - 0.03f), x.N, 0.03f * S);
            break;

        case kFricativeBeforeVowel: {
            const float v = std::min(0.3f * D, 0.06f * S);
            if (C == kZ) {
                fillFrication(b, x.N, pVowel ? D / 2 : 0);
                block(T0, b);
                voice(T0, pVowel ? kBarZ : kBarWeak, 0.02f * S);
            } else if (C == kDH) {
                fillFrication(b, x.N, pVowel ? D / 2 : 0.04f);
                block(T0, b);
                voice(T0, kBarWeak, pVowel ? 0 : 0.02f * S);
            } else if (C == kV) {
                fillFrication(b, x.N, pVowel ? D / 2 : 0);
                block(T0, b);
                if (pVowel) voice(T0, kBarWeak, 0.08f * S);
                else voice(T0, 0, 0.02f * S);
            } else if (C == kHH) {
                if (pVowel) {
                    filter(T0, x.N, D);
                    voice(T0, 0.4f * x.V, 0.05f * S);
                } else {
                    voice(T0, 0, 0.02f * S);
                    filter(T0 + 0.02f, x.N, 0);
                    w = 0.03f;
                }
            } else if (C == kJH) {
                voice(T0, 0, 0.01f * S);
                filter(T0 + D / 2, C + 1, 0);
            } else {
                filter(T0, x.N, D);
                voice(T0, 0, 0.06f * S);
                w = 0.04f * S;
            }
            if (pVowel && affricate) w = std::min(D / 2, 0.04f);
            spectrum(T0 + w);
            noise(T0 + w, 2, T1 - (T0 + w) + model->noiseEnvelope(C, 1, 0).decay / 2);
            if (C == kJH || C == kZ) filter(T1 - v, x.N, v);
            break;
        }

        case kFricativePhraseEnd:
            if (C == kV) {
                filter(T0, 69, 0.02f * S);
                voice(T0, 0.05f, 0.03f * S);
            } else {
                voice(T0, 0, affricate ? std::min(D / 2, 0.015f * S) : std::min(D / 2, 0.08f * S));
            }
            // As between vowels: no silence between the vowel and the frication.
            if (pVowel && affricate) w = std::min(D / 2, 0.04f);
            spectrum(T0 + w);
            noise(T0 + w, 3, T1 - (T0 + w), (C == kJH || C == kDH) ? 2 : 1);
            if (C == kZ || C == kV) voice(T1 - 0.01f, 0, 0.01f * S);
            break;

        case kFricativeBeforePlosive: {
            if (C == kDH || C == kZ) {
                filter(T0, C + 1, 0);
                voice(T0, kBarZ, 0.02f);
            } else if (C == kHH) {
                filter(T0, x.N, D);
                voice(T0, 0.5f, 0.05f * S);
            } else {
                voice(T0, 0, 0.02f * S);
            }
            if (affricate) w = std::min(D / 2, 0.03f);
            spectrum(T0 + w);
            float g = T1 - (T0 + w);
            noise(T0, 2, g > 0.08f ? g - 0.04f : g / 2);
            break;
        }
        default:
            break;
    }
}

// ---- rendering a note ----

void CPHEvent::renderNote(const CPhoneme& m, const CSQEvent& note, const CSQEvent* previous, float bpm, bool legato) {
    if (!note.isValid() || (previous && !previous->isValid())) return;
    if (note.isEnd() || note.type != 0) return;
    const CSQEvent* X = note.next;
    if (!X || !X->isEnd() || !X->isValid()) return;
    model = &m;

    int P0 = kNoId;
    if (legato && previous) {
        int n = std::min(previous->phonemeCount(), kNotePhonemes);
        if (n > 0) P0 = previous->phonemes[n - 1];
    }

    int N0 = kNoId;
    bool continues = false;
    int count = std::min(note.phonemeCount(), kNotePhonemes);
    const CSQEvent* Y = X->next;
    if (Y && Y->isValid() && !Y->isEnd() && Y->start - X->start < float(kNextEventTicks)) {
        N0 = Y->phonemes[0] < kNoId ? Y->phonemes[0] : kNoId;
        continues = count > 0 && Y->phonemes[0] == note.phonemes[count - 1] && Y->startsWithHyphen();
    }

    float seconds = 0;
    if (bpm > 0 && std::isfinite(bpm)) seconds = (X->start - note.start) * 60.0f / (bpm * float(kTicksPerQuarter));
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;

    // Notes the editor has not timed yet are timed here, on a scratch copy.
    const float* fractions = note.fractions;
    int mainIndex = note.mainVowel;
    if (!note.timingValid) {
        scratchNote.copyContentFrom(note);
        scratchEnd.copyContentFrom(*X);
        scratchNote.next = &scratchEnd;
        scratchEnd.next = nullptr;
        computePhonemeTiming(scratchNote, seconds, m.language, &m);
        fractions = scratchNote.fractions;
        mainIndex = scratchNote.mainVowel;
    }

    CPHContext c;
    c.S = S;
    c.continues = continues;
    float T = 0;
    int stress = 0;
    int prev = P0;
    for (int i = 0; i <= kMaxPhonemes - 1 && note.phonemes[i] < kNoId; ++i) {
        c.C = note.phonemes[i];
        c.last = !(i + 1 < kNotePhonemes && note.phonemes[i + 1] < kNoId);
        c.N = c.last ? N0 : note.phonemes[i + 1];
        if (isVowelPhoneme(m.language, c.C / 2)) stress = note.phonemeBytes[i];
        c.V = stress == 0 ? 0.8f : (stress == 1 ? 0.95f : 1.0f);
        c.VN = 0.8f * (stress == 0 ? 0.9f : (stress == 1 ? 0.95f : 1.0f));
        c.L = std::isfinite(note.levels[i]) ? note.levels[i] : 1.0f;
        float f = std::isfinite(fractions[i]) ? std::max(fractions[i], 0.0f) : 0.0f;
        c.T0 = T;
        c.T1 = T + seconds * f;
        c.D = c.T1 - c.T0;
        c.mainVowel = i == mainIndex;
        c.P = prev;
        build(m, c);
        prev = c.C;
        T = c.T1;
    }
}
