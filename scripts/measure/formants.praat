# F1 and F2 of steady stretches of a WAV file, by Burg formant tracking:
# median over 10 ms frames of each stretch. Reads the stretches from a text
# file (seconds; a table with the header "label start end") and prints
# "label F1 F2" per stretch.
#   praat --run formants.praat ABS.wav ABS_STRETCHES.txt CEILING F0
form Formants
    sentence wav /tmp/x.wav
    sentence stretches /tmp/x.txt
    real ceiling 5000
    real f0 110
endform
sound = Read from file: wav$
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
    appendInfoLine: label$, " ", fixed$(f1, 0), " ", fixed$(f2, 0)
endfor
