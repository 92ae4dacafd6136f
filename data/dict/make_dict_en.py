#!/usr/bin/env python3
"""Writes dict_en.txt and random_en.txt from a dump of the CMU dictionary.

Usage: make_dict_en.py CMU.tsv WORDLIST OUTDIR
CMU.tsv holds "word<TAB>pronunciation" with alternates named "word(2)".
"""
import re
import sys

MAX_ENTRIES = 160_000       # the dictionary's capacity per language
MAX_POOL = 1_600_000        # bytes of word text, one terminator per word
MAX_LINE = 255              # the reader reads at most this many characters a line
MAX_TOKENS = 32
MAX_RANDOM = 120_000

# Letters and the apostrophe of contractions (don't, 'cause); entries with
# dots, digits or other marks (a.m., abbreviations) are not sung lyrics.
WORD = re.compile(r"^[a-z][a-z']*$|^'[a-z][a-z']*$")
VARIANT = re.compile(r"^(.*)\((\d+)\)$")
ARPABET = {
    "AA", "AE", "AH", "AO", "AW", "AY", "B", "CH", "D", "DH", "EH", "ER", "EY", "F", "G", "HH", "IH", "IY",
    "JH", "K", "L", "M", "N", "NG", "OW", "OY", "P", "R", "S", "SH", "T", "TH", "UH", "UW", "V", "W", "Y",
    "Z", "ZH",
}


def read_cmu(path):
    entries = {}  # word -> list of (variant, tokens)
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, _, pron = line.rstrip("\n").partition("\t")
            pron = pron.split("#")[0].split()  # drop the dictionary's comments
            m = VARIANT.match(key)
            word, variant = (m.group(1), int(m.group(2))) if m else (key, 1)
            if not WORD.match(word) or not pron or len(pron) > MAX_TOKENS:
                continue
            if any(re.sub(r"\d$", "", t) not in ARPABET for t in pron):
                continue
            entries.setdefault(word, []).append((variant, pron))
    return entries


def main():
    cmu, wordlist, outdir = sys.argv[1:4]
    entries = read_cmu(cmu)
    lines, pool = [], 0
    for word in sorted(entries):
        seen = set()
        for _, pron in sorted(entries[word]):
            text = " ".join(pron)
            if text in seen:
                continue
            seen.add(text)
            line = word.upper() + "  " + text
            if len(line) > MAX_LINE:
                continue
            lines.append(line)
            pool += len(word) + 1
    if len(lines) > MAX_ENTRIES or pool > MAX_POOL:
        sys.exit(f"dict_en.txt over capacity: {len(lines)} entries, {pool} bytes")
    with open(f"{outdir}/dict_en.txt", "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")

    # Random words: common lower-case words of the word list that the
    # dictionary knows, with their count of vowel phonemes (syllables).
    randoms = []
    with open(wordlist, encoding="utf-8", errors="replace") as f:
        for w in f:
            w = w.strip()
            if re.fullmatch(r"[a-z]{2,12}", w) and w in entries:
                pron = sorted(entries[w])[0][1]
                syllables = sum(1 for t in pron if t[-1].isdigit())
                randoms.append(f"{w.upper()} {syllables}")
    randoms = randoms[:MAX_RANDOM]
    with open(f"{outdir}/random_en.txt", "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(randoms) + "\n")
    print(f"dict_en.txt: {len(lines)} entries, {pool} pool bytes; random_en.txt: {len(randoms)} words")


if __name__ == "__main__":
    main()
