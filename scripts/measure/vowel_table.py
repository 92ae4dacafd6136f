#!/usr/bin/env python3
# Sings every English and German vowel of the factory sets with `lyrena
# render` on a sustained note (English hVd words after Hillenbrand, German
# dictionary words), measures F1 and F2 over the steady middle (diphthongs:
# the held start against slot A, the end of the glide against slot B) and
# prints target, measured and error per vowel. The targets are read from the
# compiled sets themselves. Two readings: the build's formant_reader (two-pole
# fits to the harmonic amplitudes, as tests/plugin/vowel_formants_test.cpp
# reads them; it decides a MISS) and Praat's Burg tracking (median over 10 ms
# frames), which at 110 and 220 Hz leans toward single harmonics.
#
#   scripts/measure/vowel_table.py BUILD_DIR [SET ...]      (needs praat, abc2midi)
#   LYRENA_RENDER_ARGS="--param 1:1=0.7" adds options to lyrena render.
#
# Work files go to BUILD_DIR/vowel-measure/.
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# Words whose stressed vowel is the one measured; the dictionary decides the
# phonemes, the script reads them back with `lyrena phonemes`.
# "hoed" is not in the dictionary, whose prefix rule would sing "hoedown":
# OW is sung in "bode".
ENGLISH = ["heed", "hid", "hade", "head", "had", "hot", "hawk", "bode", "hood", "who'd", "hud", "heard", "hide",
           "how'd", "hoyt"]
GERMAN = ["Hieb", "hin", "Beet", "Bett", "Bär", "Bahn", "hat", "Hof", "Hund", "Hut", "kühn", "dünn", "schön",
          "zwölf", "Haus", "heiß", "Heu"]
# Set: language, ABC pitch (A,, = 110 Hz, A, = 220 Hz), f0, Burg ceiling.
SETS = {
    "Factory": ("en", "A,,", 110, 5000), "FS01": ("en", "A,,", 110, 5000), "FS02": ("en", "A,", 220, 5500),
    "FS03": ("de", "A,,", 110, 5000), "FS04": ("de", "A,", 220, 5500), "FS05": ("en", "A,", 220, 5500),
    "FS06": ("en", "A,", 220, 5500), "FS07": ("en", "A,,", 110, 5000), "FS08": ("en", "A,,", 110, 5000),
}
NOTE = 4  # seconds per word at 60 BPM: a 3 s note and a 1 s rest


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def targets(lyrena, phd):
    """token -> (number, (F1, F2) of slot A, (F1, F2) of slot B) for the vowels."""
    out, cur, slot = {}, None, None
    for line in run([lyrena, "phd", "dump", phd]).splitlines():
        w = line.split()
        if line.startswith("phoneme "):
            cur = (int(w[1]), w[2]) if "Vowel" in line else None
            if cur:
                out[cur[1]] = [cur[0], [0, 0], [0, 0]]
        elif cur and line.startswith("slot "):
            slot = 1 if w[2] == "A" else 2
        elif cur and w and w[0] in ("F1", "F2"):
            out[cur[1]][slot][int(w[0][1]) - 1] = float(w[1])
    return out


def measure(build, name):
    lang, pitch, f0, ceiling = SETS[name]
    lyrena = os.path.join(build, "lyrena")
    work = os.path.join(build, "vowel-measure")
    os.makedirs(work, exist_ok=True)
    vowels = targets(lyrena, os.path.join(build, "LYRENA", "Data", name + ".phd"))
    words = ENGLISH if lang == "en" else GERMAN
    # The vowel of each word: its first vowel phoneme.
    sung = []
    for word in words:
        line = run([lyrena, "phonemes", "--lang", lang, word]).split()
        # English tokens carry a stress digit (IY1).
        v = next(t.rstrip("012") for t in line[1:] if t.rstrip("012") in vowels)
        sung.append((word, v, line[-1].rstrip("012") == v))
    abc = os.path.join(work, name + ".abc")
    with open(abc, "w", encoding="utf-8") as f:
        f.write("X:1\nT:vowels\nM:4/4\nL:1/4\nQ:1/4=60\nK:C\n")
        f.write(" | ".join(pitch + "3 z" for _ in sung) + " |]\n")
        f.write("w: " + " ".join(w for w, _, _ in sung) + "\n")
    mid, wav = abc[:-4] + ".mid", abc[:-4] + ".wav"
    run(["abc2midi", abc, "-o", mid])
    # Master level 40 keeps the voice some 20 dB under the output stage's
    # soft saturator: at the start-up levels one voice reaches full scale and
    # the saturation's distortion products fill the spectrum between the
    # formants. LYRENA_RENDER_ARGS adds options, e.g. "--param 1:1=0.7".
    extra = os.environ.get("LYRENA_RENDER_ARGS", "").split()
    # The start-up voices, not the default song's mix (its pans and reverb):
    # the build's test installation has the plug-in and data without it.
    os.environ.setdefault("LYRENA_HOME", os.path.join(os.path.abspath(build), "test-home") + "/")
    run([lyrena, "render", mid, "-o", wav, "--set", name, "--lang", lang, "--master", "level=40"] + extra)
    stretches = os.path.join(work, name + ".txt")
    rows = []
    with open(stretches, "w") as f:
        f.write("label start end\n")
        for k, (word, v, open_end) in enumerate(sung):
            t0 = k * NOTE
            a, b = vowels[v][1], vowels[v][2]
            if a == b:
                f.write("%d_A %.2f %.2f\n" % (k, t0 + 0.5, t0 + 2.0))
                rows.append((word, v, "A", a))
            else:
                # The start is held until the glide (from about 2.1 s), which
                # arrives just before a coda's closure (about 2.93 s) or at the
                # end of an open syllable (its release fades the last 80 ms).
                f.write("%d_A %.2f %.2f\n" % (k, t0 + 0.3, t0 + 1.8))
                end = (2.82, 2.92) if open_end else (2.8, 2.9)
                f.write("%d_B %.2f %.2f\n" % (k, t0 + end[0], t0 + end[1]))
                rows += [(word, v, "A", a), (word, v, "B", b)]
    burg = run(["praat", "--run", os.path.join(HERE, "formants.praat"), os.path.abspath(wav),
                os.path.abspath(stretches), str(ceiling), str(f0)]).split("\n")
    fit = run([os.path.join(build, "tests", "formant_reader"), wav, stretches, str(f0)]).split("\n")
    print("%s (%s, %d Hz)" % (name, lang, f0))
    print("%-8s %-3s %-2s %6s %6s %7s %6s %6s %7s %6s %6s" %
          ("word", "V", "", "F1", "meas", "err %", "F2", "meas", "err %", "burgF1", "burgF2"))
    misses = 0
    for (word, v, slot, t), b, m in zip(rows, burg, fit):
        _, b1, b2 = b.split()
        _, m1, m2 = m.split()
        m1, m2 = float(m1), float(m2)
        d1, d2 = 100 * (m1 / t[0] - 1), 100 * (m2 / t[1] - 1)
        miss = abs(d1) > 10 or abs(d2) > 10
        misses += miss
        print("%-8s %-3s %-2s %6.0f %6.0f %+7.1f %6.0f %6.0f %+7.1f %6s %6s%s" %
              (word, v, slot, t[0], m1, d1, t[1], m2, d2, b1, b2, "  MISS" if miss else ""))
    print()
    return misses


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: vowel_table.py BUILD_DIR [SET ...]")
    build = sys.argv[1]
    names = sys.argv[2:] or ["FS01", "FS02", "FS03", "FS04"]
    misses = sum(measure(build, n) for n in names)
    sys.exit(1 if misses else 0)


if __name__ == "__main__":
    main()
