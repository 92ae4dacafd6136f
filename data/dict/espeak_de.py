#!/usr/bin/env python3
"""Runs espeak-ng over German words in large batches and caches the result.

Usage: espeak_de.py WORDS.txt CACHE.tsv
Adds "word<TAB>espeak phonemes" for every word of WORDS.txt not yet in
CACHE.tsv. Each word goes to espeak-ng as its own sentence ("word.") so
that each yields one output line; a batch whose line count does not match
is split until it does. Two processes run at a time.
"""
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

BATCH = 5000


def speak(words):
    text = "".join(w + ".\n" for w in words)
    out = subprocess.run(["espeak-ng", "-v", "de", "-q", "-x"], input=text, capture_output=True,
                         text=True, check=True).stdout
    lines = [l.strip() for l in out.splitlines() if l.strip()]
    if len(lines) == len(words):
        return list(zip(words, lines))
    if len(words) == 1:
        return []  # this word does not give one line: leave it out
    half = len(words) // 2
    return speak(words[:half]) + speak(words[half:])


def main():
    words_path, cache_path = sys.argv[1:3]
    done = set()
    if os.path.exists(cache_path):
        with open(cache_path, encoding="utf-8") as f:
            done = {l.split("\t", 1)[0] for l in f}
    with open(words_path, encoding="utf-8") as f:
        todo = [w.strip() for w in f if w.strip() and w.strip() not in done]
    batches = [todo[i:i + BATCH] for i in range(0, len(todo), BATCH)]
    with open(cache_path, "a", encoding="utf-8") as cache, ThreadPoolExecutor(max_workers=2) as pool:
        for n, result in enumerate(pool.map(speak, batches)):
            cache.writelines(f"{w}\t{p}\n" for w, p in result)
            cache.flush()
            print(f"espeak: batch {n + 1}/{len(batches)}", file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
