#!/usr/bin/env python3
"""Writes dict_de.txt and random_de.txt from espeak-ng's German pronunciations.

Usage: make_dict_de.py CACHE.tsv STEMS.txt CORPUS.txt OVERRIDES.txt OUTDIR [--check WORDS.txt]
CACHE.tsv    "word<TAB>espeak-ng -v de -q -x output" (espeak_de.py)
STEMS.txt    base forms of the hunspell dictionary, one a line
CORPUS.txt   German running text, used only to rank words by frequency
OVERRIDES    hand-kept "word<TAB>tokens" lines that replace the generator
--check      prints word, espeak output and mapped tokens for a word list
"""
import collections
import re
import sys

MAX_ENTRIES = 160_000    # the dictionary's capacity per language
MAX_POOL = 2_000_000     # bytes of word text, one terminator per word
MAX_TOKENS = 32
MAX_LINE = 255
MAX_RANDOM = 120_000

# espeak-ng's German symbols, and the English ones of "(en)...(de)" passages,
# to the German tokens of the inventory. Longest symbols are tried first.
DE = {
    "a": "a", "a:": "a:", "A:": "a:", "E": "E", "E2": "E", "E:": "E:", "e": "e:", "e:": "e:",
    "I": "I", "i": "i:", "i:": "i:", "I;": "j", "i;": "j", "I2": "I", "i2": "i:",
    "O": "O", "o": "o:", "o:": "o:", "U": "U", "u": "u:", "u:": "u:",
    "y": "Y", "y:": "y:", "Y": "Y", "Y:": "2:", "2:": "2:", "W": "9", "@": "@", "3": "6", "0": "O", "V": "a",
    "aI": "aI", "aU": "aU", "OY": "OY",
    "A~": "a-", "a~": "a-", "O~": "o-", "o~": "o-", "E~": "E N", "e~": "E N", "W~": "9 N", "9~": "9 N",
    "p": "p", "b": "b", "t": "t", "d": "d", "k": "k", "g": "g", "f": "f", "v": "v", "w": "v",
    "s": "s", "z": "z", "S": "S", "Z": "Z", "C": "C", "x": "x", "h": "h", "j": "j",
    "l": "l", "m": "m", "n": "n", "N": "N", "r": "r", "R": "r",
    "pF": "p f", "ts": "t s", "tS": "tS", "dZ": "dZ", "UR": "U r",
    "@-": "",  # espeak's hint schwa that breaks a cluster (be-gnadigen): not sung
}
EN = {
    "a": "{", "a#": "@", "aa": "a:", "A:": "a:", "A@": "a: r", "0": "O", "O:": "O:", "O@": "O: r",
    "o@": "O: r", "V": "V", "I": "I", "I2": "I", "I#": "I", "i": "i:", "i:": "i:", "u:": "u:", "U": "U",
    "3:": "3:", "3": "6", "@": "@", "@2": "@", "@5": "@", "@L": "@ l", "eI": "eI", "aI": "aI", "aU": "aU",
    "OI": "OY", "oU": "@U", "e@": "E: 6", "i@": "i: 6", "i@3": "i: 6", "U@": "U 6", "aI@": "aI 6",
    "aU@": "aU 6", "e": "E", "E": "E",
    "p": "p", "b": "b", "t": "t", "t#": "t", "d": "d", "d#": "d", "k": "k", "g": "g", "f": "f", "v": "v",
    "w": "w", "s": "s", "z": "z", "S": "S", "Z": "Z", "T": "T", "D": "D", "h": "h", "j": "j", "l": "l",
    "m": "m", "n": "n", "N": "N", "r": "r", "r-": "r", "tS": "tS", "dZ": "dZ", "x": "x", "C": "C",
}
MARKS = set("'\",_!|%=#-1 ")  # stress, pauses, glottal stop and other markers: dropped


def tokenize(text, table, unknown):
    out, i, stressed = [], 0, False
    keys = sorted(table, key=len, reverse=True)
    while i < len(text):
        for k in keys:
            if text.startswith(k, i):
                mapped = table[k]
                # espeak writes a stressed short A for a long German a (Tabak).
                if table is DE and k == "A" and stressed:
                    mapped = "a:"
                if mapped:
                    out.extend(mapped.split())
                stressed = False
                i += len(k)
                break
        else:
            c = text[i]
            if c in "',":
                stressed = True
            elif table is DE and c == "A":
                out.append("a:" if stressed else "a")
                stressed = False
            elif c not in MARKS:
                unknown[c] += 1
            i += 1
    return out


def convert(espeak, unknown):
    lang = "de"
    tokens = []
    for part in re.split(r"(\([a-z]+\))", espeak):
        if part.startswith("(") and part.endswith(")"):
            lang = part[1:-1]
        elif part:
            tokens += tokenize(part, DE if lang == "de" else EN, unknown)
    return tokens


def normalise(word):
    w = word.replace("ä", "ae").replace("ö", "oe").replace("ü", "ue").replace("Ä", "Ae")
    w = w.replace("Ö", "Oe").replace("Ü", "Ue").replace("ß", "ss").upper()
    return w if re.fullmatch(r"[A-Z]+", w) else None


def read_overrides(path):
    result = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            word, _, tokens = line.partition("\t")
            result[word.strip()] = tokens.split()
    return result


def main():
    cache, stems_path, corpus_path, overrides_path, outdir = sys.argv[1:6]
    check = sys.argv[7] if len(sys.argv) > 7 and sys.argv[6] == "--check" else None
    unknown = collections.Counter()
    espeak = {}
    with open(cache, encoding="utf-8") as f:
        for line in f:
            word, _, out = line.rstrip("\n").partition("\t")
            espeak[word] = out
    overrides = read_overrides(overrides_path)

    if check:
        with open(check, encoding="utf-8") as f:
            for w in (l.strip() for l in f if l.strip()):
                forms = [x for x in (w, w.capitalize()) if x in espeak] or [w]
                for x in forms:
                    gen = " ".join(convert(espeak[x], unknown)) if x in espeak else "-"
                    mark = "  [override: " + " ".join(overrides[x]) + "]" if x in overrides else ""
                    print(f"{x}\t{espeak.get(x, '-')}\t{gen}{mark}")
        return

    # Frequency of each spelling in running text ranks the common words first.
    freq = collections.Counter()
    with open(corpus_path, encoding="utf-8", errors="replace") as f:
        for m in re.finditer(r"[A-Za-zÄÖÜäöüß]+", f.read()):
            freq[m.group(0)] += 1
            freq[m.group(0).lower()] += 0  # known lower-case form counts as seen
    with open(stems_path, encoding="utf-8") as f:
        stems = {l.split("/", 1)[0].strip() for l in f}

    def rank(word):
        if word in overrides:
            return (0, 0, word)
        if freq[word] > 0:
            return (1, -freq[word], word)
        if word in stems:
            return (2, len(word), word)
        return (3, len(word), word)

    words = sorted(set(espeak) | set(overrides), key=rank)
    lines, keys, pool = [], {}, 0
    for word in words:
        key = normalise(word)
        if key is None:
            continue
        tokens = overrides[word] if word in overrides else convert(espeak[word], unknown)
        if not tokens or len(tokens) > MAX_TOKENS:
            continue
        text = " ".join(tokens)
        if text in keys.get(key, ()):
            continue  # same pronunciation under the same normalised spelling
        line = f"{key}  {text}"
        if len(line) > MAX_LINE:
            continue
        if len(lines) + 1 > MAX_ENTRIES or pool + len(key) + 1 > MAX_POOL:
            break
        keys.setdefault(key, []).append(text)
        lines.append((rank(word), key, line))
        pool += len(key) + 1
    # Sorted by spelling for readers; entries of one spelling keep their rank
    # order, so the more common pronunciation wins exact lookups.
    lines.sort(key=lambda x: (x[1], x[0]))
    with open(f"{outdir}/dict_de.txt", "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(l for _, _, l in lines) + "\n")

    # Random words: the corpus's words that occur at least three times and that
    # the dictionary knows, most frequent first, with their frequency.
    randoms, seen = [], set()
    for word, n in freq.most_common():
        key = normalise(word)
        if n < 3 or len(word) < 3 or key is None or key in seen or key not in keys:
            continue
        seen.add(key)
        randoms.append(f"{key} {n}")
    with open(f"{outdir}/random_de.txt", "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(randoms[:MAX_RANDOM]) + "\n")
    print(f"dict_de.txt: {len(lines)} entries, {pool} pool bytes of {len(words)} words; "
          f"random_de.txt: {len(randoms)} words", file=sys.stderr)
    if unknown:
        print("unmapped espeak symbols:", dict(unknown.most_common(20)), file=sys.stderr)


if __name__ == "__main__":
    main()
