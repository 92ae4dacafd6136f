#!/usr/bin/env bash
# Sings words one note per syllable on a half note at 100 BPM and writes a
# mono WAV per word and voice, for the consonant measurements.
#
#   scripts/measure/sing_words.sh BUILD OUTDIR LANG SET ABC_NOTE WORD...
#
# BUILD is a build folder with lyrena, LANG en or de, SET a factory set
# (Factory, FS01..FS08), ABC_NOTE the pitch in ABC spelling (A,, 110 Hz,
# A, 220 Hz). A word of several syllables is written with hyphens or spaces
# ("la la la"): each syllable gets its own note. Files are named
# OUTDIR/SET-WORD.wav (spaces as _).
set -euo pipefail
build=$1 out=$2 lang=$3 set=$4 note=$5
shift 5
# The start-up voices, not the default song's mix (its pans and reverb): the
# build's test installation has the plug-in and data without Default.qlp.
export LYRENA_HOME=${LYRENA_HOME:-$build/test-home/}
mkdir -p "$out"
for word in "$@"; do
    name=${word// /_}
    syllables=$(echo "$word" | tr ' -' '\n\n' | grep -c .)
    notes=""
    for _ in $(seq "$syllables"); do notes+="${note}2 "; done
    abc="$out/$set-$name.abc"
    printf 'X:1\nM:4/4\nL:1/4\nQ:1/4=100\nK:C\nz %s z |\nw: %s\n' "$notes" "$word" > "$abc"
    abc2midi "$abc" -o "$out/$set-$name.mid" > /dev/null
    "$build/lyrena" render "$out/$set-$name.mid" -o "$out/$set-$name.stereo.wav" --lang "$lang" --set "$set" \
        > /dev/null
    # The part sits in the middle: the left channel is the voice.
    sox "$out/$set-$name.stereo.wav" "$out/$set-$name.wav" remix 1
    rm -f "$out/$set-$name.stereo.wav"
done
