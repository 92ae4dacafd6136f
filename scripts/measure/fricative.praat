# Frication of a sung word: finds the longest stretch where the energy above
# 2.5 kHz outweighs the energy below 1 kHz (the frication), where the sound
# is loud but unvoiced (aspiration), or where there is noise above 2.5 kHz
# while the part below 1 kHz stays 10 dB under the vowel's (a voiced
# fricative over its voice bar), and measures its middle 40 ms as Jongman et al. (2000) did: spectral centre
# of gravity (0..11 kHz after resampling to 22.05 kHz, and above 1 kHz so
# that a voicing bar does not pull it down), the peak of the smoothed
# spectrum above 1 kHz, and the level against the vowel (RMS, dB).
#
#   praat --run fricative.praat FILE.wav
#
# Prints: start_s end_s centroid_hz centroid_above1k_hz peak_hz level_re_vowel_db
form Fricative
    sentence file
endform

sound = Read from file: file$
total = Get total duration
selectObject: sound
hf = Filter (pass Hann band): 2500, 0, 100
hfInt = To Intensity: 400, 0.001, "no"
selectObject: sound
lf = Filter (pass Hann band): 0, 1000, 100
lfInt = To Intensity: 400, 0.001, "no"
selectObject: sound
allInt = To Intensity: 400, 0.001, "no"
allMax = Get maximum: 0, 0, "none"
selectObject: sound
pitch = To Pitch: 0, 75, 600
selectObject: hfInt
n = Get number of frames
hfMax = Get maximum: 0, 0, "none"
selectObject: lfInt
lfMax = Get maximum: 0, 0, "none"

# The longest run of frames where high outweighs low and the noise is loud.
bestStart = 0
bestLen = 0
runStart = 0
runLen = 0
for i to n
    selectObject: hfInt
    h = Get value in frame: i
    selectObject: lfInt
    l = Get value in frame: i
    if h = undefined
        h = -100
    endif
    if l = undefined
        l = -100
    endif
    t = Get time from frame number: i
    selectObject: allInt
    a = Get value in frame: i
    selectObject: pitch
    f0 = Get value at time: t, "Hertz", "linear"
    if a = undefined
        a = -100
    endif
    if (h - l > 0 and h > hfMax - 30) or (f0 = undefined and a > allMax - 35) or (l < lfMax - 10 and h > hfMax - 30)
        if runLen = 0
            runStart = i
        endif
        runLen = runLen + 1
        if runLen > bestLen
            bestLen = runLen
            bestStart = runStart
        endif
    else
        runLen = 0
    endif
endfor
if bestLen = 0
    appendInfoLine: "none"
    exitScript ()
endif
selectObject: hfInt
t0 = Get time from frame number: bestStart
t1 = Get time from frame number: bestStart + bestLen - 1
mid = (t0 + t1) / 2
half = min (0.02, (t1 - t0) / 2)

selectObject: sound
selectObject: sound
fricRms = Get root-mean-square: mid - half, mid + half
part = Extract part: mid - half, mid + half, "Hamming", 1, "no"
low = Resample: 22050, 50
spectrum = To Spectrum: "yes"
centroid = Get centre of gravity: 2
Filter (pass Hann band): 1000, 0, 100
centroid1k = Get centre of gravity: 2
selectObject: part
ltas = To Ltas: 500
peak = Get frequency of maximum: 1000, 11000, "parabolic"

# The vowel: where the energy below 1 kHz stays within 10 dB of its maximum.
selectObject: lfInt
v0 = -1
v1 = -1
for i to n
    l = Get value in frame: i
    if l <> undefined and l > lfMax - 10
        if v0 < 0
            v0 = Get time from frame number: i
        endif
        v1 = Get time from frame number: i
    endif
endfor
selectObject: sound
vowelRms = Get root-mean-square: v0, v1
level = 20 * log10 (fricRms / vowelRms)
appendInfoLine: fixed$ (t0, 3), " ", fixed$ (t1, 3), " ", fixed$ (centroid, 0), " ", fixed$ (centroid1k, 0), " ",
... fixed$ (peak, 0), " ", fixed$ (level, 1)
