// One thread edits a part's notes while another walks them as the audio
// thread does, holding a note across blocks. Run under ThreadSanitizer in
// the checks, and under AddressSanitizer with the other tests: neither may
// see a freed or half-linked note.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "score/sq_event_list.h"

TEST(ConcurrentEdit, AudioWalkNeverSeesFreedOrHalfLinkedNotes) {
    CSQEventList list;
    for (int i = 0; i < 20; ++i) list.insertNote(float(i) * 4000, float(i) * 4000, 60);
    std::atomic<bool> done{false};
    std::atomic<long> walks{0}, skipped{0};

    std::thread audio([&] {
        const CSQEvent* held = nullptr;  // the note a voice is singing
        float sum = 0;
        while (!done.load()) {
            if (!list.tryBeginRead()) {
                skipped.fetch_add(1);
                continue;
            }
            float last = -1;
            for (const CSQEvent* e = list.head(); e; e = e->next) {
                if (!e->isValid()) std::abort();
                if (!e->isEnd()) {
                    if (e->start < last) std::abort();  // out of order: half-linked
                    last = e->start;
                    sum += e->pitchAtTick(e->start + 10, 400) + e->laneAtTick(kNoteLaneVolume, e->start + 10);
                    if (!held) held = e;
                }
            }
            // The voice reads the note it sings inside the walk too, dropping it
            // once its tag says it was taken out.
            if (held) {
                if (held->isValid())
                    sum += held->pitchAtTick(held->start, 0);
                else
                    held = nullptr;
            }
            list.endRead();
            walks.fetch_add(1);
        }
        EXPECT_TRUE(std::isfinite(sum));
    });

    std::unique_ptr<CSQEventList> block;
    for (int round = 0; round < 400; ++round) {
        float t = float((round * 7919) % 80000);
        list.insertNote(t, t, 40 + round % 40);
        if (CSQEvent* n = list.findNote(float((round * 104729) % 80000))) list.deleteNote(n);
        list.selectAll(true);
        list.moveSelection(round % 2 ? 100.0f : -100.0f, 0);
        if (round % 50 == 0) block.reset(list.copySelected());
        if (round % 50 == 25 && block) {
            list.clear();
            list.paste(*block, 0);
        }
        if (round % 10 == 0) std::this_thread::yield();
    }
    // Let the walker pass twice more so retired notes can go.
    long w = walks.load();
    while (walks.load() < w + 3) std::this_thread::yield();
    {
        CSQEventList::EditScope edit(list);
    }
    done.store(true);
    audio.join();
    EXPECT_EQ(list.retiredCount(), 0);
    EXPECT_GT(walks.load(), 0);
}
