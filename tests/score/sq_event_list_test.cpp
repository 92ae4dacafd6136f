// Editing a part's notes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "score/sq_event_list.h"

namespace {

// Notes as (start, end, pitch) for compact checks.
std::string notes(const CSQEventList& list) {
    std::string s;
    for (CSQEvent* e = list.head(); e; e = e->next) {
        if (e->isEnd()) continue;
        s += std::to_string(int(e->start)) + "-" + std::to_string(int(e->end())) + ":" + std::to_string(e->pitch) + " ";
    }
    return s;
}

// A list of notes at the given (start, end) ticks, pitch 60.
void build(CSQEventList& list, std::initializer_list<std::pair<float, float>> spans) {
    for (auto [s, e] : spans) {
        list.append(true, s, 60, 100);
        list.append(false, e, 0, 0);
    }
}

}  // namespace

TEST(EventList, InsertAndExtend) {
    CSQEventList list;
    ASSERT_TRUE(list.insertNote(0, 0, 60));
    CSQEvent* n = list.head();
    EXPECT_EQ(notes(list), "0-1920:60 ");
    EXPECT_STREQ(n->lyric, "La");
    EXPECT_TRUE(n->selected);
    EXPECT_EQ(list.lastInserted(), n);
    EXPECT_FALSE(list.extendLastInserted(1000)) << "shorter than 1920";
    EXPECT_TRUE(list.extendLastInserted(5000));
    EXPECT_EQ(notes(list), "0-5000:60 ");

    EXPECT_FALSE(list.insertNote(100, 100, 62)) << "inside a note";
    EXPECT_FALSE(list.insertNote(6000, 2000, 62)) << "t inside";
    ASSERT_TRUE(list.insertNote(9000, 9000, 64));
    EXPECT_FALSE(list.insertNote(7500, 7500, 62)) << "next note less than 1920 after";
    ASSERT_TRUE(list.insertNote(5000, 5000, 62)) << "a note may begin where another ends";
    EXPECT_EQ(notes(list), "0-5000:60 5000-6920:62 9000-10920:64 ");
    EXPECT_TRUE(list.extendLastInserted(20000)) << "limited to the next start";
    EXPECT_EQ(notes(list), "0-5000:60 5000-9000:62 9000-10920:64 ");
    EXPECT_EQ(list.findNote(9000)->pitch, 62) << "span includes its end";
    EXPECT_EQ(list.findAt(9000)->pitch, 64);
    EXPECT_EQ(list.findStart(5001)->pitch, 64);
    EXPECT_EQ(list.findNote(20000), nullptr);
}

TEST(EventList, LegatoBelow768TicksGap) {
    CSQEventList list;
    build(list, {{0, 1920}, {1920 + 767, 5000}, {5000 + 768, 8000}});
    CSQEvent* a = list.head();
    CSQEvent* b = a->next->next;
    CSQEvent* c = b->next->next;
    EXPECT_EQ(a->glidePartner, nullptr);
    EXPECT_EQ(b->glidePartner, a);
    EXPECT_EQ(c->glidePartner, nullptr);
    b->type = 2;  // a start of another kind is never legato
    list.moveSelection(0, 0);
    list.append(true, 8100, 60, 1);
    list.append(false, 9000, 0, 0);
    EXPECT_EQ(b->glidePartner, nullptr);
}

TEST(EventList, AppendDeleteAndLanguageDefault) {
    CSQEventList list;
    list.language = 1;
    CSQEvent* s = list.append(true, 0, 70, 127);
    CSQEvent* e = list.append(false, 3000, 0, 0);
    EXPECT_STREQ(s->lyric, "a");
    EXPECT_EQ(s->phonemes[0], 78);
    EXPECT_FLOAT_EQ(s->values[0], 1.0f);
    EXPECT_EQ(e->partner, s);
    build(list, {{4000, 6000}});
    list.deleteNote(e);  // by its end event
    EXPECT_EQ(notes(list), "4000-6000:60 ");
    EXPECT_EQ(s->tag, 0u) << "a deleted note says so until it is freed";
    EXPECT_EQ(list.retiredCount(), 2);
    list.releaseRetired(true);
    EXPECT_EQ(list.retiredCount(), 0);
}

TEST(EventList, CopyPasteAndMove) {
    CSQEventList list;
    build(list, {{0, 2000}, {3000, 5000}, {10000, 12000}});
    list.head()->selected = true;
    list.head()->next->next->selected = true;
    std::unique_ptr<CSQEventList> block(list.copySelected());
    EXPECT_EQ(notes(*block), "0-2000:60 3000-5000:60 ");
    EXPECT_FALSE(list.paste(*block, 6000)) << "would run into the note at 10000";
    EXPECT_FALSE(list.paste(*block, 1000)) << "inside a note";
    ASSERT_TRUE(list.paste(*block, 5000));
    EXPECT_EQ(notes(list), "0-2000:60 3000-5000:60 5000-7000:60 8000-10000:60 10000-12000:60 ");
    EXPECT_EQ(list.nextSelected(nullptr)->start, 5000) << "pasted notes are the selection";

    // The pasted pair sits between 5000 and 10000: it can move neither way.
    EXPECT_FALSE(list.moveSelection(500, 0));
    list.selectAll(false);
    list.findAt(10000)->selected = true;
    EXPECT_TRUE(list.moveSelection(-500, 40));
    EXPECT_EQ(notes(list), "0-2000:60 3000-5000:60 5000-7000:60 8000-10000:60 10000-12000:95 ")
        << "clamped to the previous end and to pitch 95";
    EXPECT_TRUE(list.moveSelection(1e6f, -200));
    EXPECT_EQ(list.findAt(1010000)->pitch, 0);
}

TEST(EventList, Drag) {
    CSQEventList list;
    build(list, {{0, 1920}, {1920, 5000}, {8000, 12000}});
    // End of a 1920-tick note dragged before its start: still 1920 long.
    ASSERT_TRUE(list.grab(1500, 60));
    EXPECT_EQ(list.dragMode(), CSQEventList::kDragEnd);
    list.drag(-3000, 60, false);
    EXPECT_EQ(notes(list), "0-1920:60 1920-5000:60 8000-12000:60 ");
    list.releaseDrag();

    // Start mode with link moves the touching neighbour's end along.
    ASSERT_TRUE(list.grab(2000, 60));
    EXPECT_EQ(list.dragMode(), CSQEventList::kDragStart);
    list.drag(2500, 60, false);
    EXPECT_EQ(notes(list), "0-1920:60 2500-5000:60 8000-12000:60 ");
    list.drag(2000, 60, false);
    list.drag(1000, 60, false);
    EXPECT_EQ(notes(list), "0-1920:60 1920-5000:60 8000-12000:60 ") << "stays after the previous end";
    list.drag(2100, 60, true);
    EXPECT_EQ(notes(list), "0-2100:60 2100-5000:60 8000-12000:60 ") << "the touching end moves along";
    list.drag(2400, 60, false);
    EXPECT_EQ(notes(list), "0-2100:60 2400-5000:60 8000-12000:60 ");
    list.releaseDrag();

    // End mode: before the next start; pitch mode; move mode.
    ASSERT_TRUE(list.grab(11000, 60));
    list.drag(20000, 60, false);
    EXPECT_EQ(notes(list), "0-2100:60 2400-5000:60 8000-20000:60 ");
    ASSERT_TRUE(list.grab(4900, 60));
    list.drag(9000, 60, false);
    EXPECT_EQ(notes(list), "0-2100:60 2400-8000:60 8000-20000:60 ");
    list.drag(6000, 60, true);  // touching the next note: both edges move
    EXPECT_EQ(notes(list), "0-2100:60 2400-6000:60 6000-20000:60 ");
    ASSERT_TRUE(list.grab(3000, 72));
    EXPECT_EQ(list.dragMode(), CSQEventList::kDragPitch);
    list.drag(3000, 72, false);
    list.setDragMoveMode();
    list.drag(1000, 72, false);
    EXPECT_EQ(notes(list), "0-2100:60 2100-5700:72 6000-20000:60 ") << "moved, stopped by the previous end";
    list.releaseDrag();

    CSQEventList shortNotes;
    build(shortNotes, {{0, 1000}});
    EXPECT_FALSE(shortNotes.grab(100, 60)) << "too short to grab by an edge";
    EXPECT_TRUE(shortNotes.grab(100, 61));
}

TEST(EventList, LyricsPhonemesAndWords) {
    CSQEventList list;
    build(list, {{0, 2000}, {2000, 4000}, {4000, 6000}, {6000, 8000}});
    const uint8_t numbers[32] = {28, 16, 23, 99, 5};
    const uint8_t bytes[32] = {0, 1, 0, 0, 7};
    CSQEvent* first = list.head();
    first->timingValid = true;
    first->handEdited = 1;
    ASSERT_TRUE(list.setLyricAndPhonemes(0, "sing-", numbers, bytes));
    EXPECT_STREQ(first->lyric, "sing-");
    EXPECT_EQ(first->phonemes[0], 56);
    EXPECT_EQ(first->phonemes[2], 46);
    EXPECT_EQ(first->phonemes[3], 198);
    EXPECT_EQ(first->phonemes[4], 198) << "the list ends at the first 99";
    EXPECT_EQ(first->phonemeBytes[1], 1);
    EXPECT_FALSE(first->timingValid);
    EXPECT_EQ(first->handEdited, 0);
    EXPECT_EQ(first->phonemeCount(), 3);
    EXPECT_FALSE(list.setLyricAndPhonemes(100, "x", numbers, bytes));

    struct Case {
        const char* lyrics[3];
        const char* selected;
        int count;
    } cases[] = {
        {{"sing-", "ing-", "song"}, "x", 0},      // the word ended before
        {{"a-", "ma-", "zing-"}, "grace", 3},   // three syllables continue into it
        {{"la", "la-", "-"}, "la", 0},           // a held vowel that the next note does not continue
        {{"la", "la-", "-"}, "-", 2},
    };
    for (const Case& c : cases) {
        CSQEvent* e = list.head();
        for (const char* l : c.lyrics) {
            e->setLyric(l);
            e = e->next->next;
        }
        e->setLyric(c.selected);
        list.selectAll(false);
        e->selected = true;
        const char* syllables[16];
        EXPECT_EQ(list.collectWordBefore(syllables), c.count) << c.lyrics[0] << c.lyrics[1] << c.lyrics[2];
    }
}

TEST(EventList, PasteAutomationSelectors) {
    CSQEventList list;
    build(list, {{0, 2000}, {2000, 4000}});
    CSQEvent& src = *list.head();
    CSQEvent& dst = *list.head()->next->next;
    for (int l = 0; l < kNoteLanes; ++l) src.lanes[l][5] = 10.0f + l;
    src.pitchCurve[7] = 3;
    dst.selected = true;
    list.pasteAutomation(src, 21);
    EXPECT_EQ(dst.lanes[kNoteLaneOpen][5], 13.0f);
    EXPECT_EQ(dst.lanes[kNoteLaneBreath][5], 1.0f);
    list.pasteAutomation(src, 22);
    EXPECT_EQ(dst.lanes[kNoteLaneBreath][5], 12.0f);
    EXPECT_EQ(dst.pitchCurve[7], 0.0f);
    list.pasteAutomation(src, 16);
    EXPECT_EQ(dst.pitchCurve[7], 3.0f);
    EXPECT_EQ(dst.lanes[kNoteLaneVibrato][5], 14.0f);
}

TEST(EventList, PositionText) {
    struct Case {
        float ticks;
        int num, den;
        const char* text;
    } cases[] = {{0, 4, 4, "1.01.01.000"},
                 {15360 * 4, 4, 4, "2.01.01.000"},
                 {15360 + 3840 + 80, 4, 4, "1.02.02.010"},
                 {15360 * 3, 3, 4, "2.01.01.000"},
                 {7680, 6, 8, "1.02.01.000"}};
    for (const Case& c : cases) {
        char text[32];
        positionText(c.ticks, c.num, c.den, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.ticks;
    }
}
