# F1 and F2 of steady stretches of a WAV file, by Burg formant tracking:
# median over 10 ms frames of each stretch. Reads the stretches from a text
# file (seconds) and prints
# "label F1 F2 envF1 envF2" per stretch, where envF1/envF2 are the peaks of
# the harmonic-amplitude envelope (a second opinion at high pitch, where
# linear prediction leans toward single harmonics). The stretches file is a
# table with the header "label start end".
#   praat --run formants.praat ABS.wav ABS_STRETCHES.txt CEILING F0
form Formants
    sentence wav /tmp/x.wav
    sentence stretches /tmp/x.txt
    real ceiling 5000
    real f0 110
endform
sound = Read from file: wav$
mono = Convert to mono
formant = To Formant (burg): 0.01, 5, ceiling, 0.025, 50
table = Read Table from whitespace-separated file: stretches$
n = Get number of rows
for i to n
    selectObject: table
    label$ = Get value: i, "label"
    t1 = Get value: i, "start"
    t2 = Get value: i, "end"
    selectObject: formant
    f1 = Get quantile: 1, t1, t2, "hertz", 0.5
    f2 = Get quantile: 2, t1, t2, "hertz", 0.5
    # Harmonic envelope: level of each harmonic k f0 below 4 kHz in the
    # stretch's spectrum, peak picked with a parabola over (k-1, k, k+1).
    selectObject: mono
    part = Extract part: t1, t2, "Hanning", 1, "no"
    spectrum = To Spectrum: "yes"
    nh = floor(4000 / f0)
    for k to nh
        db[k] = Get sound pressure level of nearest maximum: k * f0
    endfor
    e1 = 0
    e2 = 0
    best = -1000
    for k from 2 to nh - 1
        if k * f0 >= 200 and k * f0 <= 1100 and db[k] > best and db[k] >= db[k-1] and db[k] >= db[k+1]
            best = db[k]
            e1 = k
        endif
    endfor
    best = -1000
    for k from 2 to nh - 1
        if k * f0 >= max(700, e1 * f0 + 250) and k * f0 <= 3000 and db[k] > best and db[k] >= db[k-1] and db[k] >= db[k+1]
            best = db[k]
            e2 = k
        endif
    endfor
    env1 = 0
    env2 = 0
    if e1 > 0
        d = db[e1-1] - 2 * db[e1] + db[e1+1]
        env1 = e1 * f0
        if d < 0
            env1 = (e1 + 0.5 * (db[e1-1] - db[e1+1]) / d) * f0
        endif
    endif
    if e2 > 0
        d = db[e2-1] - 2 * db[e2] + db[e2+1]
        env2 = e2 * f0
        if d < 0
            env2 = (e2 + 0.5 * (db[e2-1] - db[e2+1]) / d) * f0
        endif
    endif
    removeObject: part, spectrum
    appendInfoLine: label$, " ", fixed$(f1, 0), " ", fixed$(f2, 0), " ", fixed$(env1, 0), " ", fixed$(env2, 0)
endfor
