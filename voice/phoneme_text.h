// The readable text form of a phoneme set: the header, then per phoneme its
// time envelope in ms and dB and per slot its formants and spectral bands,
// plus every kept field of the data file, so that text -> ".phd" -> text and
// ".phd" -> text -> ".phd" lose nothing. The format is described in
// docs/phoneme-text-format.md.
#pragma once

#include <cstddef>
#include <string>

class CPhoneme;

class CPhonemeText {
public:
    // The text of a model's data file contents (header and file blocks).
    static std::string write(const CPhoneme& model);
    // Parses text into model (its header and file blocks, then the working
    // tables as loading derives them). On failure the model is unchanged
    // and error holds "file:line: what is wrong".
    static bool read(const char* text, size_t size, const char* fileName, CPhoneme& model, std::string& error);
};
