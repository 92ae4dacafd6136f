// How a note's length is shared among its phonemes.
#pragma once

class CPhoneme;
class CSQEvent;

constexpr int kFractionUnits = 8192;  // fractions are multiples of 1/8192

// Fills the note's phoneme fractions, main-vowel index and timing-valid flag
// from its length in seconds, its phonemes with their stress/length bytes
// and the segment times of the part's phoneme model (nullptr: typical
// consonant durations). language is 0 English, 1 German.
void computePhonemeTiming(CSQEvent& note, float seconds, int language, const CPhoneme* model);

// The note's length in seconds at a tempo (beats per minute).
float noteSeconds(const CSQEvent& note, float bpm);
