// A generated table: a function replaced by piecewise-linear segments so the
// render path maps values with one multiply-add instead of exp/log/trig.
#pragma once

#include <vector>

class CTLBase {
public:
    // Builds n segments from f evaluated at x_j = x0 + j*h (j = 0..n).
    // Segment 0 is flat at f(x0) (the lookup at x0 gives the function's value
    // exactly); `close` makes the last segment flat at f(x_n) so inputs
    // beyond the range stay there.
    template <class F>
    void build(int n, double x0, double h, bool close, F f) {
        begin(n, x0, h);
        double prev = f(x0);
        for (int j = 0; j < n; ++j) {
            double next = f(x0 + (j + 1) * h);
            if (j == 0 || (close && j == n - 1))
                set(j, 0.0, j == 0 ? prev : next);
            else
                setLine(j, prev, next);
            prev = next;
        }
    }
    // Periodic waves: every segment interpolates (no flat first segment).
    template <class F>
    void buildWave(int n, double h, bool continuous, F f) {
        begin(n, 0.0, h);
        double prev = f(0.0);
        for (int j = 0; j < n; ++j) {
            double next = f((j + 1) * h);
            if (continuous)
                setLine(j, prev, next);
            else
                set(j, 0.0, prev);
            prev = next;
        }
    }

    // Segment trunc((x - x0) / h) clamped to the table, evaluated at x.
    float lookup(float x) const {
        float t = (x - x0f) * scale;
        int i = t > 0.0f ? int(t) : 0;
        if (i > last) i = last;
        return t * seg[2 * i] + seg[2 * i + 1];
    }
    // Lookup by a given segment index (shapes use the rounded index); the
    // segment's line is still evaluated at the real input t.
    float at(int i, float t) const {
        if (i < 0) i = 0;
        if (i > last) i = last;
        return t * seg[2 * i] + seg[2 * i + 1];
    }
    int segments() const { return last + 1; }
    float slope(int i) const { return seg[2 * i]; }
    float offset(int i) const { return seg[2 * i + 1]; }
    // Segment position of an input (for at()).
    float position(float x) const { return (x - x0f) * scale; }
    // The raw slope, offset pairs and the input mapping, for vectorised
    // lookups that repeat lookup() lane by lane.
    const float* data() const { return seg.data(); }
    float origin() const { return x0f; }
    float inverseStep() const { return scale; }

private:
    void begin(int n, double x0v, double hv);
    void set(int j, double slope, double offset);
    // Segment j through (t = j, a) and (t = j + 1, b); lines are kept in the
    // segment variable t = (x - x0) / h.
    void setLine(int j, double a, double b);

    std::vector<float> seg;  // slope, offset pairs
    int last = 0;
    float x0f = 0;
    float scale = 1;  // 1 / h
};
