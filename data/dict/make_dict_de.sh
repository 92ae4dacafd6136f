#!/usr/bin/env bash
# Regenerates ../dict_de.txt and ../random_de.txt with espeak-ng over
# Debian's German word lists. Takes a few minutes on two cores.
# Needs (Debian): espeak-ng wngerman hunspell-de-de hunspell-tools fortunes-de python3
# Set DICT_DE_CACHE to a file to keep espeak-ng's output between runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cache=${DICT_DE_CACHE:-$tmp/espeak.tsv}

# Candidate words: wngerman plus every word form of the hunspell dictionary
# (unmunch expands its affix rules: Liebe, Sonne, Träume, träumst ...).
# Letters only; all-capital abbreviations and mixed-case names are left out.
unmunch /usr/share/hunspell/de_DE.dic /usr/share/hunspell/de_DE.aff 2>/dev/null >"$tmp/forms.txt"
cat /usr/share/dict/ngerman "$tmp/forms.txt" \
  | grep -E '^[A-Za-zÄÖÜäöüß]{1,40}$' | grep -vE '^[A-ZÄÖÜ]{2}|[a-zäöüß][A-ZÄÖÜ]' \
  | LC_ALL=C sort -u >"$tmp/words.txt"
python3 "$here/espeak_de.py" "$tmp/words.txt" "$cache"

# Running German text to rank words by frequency: the fortune cookies.
for f in /usr/share/games/fortunes/de/*; do
  case $f in *.dat | *.u8) ;; *) cat "$f" ;; esac
done >"$tmp/corpus.txt"
python3 "$here/make_dict_de.py" "$cache" /usr/share/hunspell/de_DE.dic "$tmp/corpus.txt" \
  "$here/overrides_de.txt" "$here/.."
