// Plain-text lyrics into a part: every word the dictionary knows becomes a
// note of pitch 50 with its phonemes, one after the other.
#pragma once

#include <cstddef>

class CDictionary;
class CSQEventList;

constexpr int kTextImportPitch = 50;

// Notes from text starting at tick start; returns how many were inserted.
// Words the dictionary does not know, or whose note would overlap one
// already there, are skipped.
int importPlainText(CSQEventList& list, const CDictionary& dictionary, float start, const char* text, size_t size);
// The same from "test.txt" in the installation folder; -1 when it is missing.
int importPlainTextFile(CSQEventList& list, const CDictionary& dictionary, float start);
