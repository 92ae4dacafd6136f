// Standard MIDI File reading (formats 0 and 1). CSMFile walks the chunks and
// events of a file held in memory and calls one overridable operation per
// event; CSMRead's versions of those operations write one line per event to
// the diagnostic log. The importer derives from CSMRead and keeps the lines
// of the events it does not replace.
//
// Whatever the bytes, reading stays inside the buffer, every loop consumes at
// least one byte, and sysex and meta data land in fixed buffers (longer data
// is counted and skipped). Errors are reported and reading goes on.
#pragma once

#include <cstddef>
#include <cstdint>

class CSMFile {
public:
    static constexpr int kSysexLen = 4096;  // bytes of a sysex kept for the callback
    static constexpr int kMetaLen = 1024;   // bytes of a meta event kept for the callback

    CSMFile() = default;
    virtual ~CSMFile() = default;
    CSMFile(const CSMFile&) = delete;
    CSMFile& operator=(const CSMFile&) = delete;

    // Reads the whole file. False when it does not begin with "MThd" (the
    // rest is still read, as far as it goes).
    bool read(const uint8_t* data, size_t size);

    // A sysex without its closing F7 waits for F7 continuation packets.
    bool mergeSysex = true;

    // State visible to the callbacks.
    int format = 0;
    int trackCount = 0;
    int division = 0;          // signed: negative is SMPTE timing
    int track = -1;            // index of the current track chunk
    uint64_t time = 0;         // file ticks since the track start
    int tempoMicros = 500000;  // last tempo read, for the log's seconds
    int errors = 0;

protected:
    // The current event time in seconds, at the last tempo read.
    double seconds() const;

    virtual void onHeader(int /*format*/, int /*ntrks*/, int /*division*/) {}
    virtual void onTrackStart() {}
    virtual void onTrackEnd() {}
    virtual void onNoteOn(int /*chan*/, int /*pitch*/, int /*velocity*/) {}
    virtual void onNoteOff(int /*chan*/, int /*pitch*/, int /*velocity*/) {}
    virtual void onPressure(int /*chan*/, int /*pitch*/, int /*pressure*/) {}
    virtual void onParameter(int /*chan*/, int /*controller*/, int /*value*/) {}
    // Data bytes in file order: the low 7 bits first, then the high 7 bits.
    virtual void onPitchBend(int /*chan*/, int /*lsb*/, int /*msb*/) {}
    virtual void onProgram(int /*chan*/, int /*program*/) {}
    virtual void onChannelPressure(int /*chan*/, int /*pressure*/) {}
    // length counts every byte of the message; data holds up to kSysexLen.
    virtual void onSysex(int /*length*/, const uint8_t* /*data*/, int /*kept*/) {}
    virtual void onArbitrary(int /*length*/, const uint8_t* /*data*/, int /*kept*/) {}
    virtual void onMetaMisc(int /*type*/, int /*length*/, const uint8_t* /*data*/, int /*kept*/) {}
    virtual void onSequencerSpecific(int /*type*/, int /*length*/, const uint8_t* /*data*/, int /*kept*/) {}
    // Meta text types 1..15.
    virtual void onText(int /*type*/, int /*length*/, const uint8_t* /*data*/, int /*kept*/) {}
    virtual void onSequenceNumber(int /*number*/) {}
    virtual void onEndOfTrack() {}
    virtual void onKeySignature(int /*sharpsFlats*/, int /*minor*/) {}
    virtual void onTempo(int /*microsPerQuarter*/) {}
    virtual void onTimeSignature(int /*numerator*/, int /*denominatorPower*/, int /*clocksPerClick*/,
                                 int /*thirtySecondsPer24Clocks*/) {}
    virtual void onSmpte(int /*hour*/, int /*minute*/, int /*second*/, int /*frame*/, int /*fraction*/) {}
    virtual void onError(const char* /*text*/) {}

private:
    void error(const char* text);
    bool expect(const char* tag);  // compares up to four bytes, reports a mismatch
    int byte();                    // next byte of the current limit; -1 at its end
    uint32_t number(int bytes);
    uint32_t varNumber();
    void readTrack(size_t end);
    void readMeta();
    // Reads length bytes into buf (at most cap kept); false at the end.
    bool readData(uint32_t length, uint8_t* buf, int cap, int& kept);

    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t pos = 0;
    size_t limit = 0;  // end of the chunk being read
    bool eof = false;
    int status = 0;    // running status, 0 when none
    bool sysexContinue = false;
    int sysexLength = 0;
    int sysexKept = 0;
    uint8_t sysex[kSysexLen];
    uint8_t meta[kMetaLen];
};

// The reader's own handling: one line per event into the diagnostic log.
class CSMRead : public CSMFile {
public:
    // Off: nothing is logged (tests of the import, the fuzzer, batch tools).
    bool logging = true;

protected:
    // Where the lines go; the diagnostic log "Debug.txt" by default.
    virtual void logLine(const char* text);
    void logf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Channel and meta lines begin with the event time in seconds.
    void logTimed(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    void onHeader(int format, int ntrks, int division) override;
    void onTrackStart() override;
    void onTrackEnd() override;
    void onNoteOn(int chan, int pitch, int velocity) override;
    void onNoteOff(int chan, int pitch, int velocity) override;
    void onPressure(int chan, int pitch, int pressure) override;
    void onParameter(int chan, int controller, int value) override;
    void onPitchBend(int chan, int lsb, int msb) override;
    void onProgram(int chan, int program) override;
    void onChannelPressure(int chan, int pressure) override;
    void onSysex(int length, const uint8_t* data, int kept) override;
    void onArbitrary(int length, const uint8_t* data, int kept) override;
    void onMetaMisc(int type, int length, const uint8_t* data, int kept) override;
    void onSequencerSpecific(int type, int length, const uint8_t* data, int kept) override;
    void onText(int type, int length, const uint8_t* data, int kept) override;
    void onSequenceNumber(int number) override;
    void onEndOfTrack() override;
    void onKeySignature(int sharpsFlats, int minor) override;
    void onTempo(int microsPerQuarter) override;
    void onTimeSignature(int numerator, int denominatorPower, int clocksPerClick, int thirtySecondsPer24Clocks) override;
    void onSmpte(int hour, int minute, int second, int frame, int fraction) override;
    void onError(const char* text) override;
};
