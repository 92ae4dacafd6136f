// The wave recorder: WAV files as other programs read them, the capture ring
// between the audio and the user-interface thread, and the choir render's
// arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "files/wave_io.h"

namespace {

std::string tempPath(const char* name) {
    static std::string dir = [] {
        char pattern[] = "/tmp/lyrena-wave-XXXXXX";
        const char* d = mkdtemp(pattern);
        return std::string(d ? d : "/tmp");
    }();
    return dir + "/" + name;
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
int le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
int16_t sampleAt(const std::vector<uint8_t>& b, size_t index) { return int16_t(le16(b, 44 + 2 * index)); }

TEST(WaveIO, RecordingWritesACompleteHeaderAndClipsAtFullScale) {
    auto rec = std::make_unique<CWaveIO>();
    std::string path = tempPath("header.wav");
    ASSERT_TRUE(rec->openFile(path.c_str(), 48000));
    EXPECT_STREQ(rec->fileTitle(), "header.wav");
    ASSERT_TRUE(rec->record(48000));
    const float left[] = {0.5f, 1.5f, -2.0f, -0.25f};
    const float right[] = {-0.5f, 1.0f, 0.0f, 1e-6f};
    rec->append(left, right, 4);
    rec->drain();
    rec->stop();
    EXPECT_FALSE(rec->isRecording());

    std::vector<uint8_t> b = readAll(path);
    ASSERT_EQ(b.size(), 44u + 16u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), 16u + 36u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le16(b, 20), 1);       // PCM
    EXPECT_EQ(le16(b, 22), 2);       // channels
    EXPECT_EQ(le32(b, 24), 48000u);  // rate
    EXPECT_EQ(le32(b, 28), 192000u); // byte rate
    EXPECT_EQ(le16(b, 32), 4);       // block align
    EXPECT_EQ(le16(b, 34), 16);      // bits
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le32(b, 40), 16u);
    const int16_t expected[] = {16383, -16383, 32767, 32767, -32767, 0, -8191, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(sampleAt(b, size_t(i)), expected[i]) << i;
}

TEST(WaveIO, RingCarriesBlocksAcrossItsEndAndDropsRatherThanOverwrites) {
    auto rec = std::make_unique<CWaveIO>();
    std::string path = tempPath("ring.wav");
    ASSERT_TRUE(rec->openFile(path.c_str(), 44100));
    rec->record(44100);
    // Blocks of 256 frames drained every 50 blocks: the ring wraps several
    // times; then 40000 frames without a drain overflow it.
    std::vector<float> l(256), r(256);
    int frame = 0;
    for (int block = 0; block < 400; ++block) {
        for (int i = 0; i < 256; ++i, ++frame) {
            l[size_t(i)] = float(frame % 1000) / 1000;
            r[size_t(i)] = -float(frame % 1000) / 1000;
        }
        rec->append(l.data(), r.data(), 256);
        if (block % 50 == 49) rec->drain();
    }
    std::vector<float> big(40000, 0.25f);
    rec->append(big.data(), big.data(), 40000);
    EXPECT_EQ(rec->droppedFrames(), uint64_t(40000 - 32768));
    EXPECT_EQ(rec->recordedFrames(), uint64_t(frame + 40000));
    rec->stop();

    std::vector<uint8_t> b = readAll(path);
    ASSERT_EQ(le32(b, 40), uint32_t(frame + 32768) * 4);
    for (int f = 0; f < frame; f += 97) {
        int16_t want = int16_t(float(f % 1000) / 1000 * 32767);
        ASSERT_EQ(sampleAt(b, size_t(2 * f)), want) << f;
        ASSERT_EQ(sampleAt(b, size_t(2 * f + 1)), -want) << f;
    }
    EXPECT_EQ(sampleAt(b, size_t(2 * (frame + 32767))), int16_t(0.25f * 32767));
}

TEST(WaveIO, ControlsAndTimeText) {
    auto rec = std::make_unique<CWaveIO>();
    char text[32];
    rec->timeText(text, sizeof text, 44100);
    EXPECT_STREQ(text, "not recording");
    rec->stop();   // no file: nothing happens
    rec->pause();  // likewise
    EXPECT_FALSE(rec->isRecording());
    EXPECT_FALSE(rec->isPaused());
    float one[1] = {0.5f};
    rec->append(one, one, 1);  // not recording: nothing captured
    EXPECT_EQ(rec->recordedFrames(), 0u);

    std::string path = tempPath("controls.wav");
    int started = 0;
    WavePlayback playback;
    playback.context = &started;
    playback.startLoop = [](void* c, bool stopAtEnd) { *static_cast<int*>(c) += stopAtEnd ? 1 : 100; };
    ASSERT_TRUE(rec->recordWithPlayback(path.c_str(), 44100, playback));
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(rec->isRecording());

    struct Case {
        int frames, rate;
        const char* text;
    };
    const Case cases[] = {
        {44100, 44100, "00:00:01.000"}, {100 * 3723 + 50, 100, "01:02:03.500"}, {441, 44100, "00:00:00.010"}};
    std::vector<float> silence(32768, 0.0f);
    for (const Case& c : cases) {
        auto r = std::make_unique<CWaveIO>();
        ASSERT_TRUE(r->openFile(tempPath("time.wav").c_str(), c.rate));
        r->record(c.rate);
        for (int left = c.frames; left > 0; left -= 32768) {
            r->append(silence.data(), silence.data(), std::min(left, 32768));
            r->drain();
        }
        r->timeText(text, sizeof text, c.rate);
        EXPECT_STREQ(text, c.text);
        r->pause();  // paused still shows the time, and stops capturing
        EXPECT_TRUE(r->isPaused());
        EXPECT_FALSE(r->isRecording());
        r->append(silence.data(), silence.data(), 100);
        r->timeText(text, sizeof text, c.rate);
        EXPECT_STREQ(text, c.text);
        r->pause();
        EXPECT_TRUE(r->isRecording());
        r->stop();
        EXPECT_EQ(readAll(tempPath("time.wav")).size(), 44u + 4u * uint32_t(c.frames));
    }
    rec->stop();
    EXPECT_FALSE(rec->isOpen());
    EXPECT_FALSE(rec->openFile("/nonexistent/dir/x.wav", 44100));
    EXPECT_FALSE(rec->isOpen());
}

TEST(WaveIO, ChoirRenderIsNormalisedOnlyAboveFullScale) {
    EXPECT_FLOAT_EQ(CWaveIO::normaliseScale(std::vector<float>{0.1f, -2.0f, 1.5f}.data(), 3), 0.45f);
    EXPECT_FLOAT_EQ(CWaveIO::normaliseScale(std::vector<float>{0.8f, -0.3f}.data(), 2), 1.0f);
    EXPECT_FLOAT_EQ(CWaveIO::normaliseScale(std::vector<float>{1.0f}.data(), 1), 0.9f);

    // 40000 frames: more than one chunk of 32768.
    std::vector<float> mix(2 * 40000, 0.0f);
    mix[0] = 2.0f;
    mix[1] = -1.0f;
    mix[2 * 39999 + 1] = 0.5f;
    auto rec = std::make_unique<CWaveIO>();
    std::string path = tempPath("choir.wav");
    ASSERT_TRUE(rec->writeChoir(path.c_str(), 44100, mix.data(), 40000));
    EXPECT_FALSE(rec->isOpen());
    std::vector<uint8_t> b = readAll(path);
    ASSERT_EQ(le32(b, 40), 40000u * 4);
    EXPECT_EQ(sampleAt(b, 0), int16_t(2.0f * 0.45f * 32767));
    EXPECT_EQ(sampleAt(b, 1), int16_t(-1.0f * 0.45f * 32767));
    EXPECT_EQ(sampleAt(b, 2 * 39999 + 1), int16_t(0.5f * 0.45f * 32767));

    // Song length of a loop region: 4 quarters at 120 BPM are 2 seconds.
    EXPECT_EQ(CWaveIO::choirLength(15360, 5 * 15360, 120, 44100), 88200);
    EXPECT_EQ(CWaveIO::choirLength(15360, 15360, 120, 44100), 0);
    EXPECT_EQ(CWaveIO::choirLength(0, 15360, 0, 44100), 0);
}

TEST(WaveIO, ChoirCopiesSpreadPanDetuneGenderAndStartOnWholeFrames) {
    float pan[8] = {0.5f, 0.7f, 0.0f, 1.0f, 0.5f, 0.5f, 0.5f, 0.5f};
    float gender[8] = {0.5f, 0.0f, 1.0f, 0.2f, 0.5f, 0.5f, 0.5f, 0.5f};
    CWaveIO::ChoirSettings one;
    one.voices = 1;
    one.pan = 1.0f;
    uint32_t state = 1;
    CWaveIO::ChoirCopy c;
    CWaveIO::choirCopy(one, 0, pan, gender, state, c);
    EXPECT_FLOAT_EQ(c.pan[0], 0.5f - 0.5f * 1.0f);  // w = 1
    EXPECT_FLOAT_EQ(c.pan[1], 0.7f - 0.5f * 0.6f);  // w = 0.6
    EXPECT_FLOAT_EQ(c.pan[2], 0.0f);                // hard left cannot spread
    EXPECT_FLOAT_EQ(c.pan[3], 1.0f);
    EXPECT_EQ(c.startFrame, 0);                     // no jitter
    for (int p = 0; p < 8; ++p) {
        EXPECT_FLOAT_EQ(c.fine[p], 0.0f);           // no detune
        EXPECT_FLOAT_EQ(c.gender[p], gender[p]);    // no gender spread
    }

    CWaveIO::ChoirSettings full;
    full.voices = 8;
    full.detune = 1;
    full.jitter = 1;
    full.gender = 1;
    full.pan = 0.5f;
    bool flat = false, sharp = false;
    for (int s = 0; s < 8; ++s) {
        CWaveIO::choirCopy(full, s, pan, gender, state, c);
        EXPECT_FLOAT_EQ(c.pan[0], 0.5f + 0.5f * (s / 8.0f - 0.5f));
        EXPECT_GE(c.startFrame, 0);
        EXPECT_LT(c.startFrame, 4000);
        for (int p = 0; p < 8; ++p) {
            EXPECT_LE(std::fabs(c.fine[p]), 0.125f);
            flat = flat || c.fine[p] < 0;
            sharp = sharp || c.fine[p] > 0;
            EXPECT_GE(c.gender[p], gender[p]);
            EXPECT_LE(c.gender[p], std::min(1.0f, gender[p] * 2));
        }
    }
    EXPECT_TRUE(flat && sharp);

    // A copy added at its start frame keeps left on even, right on odd samples.
    std::vector<float> mix(2 * 10, 0.0f);
    const float l[4] = {1, 1, 1, 1}, r[4] = {-1, -1, -1, -1};
    CWaveIO::mixBlock(mix.data(), 10, 7, l, r, 4);  // the last frame falls outside
    EXPECT_EQ(mix[13], 0.0f);
    EXPECT_EQ(mix[14], 1.0f);
    EXPECT_EQ(mix[15], -1.0f);
    EXPECT_EQ(mix[19], -1.0f);
}

}  // namespace
