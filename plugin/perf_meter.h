// The CPU meter of the processing path: the share of wall time spent in
// processing calls, as text, and the overload guard that silences the
// output when rendering keeps taking longer than the audio it produces.
// Times are seconds from a monotonic clock; the *At forms take the time
// as an argument (tests).
#pragma once

class CPerfMeter {
public:
    static constexpr int kWindowCalls = 100;
    static constexpr int kStrikes = 9;
    static constexpr int kLatchedCalls = 9;

    static double now();

    void beginCall() { beginCallAt(now()); }
    void endCall() { endCallAt(now()); }
    // Asked after each engine block of a call rendering `frames` frames.
    bool overloaded(int frames, int rate) { return overloadedAt(now(), frames, rate); }

    void beginCallAt(double t);
    void endCallAt(double t);
    bool overloadedAt(double t, int frames, int rate);

    const char* text() const { return loadText; }
    float load() const { return loadValue; }

private:
    int calls = 0;
    double measured = 0;
    double windowStart = -1;
    double callStart = 0;
    int strikes = 0;
    bool latched = false;
    int countdown = 0;
    float loadValue = 0;
    char loadText[16] = "?? %";
};
