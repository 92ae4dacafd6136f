#!/bin/sh
# Builds the default project from round.abc: each voice's tune becomes a MIDI
# file (abc2midi), and the lyrena tool imports the four into parts 1-4 with
# the choir phoneme sets (soprano, alto, tenor, bass) and saves the project.
# usage: make_default.sh LYRENA ABC2MIDI WORK_DIR OUT.qlp
set -e
lyrena=$1 abc2midi=$2 work=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
for n in 1 2 3 4; do
    "$abc2midi" "$here/round.abc" "$n" -o "$work/voice$n.mid" >/dev/null
done
# The tool must not start from an older default project: it would lend its
# voices to this one.
rm -f "$out"
"$lyrena" render --part 1:"$work/voice1.mid" --part 2:"$work/voice2.mid" --part 3:"$work/voice3.mid" \
    --part 4:"$work/voice4.mid" --set 1:FS05 --set 2:FS06 --set 3:FS07 --set 4:FS08 --save-project "$out"
