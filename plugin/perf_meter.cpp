#include "plugin/perf_meter.h"

#include <chrono>
#include <cstdio>

double CPerfMeter::now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void CPerfMeter::beginCallAt(double t) {
    if (windowStart < 0) windowStart = t;
    if (calls > kWindowCalls && t > windowStart) {
        loadValue = float(measured / (t - windowStart));
        std::snprintf(loadText, sizeof loadText, "%2.0f %%", double(loadValue) * 100);
        calls = 0;
        measured = 0;
        windowStart = t;
    }
    callStart = t;
}

void CPerfMeter::endCallAt(double t) {
    if (t > callStart) measured += t - callStart;
    ++calls;
}

bool CPerfMeter::overloadedAt(double t, int frames, int rate) {
    if (latched) {
        if (--countdown <= 0) latched = false;
        return true;
    }
    double budget = rate > 0 ? double(frames) / double(rate) : 0;
    if (t - callStart <= budget) {
        strikes = 0;
        return false;
    }
    if (strikes < kStrikes) {
        ++strikes;
        return false;
    }
    strikes = 0;
    latched = true;
    countdown = kLatchedCalls;
    return true;
}
