#!/usr/bin/env bash
# Regenerates ../dict_en.txt and ../random_en.txt from the CMU Pronouncing
# Dictionary (npm package cmu-pronouncing-dictionary, installed into a
# temporary folder) and Debian's wamerican word list.
# Needs: node and npm, python3, wamerican (/usr/share/dict/american-english).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=${CMU_DICT_VERSION:-3.0.0}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

(cd "$tmp" && npm install --silent --no-audit --no-fund "cmu-pronouncing-dictionary@$version" >/dev/null)
# The package is an ES module exporting one object: word -> pronunciation.
cat >"$tmp/dump.mjs" <<'JS'
import { dictionary } from 'cmu-pronouncing-dictionary'
for (const [word, pron] of Object.entries(dictionary)) process.stdout.write(word + '\t' + pron + '\n')
JS
(cd "$tmp" && node dump.mjs) >"$tmp/cmu.tsv"
python3 "$here/make_dict_en.py" "$tmp/cmu.tsv" /usr/share/dict/american-english "$here/.."
