# A sung nasal's murmur against its vowel: the share of the energy below
# 500 Hz and the level from 1 to 3 kHz (where the oral formants are) against
# the vowel's, over 30 ms at the nasal's middle (the start of the sound for
# a nasal that opens the word, its end for one that closes it).
#
#   praat --run nasal.praat FILE.wav initial|final
#
# Prints: below500_share_percent upper_re_vowel_db vowel_below500_share_percent
form Nasal
    sentence file
    word kind initial
endform
sound = Read from file: file$
int = To Intensity: 400, 0.001, "no"
top = Get maximum: 0, 0, "none"
n = Get number of frames
first = 0
last = 0
for i to n
    v = Get value in frame: i
    if v <> undefined and v > top - 40
        if first = 0
            first = i
        endif
        last = i
    endif
endfor
t0 = Get time from frame number: first
t1 = Get time from frame number: last
if kind$ = "initial"
    m = t0 + 0.03
    v = t0 + 0.35
else
    m = t1 - 0.04
    v = t1 - 0.4
endif
procedure bands: .from, .to
    selectObject: sound
    .part = Extract part: .from, .to, "Hanning", 1, "no"
    .spectrum = To Spectrum: "yes"
    .low = Get band energy: 0, 500
    .all = Get band energy: 0, 11000
    .upper = Get band energy: 1000, 3000
    removeObject: .part, .spectrum
endproc
@bands: m - 0.015, m + 0.015
nLow = bands.low
nAll = bands.all
nUp = bands.upper
@bands: v - 0.015, v + 0.015
appendInfoLine: fixed$ (100 * nLow / nAll, 0), " ", fixed$ (10 * log10 (nUp / bands.upper), 1), " ",
... fixed$ (100 * bands.low / bands.all, 0)
