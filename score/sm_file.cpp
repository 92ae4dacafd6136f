#include "score/sm_file.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "support/debug.h"

// ---- reading ----

bool CSMFile::read(const uint8_t* data, size_t length) {
    bytes = data;
    size = data ? length : 0;
    pos = 0;
    limit = size;
    eof = false;
    format = trackCount = division = 0;
    track = -1;
    time = 0;
    tempoMicros = 500000;
    errors = 0;
    status = 0;
    sysexContinue = false;

    bool isMidi = expect("MThd");
    uint32_t headerLength = number(4);
    format = int(number(2));
    trackCount = int(number(2));
    division = int(int16_t(number(2)));
    if (eof) return isMidi;
    if (headerLength > 6) pos += std::min<size_t>(headerLength - 6, size - pos);
    onHeader(format, trackCount, division);

    int t = 0;
    while (t < trackCount) {
        limit = size;
        eof = false;
        if (size - pos < 8) {
            error("premature EOF");  // fewer tracks than the header announced
            break;
        }
        if (std::memcmp(bytes + pos, "MTrk", 4) != 0) {
            // A chunk of another kind: the standard says to pass over it.
            error("expecting MTrk");
            pos += 4;
            uint32_t skip = number(4);
            pos += std::min<size_t>(skip, size - pos);
            continue;
        }
        pos += 4;
        uint32_t chunk = number(4);
        size_t available = size - pos;
        track = t++;
        readTrack(pos + std::min<size_t>(chunk, available));
        if (chunk > available && !eof) error("premature EOF");
    }
    limit = size;
    return isMidi;
}

double CSMFile::seconds() const {
    if (division > 0) return double(time) * tempoMicros / 1e6 / division;
    int fps = -(division >> 8);
    int perFrame = division & 0xFF;
    if (fps > 0 && perFrame > 0) return double(time) / (fps * perFrame);
    return 0;
}

void CSMFile::error(const char* text) {
    ++errors;
    onError(text);
}

bool CSMFile::expect(const char* tag) {
    bool same = true;
    for (int i = 0; i < 4; ++i) {
        int c = byte();
        if (c < 0) return false;
        if (c != uint8_t(tag[i])) same = false;
    }
    if (!same) {
        char text[32];
        std::snprintf(text, sizeof text, "expecting %s", tag);
        error(text);
    }
    return same;
}

int CSMFile::byte() {
    if (pos >= limit) {
        if (!eof) {
            eof = true;
            error("premature EOF");
        }
        return -1;
    }
    return bytes[pos++];
}

uint32_t CSMFile::number(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        int c = byte();
        if (c < 0) return value;
        value = value << 8 | uint32_t(c);
    }
    return value;
}

uint32_t CSMFile::varNumber() {
    // At most four bytes (28 bits), as the standard allows.
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        int c = byte();
        if (c < 0) return value;
        value = value << 7 | uint32_t(c & 0x7F);
        if (!(c & 0x80)) break;
    }
    return value;
}

bool CSMFile::readData(uint32_t length, uint8_t* buf, int cap, int& kept) {
    for (uint32_t i = 0; i < length; ++i) {
        int c = byte();
        if (c < 0) return false;
        if (kept < cap) buf[kept++] = uint8_t(c);
    }
    return true;
}

void CSMFile::readTrack(size_t end) {
    limit = end;
    time = 0;
    status = 0;
    sysexContinue = false;
    onTrackStart();
    while (pos < limit && !eof) {
        time += varNumber();
        int c = byte();
        if (c < 0) break;
        if (sysexContinue && c != 0xF7) {
            error("didn't find expected continuation of a sysex");
            sysexContinue = false;
        }
        if (c < 0xF0) {
            // Channel message, with a new or the running status. Meta and
            // sysex events leave the running status alone.
            int first;
            if (c & 0x80) {
                status = c;
                first = byte();
            } else {
                if (status == 0) {
                    error("unexpected running status");
                    continue;
                }
                first = c;
            }
            if (first < 0) break;
            int kind = status >> 4;
            int chan = status & 15;
            int second = 0;
            if (kind != 0xC && kind != 0xD) {
                second = byte();
                if (second < 0) break;
            }
            first &= 0x7F;
            second &= 0x7F;
            switch (kind) {
                case 0x8: onNoteOff(chan, first, second); break;
                case 0x9: onNoteOn(chan, first, second); break;
                case 0xA: onPressure(chan, first, second); break;
                case 0xB: onParameter(chan, first, second); break;
                case 0xC: onProgram(chan, first); break;
                case 0xD: onChannelPressure(chan, first); break;
                default: onPitchBend(chan, first, second); break;
            }
            continue;
        }
        if (c == 0xFF) {
            readMeta();
            continue;
        }
        if (c == 0xF0 || c == 0xF7) {
            uint32_t length = varNumber();
            if (eof) break;
            bool continuation = c == 0xF7 && sysexContinue;
            if (!continuation) {
                sysexLength = 0;
                sysexKept = 0;
                if (c == 0xF0) {
                    sysex[sysexKept++] = 0xF0;
                    sysexLength = 1;
                }
            }
            if (!readData(length, sysex, kSysexLen, sysexKept)) break;
            sysexLength += int(std::min<uint32_t>(length, 0x7FFFFFFF - uint32_t(sysexLength)));
            // The last byte read decides whether the message is complete.
            bool closed = length > 0 && bytes[pos - 1] == 0xF7;
            if (c == 0xF0) {
                if (closed || !mergeSysex)
                    onSysex(sysexLength, sysex, sysexKept);
                else
                    sysexContinue = true;
            } else if (!continuation) {
                onArbitrary(sysexLength, sysex, sysexKept);
            } else if (closed) {
                onSysex(sysexLength, sysex, sysexKept);
                sysexContinue = false;
            }
            continue;
        }
        char text[32];
        std::snprintf(text, sizeof text, "unexpected byte: 0x%02x", c);
        error(text);
    }
    onTrackEnd();
    pos = limit;  // a track cut short by an error still ends at its chunk's end
    limit = size;
}

void CSMFile::readMeta() {
    int type = byte();
    if (type < 0) return;
    uint32_t length = varNumber();
    if (eof) return;
    int kept = 0;
    if (!readData(length, meta, kMetaLen, kept)) return;
    int n = int(std::min<uint32_t>(length, 0x7FFFFFFF));
    const uint8_t* m = meta;
    // A known type too short for its fields is passed on as unrecognized.
    if (type == 0x00 && kept >= 2) {
        onSequenceNumber(m[0] << 8 | m[1]);
    } else if (type >= 0x01 && type <= 0x0F) {
        onText(type, n, m, kept);
    } else if (type == 0x2F) {
        onEndOfTrack();
    } else if (type == 0x51 && kept >= 3) {
        int micros = m[0] << 16 | m[1] << 8 | m[2];
        if (micros > 0) tempoMicros = micros;
        onTempo(micros);
    } else if (type == 0x54 && kept >= 5) {
        onSmpte(m[0], m[1], m[2], m[3], m[4]);
    } else if (type == 0x58 && kept >= 4) {
        onTimeSignature(m[0], m[1], m[2], m[3]);
    } else if (type == 0x59 && kept >= 2) {
        onKeySignature(int8_t(m[0]), m[1]);
    } else if (type == 0x7F) {
        onSequencerSpecific(type, n, m, kept);
    } else {
        onMetaMisc(type, n, m, kept);
    }
}

// ---- the log lines ----

void CSMRead::logLine(const char* text) { CDebug::line(text); }

void CSMRead::logf(const char* fmt, ...) {
    if (!logging) return;
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    logLine(text);
}

void CSMRead::logTimed(const char* fmt, ...) {
    if (!logging) return;
    char text[512];
    int n = std::snprintf(text, sizeof text, "Time=%f   ", seconds());
    if (n < 0 || n >= int(sizeof text)) n = 0;
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text + n, sizeof text - n, fmt, args);
    va_end(args);
    logLine(text);
}

void CSMRead::onHeader(int f, int ntrks, int div) { logf("Header format=%d ntrks=%d division=%d", f, ntrks, div); }
void CSMRead::onTrackStart() { logf("Track start"); }
void CSMRead::onTrackEnd() { logf("Track end"); }
void CSMRead::onNoteOn(int chan, int pitch, int velocity) {
    logTimed("Note on, chan=%d pitch=%d vol=%d", chan + 1, pitch, velocity);
}
void CSMRead::onNoteOff(int chan, int pitch, int velocity) {
    logTimed("Note off, chan=%d pitch=%d vol=%d", chan + 1, pitch, velocity);
}
void CSMRead::onPressure(int chan, int pitch, int pressure) {
    logTimed("Pressure, chan=%d pitch=%d press=%d", chan + 1, pitch, pressure);
}
void CSMRead::onParameter(int chan, int controller, int value) {
    logTimed("Parameter, chan=%d c1=%d c2=%d", chan + 1, controller, value);
}
void CSMRead::onPitchBend(int chan, int lsb, int msb) {
    logTimed("Pitchbend, chan=%d msb=%d lsb=%d", chan + 1, msb, lsb);
}
void CSMRead::onProgram(int chan, int program) { logTimed("Program, chan=%d program=%d", chan + 1, program); }
void CSMRead::onChannelPressure(int chan, int pressure) {
    logTimed("Channel pressure, chan=%d pressure=%d", chan + 1, pressure);
}
void CSMRead::onSysex(int length, const uint8_t*, int) { logf("Sysex, leng=%d", length); }
void CSMRead::onArbitrary(int length, const uint8_t*, int) { logf("Arbitrary bytes, leng=%d", length); }
void CSMRead::onMetaMisc(int type, int length, const uint8_t*, int) {
    logTimed("Meta event, unrecognized, type=0x%02x leng=%d", type, length);
}
void CSMRead::onSequencerSpecific(int type, int length, const uint8_t*, int) {
    logTimed("Meta event, sequencer-specific, type=0x%02x leng=%d", type, length);
}

void CSMRead::onText(int type, int length, const uint8_t* data, int kept) {
    static const char* const kNames[] = {"Unrecognized",      "Text Event",      "Copyright Notice",
                                         "Sequence/Track Name", "Instrument Name", "Lyric",
                                         "Marker",            "Cue Point",       "Unrecognized"};
    if (!logging) return;
    int shown = type >= 1 && type <= 7 ? type : 8;
    logTimed("Meta Text, type=0x%02x (%s)  leng=%d", shown, kNames[shown], length);
    char text[16 + 100 * 5 + 2];
    int n = std::snprintf(text, sizeof text, "     Text = <");
    for (int i = 0; i < kept && i < 100; ++i) {
        uint8_t c = data[i];
        if (c >= 0x20 && c < 0x7F)
            text[n++] = char(c);
        else
            n += std::snprintf(text + n, sizeof text - n, "\\0x%02x", c);
    }
    text[n++] = '>';
    text[n] = 0;
    logLine(text);
}

void CSMRead::onSequenceNumber(int number) { logTimed("Meta event, sequence number = %d", number); }
void CSMRead::onEndOfTrack() { logTimed("Meta event, end of track"); }
void CSMRead::onKeySignature(int sharpsFlats, int minor) {
    logTimed("Key signature, sharp/flats=%d  minor=%d", sharpsFlats, minor);
}
void CSMRead::onTempo(int micros) { logTimed("Tempo, microseconds-per-MIDI-quarter-note=%d", micros); }
void CSMRead::onTimeSignature(int numerator, int power, int clocks, int thirtySeconds) {
    logTimed("Time signature=%d/%d  MIDI-clocks/click=%d  32nd-notes/24-MIDI-clocks=%d", numerator, power, clocks,
             thirtySeconds);
}
void CSMRead::onSmpte(int hour, int minute, int second, int frame, int fraction) {
    logTimed("SMPTE, hour=%d minute=%d second=%d frame=%d fract-frame=%d", hour, minute, second, frame, fraction);
}
void CSMRead::onError(const char* text) { logf("Error: %s", text); }
