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
# The mix: the choir stands soprano, tenor, bass, alto from left to right,
# the four parts about equally loud (alto up 1.4 dB, tenor down 4.4, bass
# down 2.9: the men's sets give more energy per note). Every part sends
# about -23 dB into the "Concert" reverb, which comes out some 10 dB under
# the dry choir. Master level 72 leaves the loudest chord near -4.5 dBFS, so
# the output stage never saturates. Parts 5-8 get the same room and headroom.
mix="--master level=72,preset=5,reverb=100,on=127"
for p in 1 2 3 4 5 6 7 8; do
    case $p in
    1) strip=level=92,pan=44 ;;
    2) strip=level=96,pan=84 ;;
    3) strip=level=80,pan=54 ;;
    4) strip=level=84,pan=74 ;;
    *) strip=level=80,pan=64 ;;
    esac
    # About 100 harmonics (Partials 50; a new program sings 64, which end at
    # 4.7 kHz on the bass's low D), so the low voices keep their upper formants.
    mix="$mix --mix $p:$strip,reverb=55 --param $p:32=0.394"
done
"$lyrena" render --part 1:"$work/voice1.mid" --part 2:"$work/voice2.mid" --part 3:"$work/voice3.mid" \
    --part 4:"$work/voice4.mid" --set 1:FS05 --set 2:FS06 --set 3:FS07 --set 4:FS08 $mix --save-project "$out"
