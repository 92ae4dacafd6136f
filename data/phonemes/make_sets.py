#!/usr/bin/env python3
# Writes the factory phoneme sets (Factory.txt, FS01.txt .. FS08.txt) in the
# text form of docs/phoneme-text-format.md from the published measurements in
# tables/. The .txt files are committed; the build compiles them to .phd.
#
#   data/phonemes/make_sets.py          (rewrites the .txt files beside it)
#
# Deterministic: the same tables give the same files. NOTES.md explains the
# choices per phoneme class.
#
# Copyright the LYRENA developers. GPL-3.0-or-later.
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
TABLES = os.path.join(HERE, "tables")


def rows(name):
    with open(os.path.join(TABLES, name), encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                yield line.rstrip("\n").split("\t")


# --- The tables ---------------------------------------------------------------

# Hillenbrand et al. (1995): HILL[group][ARPA] = dict of F1..F4 and glide points.
HILL = {}
for r in rows("hillenbrand_means.tsv"):
    v = [float(x) for x in r[5:14]]
    HILL.setdefault(r[2], {})[r[1]] = dict(F=v[1:5], F1_20=v[5], F2_20=v[6], F1_80=v[7], F2_80=v[8])

# Peterson & Barney (1952): PB[ARPA] = dict(m=[F1,F2,F3], w=[...], L=[L1,L2,L3]).
PB = {}
for r in rows("peterson_barney_1952_tableII.tsv"):
    v = [float(x) for x in r[3:18]]
    PB[r[0]] = dict(m=[v[3], v[6], v[9]], w=[v[4], v[7], v[10]], L=v[12:15])

# Klatt (1980) table II: KV[ARPA] = (onset F1 F2 F3 B1 B2 B3, offset ...).
KV = {}
for r in rows("klatt1980_vowels_tableII.tsv"):
    KV[r[0]] = ([float(x) for x in r[1].split()], [float(x) for x in r[2].split()])

# Klatt (1980) table III: KC[name] = (F1 F2 F3 B1 B2 B3, [A2 A3 A4 A5 A6 AB] or None).
KC = {}
for r in rows("klatt1980_consonants_tableIII.tsv"):
    amps = r[2].split()
    KC[r[0]] = ([float(x) for x in r[1].split()],
                [float(x) for x in amps] if len(amps) == 6 and amps[0][0].isdigit() else None)

# Jongman et al. (2000): JONG[place] = (peak, mean, variance in Hz^2, level dB, voiceless ms, voiced ms).
JONG = {}
for r in rows("jongman2000_fricatives.tsv"):
    dur = r[7].split("/")
    JONG[r[0]] = (float(r[1]), float(r[2]), float(r[3]) * 1e6, float(r[6]), float(dur[0]), float(dur[1]))

# Sung formants: SUNG[voice][vowel] = (F1..F5, A1..A5 dB, B1..B5).
SUNG = {}
for r in rows("csound-singing-formants.tsv"):
    SUNG.setdefault(r[0], {})[r[1]] = tuple([float(x) for x in r[k].split()] for k in (2, 3, 4))

# Women's formants relative to men's, per formant, averaged over Hillenbrand's
# twelve vowels: scales the sources that only measured men (Klatt, Delattre).
RATIO = [sum(HILL["w"][v]["F"][k] / HILL["m"][v]["F"][k] for v in HILL["m"]) / len(HILL["m"]) for k in range(4)]

# --- Inventory (token spellings, classes) -------------------------------------

EN = ("AA AE AH AO AW AY B CH D DH EH ER EY F G HH IH IY JH K L M N NG OW OY P R S SH T TH UH UW V W Y Z "
      "ZH").split()
DE = ("A: { V O: aU aI b tS d D e 3: eI f g h I i: dZ k l m n N @U OY p r s S t T U u: v w j z Z "
      "a: a e: E: E o: O y: Y 2: 9 6 @ H x C a- o-").split()
VOWELS = set([0, 1, 2, 3, 4, 5, 10, 11, 12, 16, 17, 24, 25, 32, 33])
PLOSIVES = {6, 8, 14, 19, 26, 30}
NASALS = {21, 22, 23}
# English substitutes of the German-only phonemes (what an English model reads).
EN_SUBSTITUTE = {39: 0, 40: 2, 41: 10, 42: 1, 43: 10, 44: 24, 45: 24, 46: 32, 47: 32, 48: 3, 49: 3, 50: 11,
                 51: 10, 52: 15, 53: 7, 54: 7, 55: 23, 56: 23}


def phoneme_class(lang, n):
    if lang == "english" and n >= 39:
        return "none"
    if n in VOWELS or (lang == "german" and 39 <= n <= 51):
        return "vowel"
    if n in (20, 27, 35, 36) or (lang == "german" and n == 34):
        return "liquid"
    if n in PLOSIVES:
        return "plosive"
    if n in NASALS:
        return "nasal"
    if n < 39 or n in (52, 53, 54):
        return "fricative"
    return "none"


# --- Voices -------------------------------------------------------------------

class Voice:
    def __init__(self, file, name, number, lang, sex, base, sung=None):
        self.file, self.name, self.number, self.lang = file, name, number, lang
        self.sex = sex          # "m" or "w": Hillenbrand group, scaling of men-only sources
        self.base = base        # "H" Hillenbrand, "PB" Peterson & Barney: F1..F3 of the monophthongs
        self.sung = sung        # sung-formant voice for F3..F5, bandwidths and levels of the vowels
        self.s = [1.0] * 4 if sex == "m" else RATIO


VOICES = [
    Voice("Factory", "Factory English (adult male)", 0, "english", "m", "H"),
    Voice("FS01", "English, adult male", 24, "english", "m", "H"),
    Voice("FS02", "English, adult female", 25, "english", "w", "H"),
    Voice("FS03", "German, adult male", 26, "german", "m", "H"),
    Voice("FS04", "German, adult female", 27, "german", "w", "H"),
    Voice("FS05", "Choir soprano (English)", 28, "english", "w", "H", "soprano"),
    Voice("FS06", "Choir alto (English)", 29, "english", "w", "PB", "alto"),
    Voice("FS07", "Choir tenor (English)", 30, "english", "m", "PB", "tenor"),
    Voice("FS08", "Choir bass (English)", 31, "english", "m", "H", "bass"),
]

# Formants 5..8 above the measured ones: Klatt's (1980) synthesizer defaults
# F5 3750 and F6 4900 Hz (B5 200, B6 1000), then two weak formants that keep
# the upper spectrum from falling silent; women's scaled like F4.
UPPER_HZ = [3750, 4900, 6000, 7200]
UPPER_BW = [200, 1000, 600, 800]
# Formant 9 is the anti-resonance (level 1 leaves it off), formant 10 the
# glottal formant, which the Spectral model takes from the part's parameters.
NOTCH_HZ, NOTCH_BW = 8500, 500
GLOTTAL_HZ, GLOTTAL_BW = 9500, 200

# The sung vowel nearest to each English vowel (for the choir voices).
SUNG_OF = {"IY": "i", "IH": "i", "EY": "e", "EH": "e", "AE": "e", "ER": "e", "AA": "a", "AH": "a", "AO": "o",
           "OW": "o", "UH": "o", "UW": "u"}
# Peterson & Barney's level row for vowels they did not measure.
PB_OF = {"EY": "EH", "OW": "UH"}


def monotone(freqs, gap=200.0):
    out = list(freqs)
    for k in range(1, len(out)):
        out[k] = max(out[k], out[k - 1] + gap)
    return out


def levels_from_output(freqs, out_db):
    """Formant levels: the published output level of each formant (dB re F1),
    normalised to at most 1. A new program's source spectrum is flat (Bright
    at its top, 0 dB/octave), so each formant's level is the height of its
    peak in the sung spectrum; a lower Bright darkens the voice from there."""
    db = [out_db[k] for k in range(len(out_db))]
    top = max(db)
    return [10 ** ((d - top) / 20) for d in db]


class Target:
    """One vowel target: F1..F4 and where they come from, bandwidth row,
    level row."""

    def __init__(self, F, src, bw, lv):
        self.F, self.src, self.bw, self.lv = [float(x) for x in F], src, bw, lv


def hill(v, arpa, point="steady"):
    h = HILL[v.sex][arpa]
    if point == "steady":
        F = h["F"]
    else:
        F = [h["F1_" + point], h["F2_" + point]] + h["F"][2:]
    return F, "Hillenbrand %s %s%s" % (v.sex, arpa, "" if point == "steady" else " " + point + "%")


def english_vowel(v, arpa, half):
    """Target of an English vowel half (0 = A, 1 = B)."""
    klatt = KV[arpa][half]
    if arpa in ("AY", "AW", "OY"):
        # Klatt's onset and offset, women's scaled; F4 the mean F4 of the group.
        f4 = sum(HILL[v.sex][a]["F"][3] for a in HILL[v.sex]) / len(HILL[v.sex])
        F = [klatt[k] * v.s[k] for k in range(3)] + [f4]
        src = "Klatt %s %s%s" % (arpa, ("onset", "offset")[half], "" if v.sex == "m" else " x women/men")
        lv = {"AY": ("AA", "IH"), "AW": ("AA", "UH"), "OY": ("AO", "IY")}[arpa][half]
        sung = {"AY": ("a", "i"), "AW": ("a", "o"), "OY": ("o", "i")}[arpa][half]
        return Target(F, src, klatt[3:6], lv), sung
    if arpa in ("EY", "OW"):
        F, src = hill(v, arpa, ("20", "80")[half])
        sung = SUNG_OF[arpa] if half == 0 else {"EY": "i", "OW": "u"}[arpa]
        return Target(F, src, klatt[3:6], PB_OF[arpa]), sung
    # Monophthongs hold one position: a sung vowel does not drift.
    if v.base == "PB":
        F = PB[arpa][v.sex] + [HILL[v.sex][arpa]["F"][3]]
        src = "Peterson & Barney %s %s" % (v.sex, arpa)
    else:
        F, src = hill(v, arpa)
    return Target(F, src, KV[arpa][0][3:6], arpa), SUNG_OF[arpa]


# German vowels after the acoustics notes: number -> (English row or fixed
# men's F1/F2/F3, glide point, bandwidth and level row).
DELATTRE = {46: ([250, 1900], "IY"), 48: ([360, 1650], "EY"), 49: ([510, 1450], "EH")}


def german_vowel(v, n, half):
    def from_row(arpa, point="steady", f2=None):
        F, src = hill(v, arpa, point)
        if f2 is not None:
            # u: is fronter in German than in American English (F2 ~850 Hz, men).
            F = [F[0], f2 * HILL[v.sex]["UW"]["F"][1] / HILL["m"]["UW"]["F"][1]] + F[2:]
            src += " with F2 850 (men)" + ("" if v.sex == "m" else " x women/men of UW")
        return Target(F, src, KV[arpa][0][3:6], PB_OF.get(arpa, arpa))

    rows_of = {17: "IY", 16: "IH", 42: "EH", 43: "EH", 39: "AA", 40: "AA", 0: "AA", 1: "AE", 2: "AH",
               45: "AO", 3: "AO", 32: "UH", 11: "ER", 50: "AH"}
    if n in rows_of:
        return from_row(rows_of[n])
    if n in (41, 10):
        return from_row("EY", "20")
    if n == 44:
        return from_row("OW", "20")
    if n == 33:
        return from_row("UW", f2=850)
    if n in DELATTRE:
        f12, arpa = DELATTRE[n]
        ratio = [HILL[v.sex][arpa]["F"][k] / HILL["m"][arpa]["F"][k] for k in range(2)]
        F = [f12[0] * ratio[0], f12[1] * ratio[1]] + HILL[v.sex][arpa]["F"][2:]
        src = "Delattre (1952) %s%s" % (DE[n], "" if v.sex == "m" else " x women/men of " + arpa)
        return Target(F, src, KV[arpa][0][3:6], {"IY": "IY", "EY": "IH", "EH": "EH"}[arpa])
    if n == 47:
        # Short Y is not in the notes: a lax vowel between y: and 2:.
        a, b = german_vowel(v, 46, 0), german_vowel(v, 48, 0)
        return Target([(a.F[k] + b.F[k]) / 2 for k in range(4)], "mean of y: and 2: (estimate)",
                      KV["IH"][0][3:6], "IH")
    if n == 51:
        F = [500 * v.s[0], 1500 * v.s[1], 2500 * v.s[2], 3500 * v.s[3]]
        return Target(F, "schwa 500/1500/2500 (notes)" + ("" if v.sex == "m" else " x women/men"),
                      KV["AH"][0][3:6], "AH")
    diph = {4: (40, 32), 5: (40, 16), 25: (45, 47)}
    if n in diph:
        return german_vowel(v, diph[n][half], 0)
    if n == 12:
        return from_row("EY", ("20", "80")[half])
    if n == 24:
        return from_row("OW", ("20", "80")[half])
    if n in (55, 56):  # nasal vowels: class none, kept as their oral vowels
        return german_vowel(v, (39, 3)[n - 55], 0)
    raise KeyError(n)


def vowel_slot(v, target, sung_vowel, arpa):
    """Ten formants (Hz, level, bandwidth) of a vowel target."""
    F = target.F[:]
    s4 = v.s[3]
    upper = [f * s4 for f in UPPER_HZ]
    if v.sung:
        sf, sa, sb = SUNG[v.sung][sung_vowel]
        # The sung voice's F3..F5 (the singer's formant cluster of the men's
        # voices); r-coloured ER keeps its low spoken F3, and so does a vowel
        # whose spoken F2 lies within 500 Hz under the sung F3, where the
        # stronger F3 would swallow F2's peak.
        if arpa != "ER" and sf[2] > F[1] + 500:
            F[2] = sf[2]
        F = F[:3] + [sf[3], sf[4]]
        F = monotone(F) + upper[1:]
        bws = sb + UPPER_BW[1:]
        out = [sa[0], sa[1], sa[2], sa[3], sa[4]]
        lv5 = levels_from_output(F[:5], out)
    else:
        F = monotone(F + upper)
        bws = list(target.bw) + [250] + UPPER_BW
        L = PB[target.lv]["L"]
        lv5 = levels_from_output(F[:3], [0, L[1] - L[0], L[2] - L[0]])
        lv5 = lv5 + [lv5[2] * 0.7, lv5[2] * 0.5]
    F = monotone(F)
    levels = lv5 + [lv5[-1] * 0.7, lv5[-1] * 0.5, lv5[-1] * 0.35]
    s = [(F[k], levels[k], bws[k]) for k in range(8)]
    return s + [(max(NOTCH_HZ * s4, F[7] + 500), 1.0, NOTCH_BW),
                (max(GLOTTAL_HZ * s4, F[7] + 1500), 1.0, GLOTTAL_BW)]


# --- Consonants ---------------------------------------------------------------

def upper_formants(v, F3):
    return monotone([F3, 3300 * v.s[3]] + [f * v.s[3] for f in UPPER_HZ])[1:]


# Formant levels of the voiced consonant slots (liquids, the voice under a
# stop or fricative): falling like a vowel's published output levels. At
# 0.4 .. 0.07 for F3 .. F8 an initial l sang 6-22 kHz louder than its vowel.
CONSONANT_LEVELS = (1.0, 0.4, 0.08, 0.045, 0.03, 0.02, 0.015, 0.01)


def consonant_slot(v, F123, B123, levels=CONSONANT_LEVELS, scaled=True):
    F = [F123[k] * (v.s[k] if scaled else 1) for k in range(3)]
    F = monotone(F + upper_formants(v, F[2]))
    bws = list(B123) + [250] + UPPER_BW
    s = [(F[k], levels[k], bws[k]) for k in range(8)]
    return s + [(max(NOTCH_HZ * v.s[3], F[7] + 500), 1.0, NOTCH_BW),
                (max(GLOTTAL_HZ * v.s[3], F[7] + 1500), 1.0, GLOTTAL_BW)]


def klatt_slot(v, name):
    f = KC[name][0]
    return consonant_slot(v, f[:3], f[3:6])


def nasal_slot(v, name):
    """Klatt's nasal murmur: the nasal pole FNP 270 Hz, the oral F1..F3 of
    table III weakened, the nasal zero FNZ 450 Hz on the anti-resonance.
    NG has no row: the velar place of G with the nasals' F1."""
    if name == "NG":
        f = KC["M"][0][:1] + KC["G"][0][1:3] + KC["M"][0][3:4] + KC["G"][0][4:6]
    else:
        f = KC[name][0]
    F = [270.0, f[0] * v.s[0], f[1] * v.s[1], f[2] * v.s[2]]
    F = monotone(F + upper_formants(v, F[3])[:4])
    bws = [100, f[3], f[4], f[5], 250, 200, 1000, 600]
    # The oral formants about 20 dB under the vowel's own (whose F2.. sit
    # at 0.1 and less): at 0.1 and 0.06 the murmur of a final ng sang the
    # 1-3 kHz band as loud as the vowel before it.
    levels = [1.0, 0.2, 0.02, 0.012, 0.008, 0.006, 0.004, 0.003]
    s = [(F[k], levels[k], bws[k]) for k in range(8)]
    return s + [(450.0, 0.0, 100.0), (max(GLOTTAL_HZ * v.s[3], F[7] + 1500), 1.0, GLOTTAL_BW)]


def toward_neutral(v, slot, share=1.0 / 3):
    """A liquid's release: its first three formants a third of the way to
    the neutral vowel (500, 1500, 2500 Hz, scaled)."""
    out = list(slot)
    for k in range(3):
        f, l, b = out[k]
        out[k] = (f + share * ((2 * k + 1) * 500 * v.s[k] - f), l, b)
    return out


# --- Spectral bands -----------------------------------------------------------

def band_hz(b):
    # Band b sits at pitch value 0.5 + b / 96: 22050 Hz x 2^((b - 48) / 6).
    return 22050.0 * 2 ** ((b - 48) / 6.0)


FLOOR = 0.01  # -40 dB: every band keeps a little noise


def two_piece(peak, mean, var):
    """Widths of a two-piece normal power density with the given peak, mean
    and variance (Jongman's spectral moments). The right width is floored at
    1200 Hz: their spectra stop near 11 kHz, which shortens the upper tail."""
    c = math.sqrt(2 / math.pi)
    d = (mean - peak) / c
    sl = (-d + math.sqrt(d * d - 4 * ((1 - 2 / math.pi) * d * d - var))) / 2
    sr = max(sl + d, 1200.0)
    return sl, sr


def bands_from_power(power):
    amp = [math.sqrt(p) for p in power]
    top = max(amp)
    return [max(FLOOR, a / top) for a in amp]


def frication_bands(peak, sl, sr):
    power = []
    for b in range(48):
        f = band_hz(b)
        s = sl if f < peak else sr
        power.append(math.exp(-0.5 * ((f - peak) / s) ** 2))
    return bands_from_power(power)


def jongman_bands(place):
    peak, mean, var = JONG[place][:3]
    return frication_bands(peak, *two_piece(peak, mean, var))


def burst_bands(v, name):
    """A plosive burst from Klatt's parallel branch: resonances at F2..F6 with
    amplitudes A2..A6 plus the flat bypass AB, as power."""
    f, amps = KC[name]
    F = [f[1] * v.s[1], f[2] * v.s[2], 3300 * v.s[3], 3750 * v.s[3], 4900 * v.s[3]]
    B = [f[4], f[5], 250, 200, 1000]
    power = []
    for b in range(48):
        x = band_hz(b)
        p = 10 ** (amps[5] / 10) if amps[5] > 0 else 0.0
        for k in range(5):
            if amps[k] > 0:
                p += 10 ** (amps[k] / 10) / (1 + ((x - F[k]) / (B[k] / 2)) ** 2)
        # Above 8 kHz a burst falls off, 18 dB an octave: at 6 dB it sang a
        # flat click up to 22 kHz (Bach, the b of Liebe).
        if x > 8000:
            p *= (8000 / x) ** 6
        power.append(p)
    return bands_from_power(power)


def aspiration_bands():
    """Aspiration (HH, German H): flat from 250 Hz to 8 kHz; the formants of
    the moment shape it (spectral flag 1)."""
    out = []
    for b in range(48):
        x = band_hz(b)
        g = 1.0 if 250 <= x <= 8000 else (x / 250 if x < 250 else 8000 / x)
        out.append(max(FLOOR, g))
    return out


# --- Time model ---------------------------------------------------------------

# Sung at a new program's Balance, the frication noise comes about 9 dB under
# its level against the vowel: s 14, f 19 dB under the vowel at 110 and 220 Hz
# (scripts/measure/consonants.sh). 4 dB more (the most s and sh allow, at most
# 0 dB) puts s, sh, f, th near Jongman's levels (10, 9, 17, 18 dB under).
FRICATION_GAIN_DB = 4

# Lisker & Abramson (1964), English word-initial stops: voice onset time, ms.
VOT = {"P": 58, "T": 70, "K": 80, "B": 1, "D": 5, "G": 21}
CLOSURE = {"P": 60, "T": 60, "K": 60, "B": 50, "D": 50, "G": 50}  # estimate, sung consonants


def segments_plosive(name, voiced, peak_db):
    """(level dB, time ms, attack, decay, sustain) of segments 1..3: the
    closure split over segments 1 and 2, the voice onset time in segment 3 (the
    times add up to the phoneme's natural length); the noise is a 1 ms burst
    onset, 5 ms held, decaying over the aspiration."""
    vot, clo = VOT[name], CLOSURE[name]
    decay = max(10, vot)
    level = peak_db - (6 if voiced else 0)
    seg = [level, clo / 2, 1, decay, 5]
    return [seg, [level, clo / 2, 1, decay, 5], [level - 6, vot, 1, decay / 2, 3]]


def segments_fricative(level, ms, attack=15, decay=20):
    t = ms / 3
    return [[level, t, attack, decay, 20] for _ in range(3)]


def segments_silent(total_ms):
    t = total_ms / 3
    return [["off", t, 0, 0, 0] for _ in range(3)]


# --- One set ------------------------------------------------------------------

class Phoneme:
    def __init__(self, segments, a, b, bands, note, trill=None):
        self.segments, self.a, self.b, self.bands, self.note, self.trill = segments, a, b, bands, note, trill


ZERO = [0.0] * 48


def build(v):
    ph = {}
    german = v.lang == "german"
    tokens = DE if german else EN

    # Vowels.
    for n in range(57 if german else 39):
        if phoneme_class(v.lang, n) != "vowel" and not (german and n in (55, 56)):
            continue
        halves = []
        for half in (0, 1):
            if german:
                t = german_vowel(v, n, half)
                sung = None
                arpa = {11: "ER"}.get(n, "")
            else:
                t, sung = english_vowel(v, EN[n], half)
                arpa = EN[n]
            halves.append((t, vowel_slot(v, t, sung, arpa)))
        note = "A: %s" % halves[0][0].src
        if halves[1][0].src != halves[0][0].src:
            note += "; B: %s" % halves[1][0].src
        if v.sung:
            note += "; F3..F5, levels, widths: sung %s" % v.sung
        else:
            note += "; widths: Klatt table II; levels: Peterson & Barney"
        ph[n] = Phoneme(segments_silent(0), halves[0][1], halves[1][1], ZERO, note)

    # Plosives: Klatt table III loci; bursts from its parallel amplitudes.
    for n, name in ((6, "B"), (8, "D"), (14, "G"), (19, "K"), (26, "P"), (30, "T")):
        s = klatt_slot(v, name)
        amps = KC[name][1]
        peak = min(0.0, max(amps) - 52 - 5)  # re S of Klatt (A6 52) at our S level
        voiced = name in "BDG"
        ph[n] = Phoneme(segments_plosive(name, voiced, peak), s, s, burst_bands(v, name),
                        "loci: Klatt table III %s; burst: its A2..A6, AB; VOT: Lisker & Abramson (1964)" % name)

    # Fricatives: Jongman's peaks, moments and levels; voiced ones 10 dB weaker
    # (Klatt: AF 60 voiceless, 50 voiced), Jongman's levels pooled the two.
    fric = {13: ("F", "f,v", False), 34: ("V", "f,v", True), 31: ("TH", "th,dh", False),
            9: ("DH", "th,dh", True), 28: ("S", "s,z", False), 37: ("Z", "s,z", True),
            29: ("SH", "sh,zh", False), 38: ("ZH", "sh,zh", True)}
    for n, (name, place, voiced) in fric.items():
        if german and n == 34:
            continue  # German v is a liquid
        j = JONG[place]
        level = j[3] + (-5 if voiced else 5) + FRICATION_GAIN_DB
        s = klatt_slot(v, name)
        ph[n] = Phoneme(segments_fricative(level, j[5] if voiced else j[4]), s, s, jongman_bands(place),
                        "formants: Klatt table III %s; noise: Jongman (2000) %s" % (name, place))
    # Affricates: burst like T/D, frication like SH/ZH (Klatt).
    for n, name, place, voiced in ((7, "CH", "sh,zh", False), (18, "JH", "sh,zh", True)):
        j = JONG[place]
        level = j[3] + (-5 if voiced else 5) + FRICATION_GAIN_DB
        s = klatt_slot(v, name)
        segs = segments_fricative(level, 140 if not voiced else 100, attack=2, decay=30)
        ph[n] = Phoneme(segs, s, s, jongman_bands(place),
                        "formants: Klatt table III %s; noise: Jongman (2000) %s; 2 ms onset of the release" %
                        (name, place))
    # Aspiration: the formants of the neighbours shape it; these are the
    # neutral vowel's for the moments it stands alone.
    neutral = consonant_slot(v, [500, 1500, 2500], [300, 200, 300], levels=(1, 0.7, 0.5, 0.35, 0.25, 0.2, 0.15, 0.1))
    # The formants lift noise they shape (spectral flag 1) far above the
    # plain bands of the fricatives: -34 dB sings h about 15 dB under the
    # vowel (at -20 it came 7 dB under it, louder than s).
    asp = Phoneme(segments_fricative(-34, 60, attack=10, decay=20), neutral, neutral, aspiration_bands(),
                  "aspiration: flat noise shaped by the current formants (estimate: -34 dB, 60 ms)")
    ph[15] = asp

    # Nasals.
    for n, name, ms in ((21, "M", 90), (22, "N", 80), (23, "NG", 110)):
        s = nasal_slot(v, name)
        ph[n] = Phoneme(segments_silent(ms), s, s, ZERO,
                        "murmur: Klatt FNP 270 / FNZ 450 Hz, oral formants of table III %s%s" %
                        (name, " (G's place)" if name == "NG" else ""))

    # Liquids and glides; German r is trilled, the others hold no trill.
    for n, name, ms in ((20, "L", 60), (27, "R", 70), (35, "W", 60), (36, "Y", 50)):
        a = klatt_slot(v, name)
        b = a if name == "L" else toward_neutral(v, a)
        trill = (0.0, 0.0)
        note = "Klatt table III %s%s" % (name, "" if name == "L" else "; B: release a third toward the neutral vowel")
        if german and name == "R":
            # German r (uvular or alveolar): no lowered F3 of the American R
            # (estimate 500/1300/2500 Hz); the sung German r rolls at ~25 Hz.
            a = consonant_slot(v, [500, 1300, 2500], [100, 120, 200])
            b = toward_neutral(v, a)
            trill = (0.826, 0.5)
            note = "estimate 500/1300/2500 Hz (no table); trill 25 Hz, amount 0.5"
        ph[n] = Phoneme(segments_silent(ms), a, b, ZERO, note, trill)
    if german:
        a = klatt_slot(v, "V")
        ph[34] = Phoneme(segments_silent(60), a, a, ZERO, "Klatt table III V (German v is a liquid)", (0.0, 0.0))
        ph[52] = asp
        # ach-Laut: noise near a back vowel's F2, shaped by the formants
        # (spectral flag 1); ich-Laut: noise mainly 3-4.5 kHz (notes, estimates).
        xs = consonant_slot(v, [400, 1300, 2500], [150, 150, 250])
        # Formant-shaped like h: -30 dB sings it near ich instead of 25 dB above.
        ph[53] = Phoneme(segments_fricative(-30, 120), xs, xs, frication_bands(1400 * v.s[1], 500, 1500),
                         "ach-Laut: noise 1-2 kHz near a back vowel's F2 (notes, estimate)")
        cs = klatt_slot(v, "Y")
        ph[54] = Phoneme(segments_fricative(-8 + FRICATION_GAIN_DB, 120), cs, cs, frication_bands(3750, 600, 900),
                         "ich-Laut: noise mainly 3-4.5 kHz (notes, estimate); formants of Y")
    else:
        for n, sub in EN_SUBSTITUTE.items():
            src = ph[sub]
            ph[n] = Phoneme(src.segments, src.a, src.b, src.bands, "(unused: an English model reads %s)" % EN[sub],
                            src.trill)
    # Unused numbers: the neutral vowel, silent.
    for n in range(64):
        if n not in ph:
            ph[n] = Phoneme(segments_silent(0), neutral, neutral, ZERO, "unused")
    return ph, tokens


def num(x, digits=4):
    if isinstance(x, str):
        return x
    if abs(x - round(x)) < 1e-9:
        return str(int(round(x)))
    s = ("%." + str(digits) + "g") % x
    if "e" in s:
        s = "%.6f" % x
        s = s.rstrip("0").rstrip(".")
    return s


def write(v, ph, tokens):
    out = []
    w = out.append
    w("# LYRENA factory phoneme set %s: %s." % (v.file, v.name))
    w("# Written by data/phonemes/make_sets.py from the tables in data/phonemes/tables/:")
    w("# Hillenbrand et al. (1995) and Peterson & Barney (1952) vowels, Klatt (1980) tables II and III,")
    w("# Jongman, Wayland & Wong (2000) fricatives, sung formants (bass .. soprano), Delattre (1952) and")
    w("# estimates for the German vowels and consonants; see data/phonemes/NOTES.md. Edit the script, not this file.")
    w("# Vowel F1..F4 from: %s%s." % (
        {"H": "Hillenbrand", "PB": "Peterson & Barney (F4 Hillenbrand)"}[v.base],
        {"m": " men", "w": " women"}[v.sex]))
    w("")
    w('name          "%s"' % v.name)
    w("set           %d" % v.number)
    w("language      %s" % v.lang)
    w("articulation  1")
    for n in range(64):
        p = ph[n]
        token = tokens[n] if n < len(tokens) else "?"
        cls = phoneme_class(v.lang, n)
        w("")
        w("phoneme %d %s    # %s; %s" % (n, token, cls, p.note))
        w("#                 level dB     time ms   attack ms    decay ms  sustain ms")
        liquid = cls == "liquid"
        for g, seg in enumerate(p.segments):
            cells = [num(seg[0], 3), num(seg[1], 4), "-" if liquid and g < 2 else num(seg[2]), num(seg[3]), num(seg[4])]
            w("  segment %d " % (g + 1) + "".join("%12s" % c for c in cells))
        if liquid:
            rate, amount = p.trill if p.trill else (0.0, 0.0)
            w("  trill rate %s amount %s" % (num(rate), num(amount)))
        nxt = ph[n + 1].bands if n < 63 else ZERO
        for half, slot in ((0, p.a), (1, p.b)):
            w("slot %d %s" % (2 * n + half, "AB"[half]))
            w("#                   Hz       level    width Hz")
            for k, (f, l, bw) in enumerate(slot):
                w("  F%-3d %11s %11s %11s" % (k + 1, num(round(f)), num(l, 3), num(round(bw))))
            # Slots overlap by 12 bands: a B slot starts with its A slot's
            # bands 36..47 and ends with the next phoneme's bands 0..11. Only
            # A slots are sounded (the phoneme's spectrum).
            if half == 0:
                bands = list(p.bands)
            else:
                bands = list(p.bands[36:48]) + list(p.bands[12:36]) + list(nxt[0:12])
            for first in (0, 12, 24, 36):
                w("  bands %-2d " % first + " ".join(num(x, 3) for x in bands[first:first + 12]))
    return "\n".join(out) + "\n"


def main():
    for v in VOICES:
        ph, tokens = build(v)
        with open(os.path.join(HERE, v.file + ".txt"), "w", encoding="utf-8") as f:
            f.write(write(v, ph, tokens))


if __name__ == "__main__":
    main()
