#!/usr/bin/env bash
# The consonant tables: sings test words with the factory sets in a lower
# (110 Hz) and a higher (220 Hz) voice and measures them with Praat.
#
#   scripts/measure/consonants.sh [BUILD] [OUTDIR]     (defaults: build, BUILD/measure)
#
# Fricatives: centre of gravity (0-11 kHz and above 1 kHz), spectral peak,
# level against the vowel. Stops: release to burst and to voice onset.
# Nasals: the murmur's share below 500 Hz and its 1-3 kHz level against the
# vowel. German ich and ach: the frication's centre of gravity.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
out=${2:-$build/measure}
sing="$here/sing_words.sh"
praat_run() { praat --run "$here/$1" "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")" "${@:3}"; }

fricatives="see:S she:SH fee:F theme:TH zee:Z beige:ZH vee:V thee:DH he:HH"
stops="pa:P ta:T ka:K bar:B da:D ga:G stop:T sky:K"
for voice in "FS01 A,, en" "FS02 A, en" "FS03 A,, de" "FS04 A, de"; do
    read -r set note lang <<< "$voice"
    if [ "$lang" = en ]; then
        words=""
        for w in $fricatives $stops ma:M na:N sing:NG; do words+=" ${w%%:*}"; done
        # shellcheck disable=SC2086
        "$sing" "$build" "$out" en "$set" "$note" $words
        echo "== $set ($note) fricatives: start_s end_s centroid centroid_above_1k peak level_re_vowel_dB"
        for w in $fricatives; do echo "${w##*:} ${w%%:*}: $(praat_run fricative.praat "$out/$set-${w%%:*}.wav")"; done
        echo "== $set stops: release_s burst_ms voice_onset_ms"
        for w in $stops; do
            kind=initial
            [ "${w%%:*}" = stop ] || [ "${w%%:*}" = sky ] && kind=cluster
            echo "${w##*:} ${w%%:*}: $(praat_run plosive.praat "$out/$set-${w%%:*}.wav" $kind)"
        done
        echo "== $set nasals: below_500Hz_% upper_re_vowel_dB vowel_below_500Hz_%"
        for w in ma:M:initial na:N:initial sing:NG:final; do
            IFS=: read -r word ph kind <<< "$w"
            echo "$ph $word: $(praat_run nasal.praat "$out/$set-$word.wav" "$kind")"
        done
    else
        "$sing" "$build" "$out" de "$set" "$note" ich ach
        echo "== $set ($note) ich/ach: start_s end_s centroid centroid_above_1k peak level_re_vowel_dB"
        for w in ich ach; do echo "$w: $(praat_run fricative.praat "$out/$set-$w.wav")"; done
    fi
done
