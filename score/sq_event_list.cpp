#include "score/sq_event_list.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "files/cu_file.h"
#include "voice/phoneme_inventory.h"

namespace {

constexpr int kItem = 98;
constexpr int kEnd = 99;
constexpr int kMaxReadEvents = 1 << 18;  // far beyond any score; bounds a garbled stream
constexpr float kFar = std::numeric_limits<float>::max();

CSQEvent* makeEnd(CSQEvent* start, float tick) {
    CSQEvent* e = new CSQEvent;
    e->type = 1;
    e->endFlag = 1;
    e->start = tick;
    e->partner = start;
    return e;
}

}  // namespace

CSQEventList::~CSQEventList() {
    for (CSQEvent* e = first; e;) {
        CSQEvent* n = e->next;
        delete e;
        e = n;
    }
    releaseRetired(true);
}

// ---- sharing with the audio thread ----

CSQEventList::EditScope::EditScope(CSQEventList& l) : list(l) {
    if (list.editDepth++ > 0) return;
    list.editing.store(true);
    while (list.reading.load()) std::this_thread::yield();  // at most one block's walk
}

CSQEventList::EditScope::~EditScope() {
    if (--list.editDepth > 0) return;
    list.releaseRetired(false);
    list.editing.store(false);
}

bool CSQEventList::tryBeginRead() {
    reading.store(true);
    if (editing.load()) {
        reading.store(false);
        return false;
    }
    return true;
}

void CSQEventList::endRead() {
    walks.fetch_add(1);
    reading.store(false);
}

void CSQEventList::releaseRetired(bool force) {
    uint32_t now = walks.load();
    size_t kept = 0;
    for (const Retired& r : retired) {
        if (force || now - r.walk >= 2)
            delete r.event;
        else
            retired[kept++] = r;
    }
    retired.resize(kept);
}

void CSQEventList::retire(CSQEvent* e) {
    e->tag = 0;
    e->next = nullptr;
    retired.push_back({e, walks.load()});
}

// ---- reading ----

CSQEvent* CSQEventList::findStart(float t, bool includeEnds) const {
    for (CSQEvent* e = first; e; e = e->next)
        if (e->start >= t && (includeEnds || !e->isEnd())) return e;
    return nullptr;
}

CSQEvent* CSQEventList::findAt(float t) const {
    for (CSQEvent* e = first; e; e = e->next)
        if (!e->isEnd() && e->start == t) return e;
    return nullptr;
}

CSQEvent* CSQEventList::findNote(float t) const {
    for (CSQEvent* e = first; e; e = e->next)
        if (e->isEnd() && e->start >= t && e->partner && e->partner->start <= t) return e->partner;
    return nullptr;
}

int CSQEventList::noteCount() const {
    int n = 0;
    for (CSQEvent* e = first; e; e = e->next) n += !e->isEnd();
    return n;
}

CSQEvent* CSQEventList::lastEndAtOrBefore(float t) const {
    CSQEvent* found = nullptr;
    for (CSQEvent* e = first; e && e->start <= t; e = e->next)
        if (e->isEnd()) found = e;
    return found;
}

CSQEvent* CSQEventList::previousNote(const CSQEvent* note) const {
    CSQEvent* prev = nullptr;
    for (CSQEvent* e = first; e && e != note; e = e->next)
        if (!e->isEnd()) prev = e;
    return prev;
}

CSQEvent* CSQEventList::nextNote(const CSQEvent* note) const {
    for (CSQEvent* e = note ? note->next : nullptr; e; e = e->next)
        if (!e->isEnd()) return e;
    return nullptr;
}

// Touching notes are allowed: a note may begin where the previous one ends.
bool CSQEventList::insideNote(float t) const {
    for (CSQEvent* e = first; e; e = e->next)
        if (!e->isEnd() && e->start <= t && t < e->end()) return true;
    return false;
}

CSQEvent* CSQEventList::nextSelected(CSQEvent* after) const {
    for (CSQEvent* e = after ? after->next : first; e; e = e->next)
        if (!e->isEnd() && e->selected) return e;
    return nullptr;
}

// ---- editing ----

void CSQEventList::linkAfter(CSQEvent* after, CSQEvent* s, CSQEvent* e) {
    CSQEvent*& slot = after ? after->next : first;
    e->next = slot;
    s->next = e;
    e->partner = s;
    slot = s;
}

void CSQEventList::updateLegato() {
    CSQEvent* prev = nullptr;
    for (CSQEvent* e = first; e; e = e->next) {
        if (e->isEnd()) continue;
        bool legato = e->type == 0 && prev && prev->type == 0 && e->start - prev->end() < kLegatoGapTicks;
        e->glidePartner = legato ? prev : nullptr;
        prev = e;
    }
}

bool CSQEventList::insertNote(float t0, float t, int pitch) {
    if (!(t >= 0 && t < 1e9f) || !(t0 >= 0 && t0 < 1e9f)) return false;
    if (insideNote(t0) || insideNote(t)) return false;
    CSQEvent* next = findStart(t);
    if (next && next->start - t < kMinNoteTicks) return false;
    EditScope edit(*this);
    CSQEvent* s = new CSQEvent;
    s->pitch = std::clamp(pitch, 0, 127);
    s->start = t;
    s->setLyric("La");
    linkAfter(lastEndAtOrBefore(t), s, makeEnd(s, t + kMinNoteTicks));
    for (CSQEvent* e = first; e; e = e->next) e->selected = false;
    s->selected = true;
    cursor = lastNote = s;
    updateLegato();
    return true;
}

bool CSQEventList::extendLastInserted(float t) {
    CSQEvent* note = lastNote;
    if (!note || !note->next || !note->next->isEnd()) return false;
    if (CSQEvent* n = nextNote(note); n && t > n->start) t = n->start;
    if (!(t - note->start >= kMinNoteTicks)) return false;
    EditScope edit(*this);
    note->next->start = t;
    updateLegato();
    return true;
}

CSQEvent* CSQEventList::insertSpan(float t, float end, int pitch) {
    if (!(t >= 0 && end > t && end < 1e9f) || insideNote(t)) return nullptr;
    if (CSQEvent* next = findStart(t); next && next->start < end) return nullptr;
    EditScope edit(*this);
    CSQEvent* s = new CSQEvent;
    s->pitch = std::clamp(pitch, 0, 127);
    s->start = t;
    linkAfter(lastEndAtOrBefore(t), s, makeEnd(s, end));
    cursor = lastNote = s;
    updateLegato();
    return s;
}

CSQEvent* CSQEventList::append(bool isStart, float tick, int pitch, int velocity) {
    EditScope edit(*this);
    CSQEvent* tail = first;
    while (tail && tail->next) tail = tail->next;
    CSQEvent* e = new CSQEvent;
    e->start = std::isfinite(tick) ? tick : 0;
    if (isStart) {
        e->pitch = std::clamp(pitch, 0, 127);
        e->setLyric("a");
        e->phonemes[0] = language == kLanguageGerman ? 78 : 0;
        e->values[0] = float(std::clamp(velocity, 0, 127)) / 127;
        lastNote = e;
    } else {
        e->type = 1;
        e->endFlag = 1;
        e->partner = tail;
    }
    (tail ? tail->next : first) = e;
    cursor = e;
    updateLegato();
    return e;
}

void CSQEventList::deleteNote(CSQEvent* note) {
    if (!note) return;
    if (note->isEnd()) note = note->partner;
    CSQEvent* before = nullptr;
    CSQEvent* e = first;
    while (e && e != note) {
        before = e;
        e = e->next;
    }
    if (!e) return;  // not in this list
    EditScope edit(*this);
    CSQEvent* end = (note->next && note->next->isEnd()) ? note->next : nullptr;
    CSQEvent* after = end ? end->next : note->next;
    (before ? before->next : first) = after;
    for (CSQEvent** p : {&cursor, &lastNote, &dragNote})
        if (*p == note || (end && *p == end)) *p = nullptr;
    retire(note);
    if (end) retire(end);
    updateLegato();
}

void CSQEventList::selectAll(bool on) {
    for (CSQEvent* e = first; e; e = e->next) e->selected = on && !e->isEnd();
}

CSQEventList* CSQEventList::copySelected() const {
    CSQEventList* block = new CSQEventList;
    block->language = language;
    CSQEvent* s = nextSelected(nullptr);
    if (!s) return block;
    float origin = s->start;
    CSQEvent* tail = nullptr;
    for (; s; s = nextSelected(s)) {
        CSQEvent* copy = s->clone();
        copy->start -= origin;
        CSQEvent* end = makeEnd(copy, s->end() - origin);
        block->linkAfter(tail, copy, end);
        tail = end;
    }
    block->updateLegato();
    return block;
}

bool CSQEventList::paste(const CSQEventList& block, float t) {
    if (!block.first || !(t >= 0 && t < 1e9f) || insideNote(t)) return false;
    float blockEnd = 0;
    for (CSQEvent* e = block.first; e; e = e->next) blockEnd = std::max(blockEnd, e->start);
    if (CSQEvent* next = findStart(t); next && blockEnd > next->start - t) return false;
    EditScope edit(*this);
    selectAll(false);
    CSQEvent* after = lastEndAtOrBefore(t);
    for (CSQEvent* e = block.first; e; e = e->next) {
        if (e->isEnd()) continue;
        CSQEvent* copy = e->clone();
        copy->start = e->start + t;
        copy->selected = true;
        CSQEvent* end = makeEnd(copy, e->end() + t);
        linkAfter(after, copy, end);
        after = end;
    }
    updateLegato();
    return true;
}

bool CSQEventList::moveSelection(float dt, int dp) {
    if (!std::isfinite(dt)) return false;
    float lo = -kFar, hi = kFar;
    int minPitch = 127, maxPitch = 0;
    bool any = false;
    for (CSQEvent* s = nextSelected(nullptr); s; s = nextSelected(s)) {
        any = true;
        CSQEvent* prev = previousNote(s);
        if (!prev)
            lo = std::max(lo, -s->start);
        else if (!prev->selected)
            lo = std::max(lo, prev->end() - s->start);
        CSQEvent* next = nextNote(s);
        if (next && !next->selected) hi = std::min(hi, next->start - s->end());
        minPitch = std::min(minPitch, s->pitch);
        maxPitch = std::max(maxPitch, s->pitch);
    }
    if (!any) return false;
    dt = lo > hi ? 0 : std::clamp(dt, lo, hi);
    int pitchLo = -minPitch, pitchHi = std::max(95 - maxPitch, std::min(0, pitchLo));
    dp = std::clamp(dp, std::min(pitchLo, pitchHi), pitchHi);
    if (dt == 0 && dp == 0) return false;
    EditScope edit(*this);
    for (CSQEvent* s = nextSelected(nullptr); s; s = nextSelected(s)) {
        s->start += dt;
        if (s->next && s->next->isEnd()) s->next->start += dt;
        s->pitch += dp;
    }
    updateLegato();
    return true;
}

bool CSQEventList::grab(float t, int pitch) {
    dragModeValue = kDragNone;
    dragNote = findNote(t);
    if (!dragNote) return false;
    selectAll(false);
    dragNote->selected = true;
    dragGrabTick = t;
    dragStart = dragNote->start;
    dragEnd = dragNote->end();
    float length = dragEnd - dragStart;
    if (pitch != dragNote->pitch)
        dragModeValue = kDragPitch;
    else if (length >= kMinNoteTicks)
        dragModeValue = t < dragStart + length / 2 ? kDragStart : kDragEnd;
    return dragModeValue != kDragNone;
}

void CSQEventList::setDragMoveMode() {
    if (dragNote) dragModeValue = kDragMove;
}

void CSQEventList::releaseDrag() {
    dragModeValue = kDragNone;
    dragNote = nullptr;
}

void CSQEventList::drag(float t, int pitch, bool link) {
    CSQEvent* note = dragNote;
    if (!note || !std::isfinite(t) || !note->next || !note->next->isEnd()) return;
    CSQEvent* end = note->next;
    CSQEvent* prev = previousNote(note);
    CSQEvent* next = nextNote(note);
    EditScope edit(*this);
    switch (dragModeValue) {
    case kDragPitch: note->pitch = std::clamp(pitch, 0, 127); break;
    case kDragStart: {
        bool together = link && prev && std::fabs(prev->end() - note->start) <= 1;
        float lo = !prev ? 0 : together ? prev->start + kMinNoteTicks : prev->end();
        float hi = end->start - kMinNoteTicks;
        if (lo > hi) break;
        note->start = std::clamp(t, lo, hi);
        if (together) prev->next->start = note->start;
        break;
    }
    case kDragEnd: {
        bool together = link && next && std::fabs(next->start - end->start) <= 1;
        float lo = note->start + kMinNoteTicks;
        float hi = !next ? kFar : together ? next->end() - kMinNoteTicks : next->start;
        if (lo > hi) break;
        end->start = std::clamp(t, lo, hi);
        if (together) next->start = end->start;
        break;
    }
    case kDragMove: {
        float length = dragEnd - dragStart;
        float lo = prev ? prev->end() : 0;
        float hi = next ? next->start - length : kFar;
        if (lo > hi) break;
        note->start = std::clamp(dragStart + (t - dragGrabTick), lo, hi);
        end->start = note->start + length;
        break;
    }
    case kDragNone: break;
    }
    updateLegato();
}

bool CSQEventList::setLyricAndPhonemes(float t, const char* lyric, const uint8_t* numbers, const uint8_t* bytes) {
    CSQEvent* note = findAt(t);
    if (!note) return false;
    EditScope edit(*this);
    note->setLyric(lyric);
    bool ended = false;
    for (int i = 0; i < kNotePhonemes; ++i) {
        int n = numbers ? numbers[i] : kNoPhoneme;
        ended = ended || n >= kPhonemeNumbers;
        note->phonemes[i] = ended ? kNoPhonemeId : uint8_t(2 * n);
        note->phonemeBytes[i] = ended || !bytes ? 0 : bytes[i];
    }
    note->handEdited = 0;
    note->timingValid = false;
    return true;
}

int CSQEventList::collectWordBefore(const char* syllables[16]) const {
    CSQEvent* selected = nextSelected(nullptr);
    if (!selected) return 0;
    int count = 0;
    for (CSQEvent* e = first; e && e != selected; e = e->next) {
        if (e->isEnd()) continue;
        if (!e->wordContinues()) {
            count = 0;
            continue;
        }
        if (count < 16) syllables[count++] = e->lyric;
    }
    if (count > 0 && std::strcmp(syllables[count - 1], "-") == 0 && !selected->startsWithHyphen()) return 0;
    return count;
}

void CSQEventList::pasteAutomation(const CSQEvent& source, int selector) {
    if (selector < 16 || selector > 22) return;
    EditScope edit(*this);
    auto copyLane = [&](CSQEvent* to, int lane) { std::memcpy(to->lanes[lane], source.lanes[lane], sizeof to->lanes[lane]); };
    for (CSQEvent* s = nextSelected(nullptr); s; s = nextSelected(s)) {
        if (s == &source) continue;
        switch (selector) {
        case 16:
            std::memcpy(s->pitchCurve, source.pitchCurve, sizeof s->pitchCurve);
            for (int l = 0; l < kNoteLanes; ++l) copyLane(s, l);
            break;
        case 17: std::memcpy(s->pitchCurve, source.pitchCurve, sizeof s->pitchCurve); break;
        case 18: copyLane(s, kNoteLaneVibrato); break;
        case 19: copyLane(s, kNoteLaneVolume); break;
        case 20: copyLane(s, kNoteLaneTension); break;
        case 21: copyLane(s, kNoteLaneOpen); break;
        case 22: copyLane(s, kNoteLaneBreath); break;
        }
    }
}

void CSQEventList::clear() {
    EditScope edit(*this);
    for (CSQEvent* e = first; e;) {
        CSQEvent* n = e->next;
        retire(e);
        e = n;
    }
    first = cursor = lastNote = dragNote = nullptr;
    dragModeValue = kDragNone;
}

// ---- stored form ----

void CSQEventList::write(CUFile& f) const {
    for (CSQEvent* e = first; e; e = e->next) {
        if (!e->next && !e->isEnd()) break;  // a note still being recorded has no end yet
        f.writeInt(kItem);
        e->write(f);
    }
    f.writeInt(kEnd);
}

uint32_t CSQEventList::storedSize() const {
    uint32_t size = 4;
    for (CSQEvent* e = first; e; e = e->next)
        if (e->next || e->isEnd()) size += 4 + CSQEvent::storedSize(*e);
    return size;
}

bool CSQEventList::read(CUFile& f) {
    // Read into a chain of its own so a broken stream leaves the list alone.
    std::vector<CSQEvent*> events;
    bool ok = true;
    for (int n = 0;; ++n) {
        int marker = f.readInt();
        if (f.readFailed() || f.status() != CUFile::kStatusReady) {
            ok = false;
            break;
        }
        if (marker != kItem) break;
        CSQEvent* e = new CSQEvent;
        events.push_back(e);
        if (n >= kMaxReadEvents || !e->read(f, f.version)) {
            ok = false;
            break;
        }
    }
    if (!ok) {
        for (CSQEvent* e : events) delete e;
        return false;
    }

    // Keep whole notes only (a start directly followed by its end), in order
    // of their starts, whatever the stored bytes said.
    struct Pair {
        CSQEvent* start;
        CSQEvent* end;
    };
    std::vector<Pair> notes;
    for (size_t i = 0; i < events.size(); ++i) {
        CSQEvent* e = events[i];
        if (!e->isEnd() && i + 1 < events.size() && events[i + 1]->isEnd()) {
            CSQEvent* end = events[++i];
            e->pitch = std::clamp(e->pitch, 0, 127);
            end->pitch = 0;
            end->start = std::max(end->start, e->start);
            notes.push_back({e, end});
        } else {
            delete e;
        }
    }
    std::stable_sort(notes.begin(), notes.end(), [](const Pair& a, const Pair& b) { return a.start->start < b.start->start; });

    EditScope edit(*this);
    clear();
    CSQEvent* tail = nullptr;
    for (const Pair& p : notes) {
        linkAfter(tail, p.start, p.end);
        tail = p.end;
    }
    updateLegato();
    return true;
}
