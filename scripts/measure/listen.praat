# Listening by proxy for one sung word: silent gaps inside the word (the
# level more than 45 dB under the word's loudest 5 ms for 15 ms or more,
# between sounding stretches), abrupt level steps (the 5 ms level rising or
# falling by more than 20 dB within 5 ms: a click or pop unless it is a
# plosive release), and isolated spikes (a sample above 1 kHz more than 8
# times the RMS of the 20 ms around it).
#
#   praat --run listen.praat FILE.wav
#
# Prints one line per finding ("gap START END", "step TIME DB", "spike TIME")
# and a last line "peak DBFS" of the file's largest sample.
form Listen
    sentence file
endform

sound = Read from file: file$
int = To Intensity: 400, 0.001, "no"
n = Get number of frames
top = Get maximum: 0, 0, "none"
first = 0
last = 0
for i to n
    v = Get value in frame: i
    if v <> undefined and v > top - 45
        if first = 0
            first = i
        endif
        last = i
    endif
endfor
quiet = 0
for i from first to last
    v = Get value in frame: i
    if v = undefined or v <= top - 45
        if quiet = 0
            quietStart = i
        endif
        quiet = quiet + 1
    else
        if quiet >= 15
            t0 = Get time from frame number: quietStart
            t1 = Get time from frame number: i
            appendInfoLine: "gap ", fixed$ (t0, 3), " ", fixed$ (t1, 3)
        endif
        quiet = 0
    endif
endfor
lastStep = -1
for i from first to last - 5
    a = Get value in frame: i
    b = Get value in frame: i + 5
    if a <> undefined and b <> undefined and abs (b - a) > 20 and (b > top - 40 or a > top - 40)
        t = Get time from frame number: i + 5
        if t - lastStep > 0.02
            appendInfoLine: "step ", fixed$ (t, 3), " ", fixed$ (b - a, 0)
        endif
        lastStep = t
    endif
endfor

selectObject: sound
hp = Filter (pass Hann band): 1000, 0, 100
dur = Get total duration
t = 0.01
lastSpike = -1
while t < dur - 0.01
    selectObject: hp
    around = Get root-mean-square: t - 0.01, t + 0.01
    hi = Get maximum: t - 0.0005, t + 0.0005, "none"
    lo = Get minimum: t - 0.0005, t + 0.0005, "none"
    if around > 0 and max (hi, -lo) > 8 * around and t - lastSpike > 0.01
        appendInfoLine: "spike ", fixed$ (t, 3)
        lastSpike = t
    endif
    t = t + 0.001
endwhile
selectObject: sound
peak = Get absolute extremum: 0, 0, "none"
appendInfoLine: "peak ", fixed$ (20 * log10 (peak), 1)
