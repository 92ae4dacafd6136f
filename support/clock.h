// High-resolution monotonic clock for the editor tick and the CPU meter.
#pragma once

class CClock {
public:
    static double now();  // seconds
    void start() { started = now(); }
    void stop() {
        stopped = now();
        interval = stopped - started;
    }
    double elapsed() const { return now() - started; }
    double lastInterval() const { return interval; }

private:
    double started = 0;
    double stopped = 0;
    double interval = 0;
};
