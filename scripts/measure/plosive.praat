# A sung stop: the release ends the closure (the silence before the note,
# or after the s of an s-stop cluster), the burst is the first millisecond
# whose part above 2.5 kHz outweighs its part below 1 kHz while loud, the
# voice onset the first millisecond whose part below 1 kHz comes within
# 10 dB of the vowel's.
#
#   praat --run plosive.praat FILE.wav initial|cluster
#
# Prints: release_s burst_ms voice_onset_ms (after the release; burst -1 if
# there is none within 30 ms)
form Plosive
    sentence file
    word kind initial
endform
sound = Read from file: file$
all = To Intensity: 1600, 0.001, "no"
n = Get number of frames
top = Get maximum: 0, 0, "none"
selectObject: sound
hf = Filter (pass Hann band): 2500, 0, 100
hfInt = To Intensity: 1600, 0.001, "no"
selectObject: sound
lf = Filter (pass Hann band): 0, 1000, 100
lfInt = To Intensity: 1600, 0.001, "no"
lowTop = Get maximum: 0, 0, "none"

procedure level: .object, .i
    selectObject: .object
    .v = Get value in frame: .i
    if .v = undefined
        .v = -300
    endif
endproc

i = 1
if kind$ = "cluster"
    # past the s: its noise, then the closure
    @level: hfInt, i
    h = level.v
    @level: lfInt, i
    while i < n and not (h > level.v and h > top - 40)
        i = i + 1
        @level: hfInt, i
        h = level.v
        @level: lfInt, i
    endwhile
    @level: all, i
    while i < n and level.v > top - 45
        i = i + 1
        @level: all, i
    endwhile
endif
@level: all, i
while i < n and level.v <= top - 45
    i = i + 1
    @level: all, i
endwhile
release = i
burst = -1
for k from release to min (n, release + 29)
    @level: hfInt, k
    h = level.v
    @level: lfInt, k
    if burst < 0 and h > level.v and h > top - 40
        burst = k - release
    endif
endfor
k = release
@level: lfInt, k
while k < n and level.v < lowTop - 10
    k = k + 1
    @level: lfInt, k
endwhile
selectObject: all
t = Get time from frame number: release
appendInfoLine: fixed$ (t, 3), " ", burst, " ", k - release
