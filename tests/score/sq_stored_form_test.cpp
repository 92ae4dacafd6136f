// The stored form of a part's score: round trip, the older record forms and
// broken input.
#include <gtest/gtest.h>

#include <vector>

#include "files/cu_file.h"
#include "score/sq_event_list.h"
#include "score/sq_legacy.h"

namespace {

std::vector<uint8_t> store(const CSQEventList& list, int version = CUFile::kVersion) {
    std::vector<uint8_t> bytes(list.storedSize() + 16);
    CUFile f;
    f.attachMemory(bytes.data(), bytes.size());
    f.version = version;
    list.write(f);
    EXPECT_EQ(f.count(), list.storedSize());
    bytes.resize(f.count());
    return bytes;
}

bool load(CSQEventList& list, const std::vector<uint8_t>& bytes, int version = CUFile::kVersion) {
    CUFile f;
    f.attachMemory(static_cast<const void*>(bytes.data()), bytes.size());
    f.version = version;
    return list.read(f);
}

// Writes the head and body of an older note record.
void writeOldNote(CUFile& f, int version, float start, float end, float fraction) {
    f.writeInt(98);
    f.writeInt(0), f.writeInt(0), f.writeInt(64), f.writeFloat(start);
    if (version == 2) f.writeInt(1);
    for (int i = 0; i < kNoteValues; ++i) f.writeFloat(0.1f * float(i));
    f.writeText("old");
    f.writeInt(0);
    for (int i = 0; i < kNotePhonemes; ++i) {
        f.writeByte(i == 0 ? 10 : 198);
        f.writeByte(i == 0 ? 1 : 0);
        if (version == 2) f.writeFloat(i == 0 ? fraction : 0);
    }
    for (int id : {3, 4}) {  // a chain of two envelopes
        f.writeInt(98);
        CSQAutoEnv(id, 0.5f).write(f);
    }
    f.writeInt(99);
    if (version == 2) CSQController(7, 0.25f).write(f);
    f.writeInt(98);
    f.writeInt(1), f.writeInt(1), f.writeInt(0), f.writeFloat(end);
}

}  // namespace

TEST(StoredForm, RoundTripWithEveryFieldSet) {
    CSQEventList list;
    for (int n = 0; n < 3; ++n) {
        CSQEvent* s = list.append(true, 5000.5f * float(n), 40 + n, 90);
        s->type = 0;
        s->timingValid = true;
        for (int i = 0; i < kNoteValues; ++i) s->values[i] = 0.01f * float(i + n);
        s->setLyric(n == 1 ? "" : "word-");
        s->handEdited = n;
        for (int i = 0; i < kNotePhonemes; ++i) {
            s->phonemes[i] = uint8_t(i < 4 ? 2 * (i + n) : 198);
            s->phonemeBytes[i] = uint8_t(i % 3);
            s->fractions[i] = 1.0f / float(i + 1);
            s->levels[i] = 0.5f + 0.01f * float(i);
        }
        s->noteScale = 1.5f;
        for (int i = 0; i < kPitchPoints; ++i) s->pitchCurve[i] = 0.1f * float(i - n);
        for (int l = 0; l < kNoteLanes; ++l) {
            s->laneLevels[l] = 0.2f * float(l);
            for (int i = 0; i < kLanePoints; ++i) s->lanes[l][i] = float(l * 100 + i);
        }
        list.append(false, 5000.5f * float(n) + 4000, 0, 0);
    }
    list.append(true, 90000, 60, 100);  // still recording: not stored

    std::vector<uint8_t> bytes = store(list);
    CSQEventList copy;
    ASSERT_TRUE(load(copy, bytes));
    EXPECT_EQ(copy.noteCount(), 3);
    EXPECT_EQ(store(copy), bytes) << "writing what was read gives the same bytes";
    CSQEvent* second = copy.head()->next->next;
    EXPECT_STREQ(second->lyric, "");
    EXPECT_EQ(second->handEdited, 1);
    EXPECT_EQ(second->next->partner, second);
    EXPECT_EQ(second->glidePartner, nullptr) << "1000 ticks apart";
    EXPECT_FLOAT_EQ(second->lanes[4][39], 439);
    EXPECT_EQ(second->mainVowel, 0);
}

TEST(StoredForm, OutOfRangeLevelsReadAsOne) {
    CSQEventList list;
    CSQEvent* s = list.append(true, 0, 60, 100);
    list.append(false, 2000, 0, 0);
    s->levels[0] = 1.5f;
    s->levels[1] = -0.5f;
    s->levels[2] = 0.25f;
    CSQEventList copy;
    ASSERT_TRUE(load(copy, store(list)));
    EXPECT_EQ(copy.head()->levels[0], 1.0f);
    EXPECT_EQ(copy.head()->levels[1], 1.0f);
    EXPECT_EQ(copy.head()->levels[2], 0.25f);
}

TEST(StoredForm, OlderRecordsWithLegacyAutomation) {
    for (int version : {1, 2}) {
        std::vector<uint8_t> bytes(4096);
        CUFile w;
        w.attachMemory(bytes.data(), bytes.size());
        writeOldNote(w, version, 100, 2100, 0.75f);
        writeOldNote(w, version, 2500, 4500, 0.25f);
        w.writeInt(99);
        bytes.resize(w.count());

        CSQEventList list;
        ASSERT_TRUE(load(list, bytes, version)) << version;
        ASSERT_EQ(list.noteCount(), 2);
        CSQEvent* n = list.head();
        EXPECT_STREQ(n->lyric, "old");
        EXPECT_EQ(n->pitch, 64);
        EXPECT_EQ(n->phonemes[0], 10);
        EXPECT_EQ(n->next->start, 2100.0f);
        EXPECT_EQ(n->levels[0], 1.0f);
        EXPECT_EQ(n->fractions[0], version == 2 ? 0.75f : 0.0f);
        EXPECT_EQ(n->timingValid, version == 2);
        ASSERT_NE(n->envelopes, nullptr);
        EXPECT_EQ(n->envelopes->identifier, 3);
        EXPECT_EQ(n->envelopes->firstCount, 2);
        ASSERT_NE(n->envelopes->next, nullptr);
        EXPECT_EQ(n->envelopes->next->identifier, 4);
        EXPECT_EQ(n->envelopes->secondCount, 1);
        EXPECT_EQ(n->envelopes->next->first[1].b, 0.5f);
        ASSERT_NE(n->controller, nullptr);
        EXPECT_EQ(n->controller->identifier, version == 2 ? 7 : 10);
        EXPECT_EQ(n->controller->count, 2);
        EXPECT_EQ(n->controller->segments[1].position, 0.99f);
        EXPECT_EQ(list.head()->next->next->glidePartner, list.head()) << "400 ticks apart";
    }
}

TEST(StoredForm, BrokenInputLeavesTheListAlone) {
    CSQEventList list;
    list.append(true, 0, 60, 100);
    list.append(false, 2000, 0, 0);
    std::vector<uint8_t> bytes = store(list);
    CSQEventList target;
    target.append(true, 7, 50, 100);
    target.append(false, 3000, 0, 0);
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
        EXPECT_FALSE(load(target, part)) << cut;
        ASSERT_EQ(target.noteCount(), 1);
        EXPECT_EQ(target.head()->start, 7.0f);
    }

    // Stray events are dropped, notes come back in order.
    std::vector<uint8_t> odd(8192);
    CUFile w;
    w.attachMemory(odd.data(), odd.size());
    CSQEvent late, lateEnd, early, earlyEnd, strayEnd;
    late.start = 5000, lateEnd.endFlag = lateEnd.type = 1, lateEnd.start = 6000;
    early.start = 100, earlyEnd.endFlag = 1, earlyEnd.start = 50;  // ends before it starts
    strayEnd.endFlag = 1;
    for (CSQEvent* e : {&strayEnd, &late, &lateEnd, &early, &earlyEnd}) {
        w.writeInt(98);
        e->write(w);
    }
    w.writeInt(99);
    odd.resize(w.count());
    ASSERT_TRUE(load(target, odd));
    EXPECT_EQ(target.noteCount(), 2);
    EXPECT_EQ(target.head()->start, 100.0f);
    EXPECT_EQ(target.head()->end(), 100.0f);
    EXPECT_EQ(target.head()->next->next->start, 5000.0f);
}
