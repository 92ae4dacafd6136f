// Automation objects of older stored scores: per-note controllers and
// envelopes. They are read so such scores still load; nothing plays them.
#pragma once

class CUFile;

struct CSQControllerSeg {
    float position = 0;  // fraction of the note, 0..0.99
    float value = 0;
};

class CSQController {
public:
    static constexpr int kMaxSegments = 64;
    static constexpr float kHitPixels = 3;

    CSQController() = default;
    CSQController(int identifier, float value);  // segments at 0 and 0.99
    virtual ~CSQController() = default;

    // Moves segment i, keeping it between its neighbours; all but the first
    // stay within 0.05..0.99.
    void moveSegment(int i, float position, float value);
    // The segment within 3 pixels of (x, y) in both directions, else a new one
    // inserted after the last segment left of x; -1 when full. Positions and
    // values map to pixels by width and height.
    int hitOrInsert(float x, float y, float width, float height);

    void write(CUFile& f) const;
    // Segments beyond the capacity are read and dropped; false when the
    // stream ran out.
    bool read(CUFile& f);

    int identifier = 0;
    int count = 0;
    CSQControllerSeg segments[kMaxSegments];
};

struct CSQAutoEnvSeg {
    float a = 0, b = 0, c = 0;
};

class CSQAutoEnv {
public:
    static constexpr int kMaxSegments = 64;

    CSQAutoEnv() = default;
    CSQAutoEnv(int identifier, float value);
    virtual ~CSQAutoEnv() { delete next; }

    void write(CUFile& f) const;
    // Reads the record; returns the int that ended the second list.
    int read(CUFile& f);

    int identifier = 0;
    float defaultValue = 0;
    int firstCount = 0, secondCount = 0;
    CSQAutoEnvSeg first[kMaxSegments];
    CSQAutoEnvSeg second[kMaxSegments];
    CSQAutoEnv* next = nullptr;  // chain of a note's envelopes
};
