// lyrena phd: phoneme sets between their data files and the text form.
//   lyrena phd dump SET.phd              text form to stdout
//   lyrena phd build SET.txt -o SET.phd  data file from the text form
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "host/commands.h"
#include "voice/phoneme.h"
#include "voice/phoneme_text.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: lyrena phd dump SET.phd\n       lyrena phd build SET.txt -o SET.phd\n");
    return 2;
}

bool readAll(const char* path, std::string& data) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

int dump(const char* path) {
    std::string data;
    if (!readAll(path, data)) {
        std::fprintf(stderr, "lyrena: cannot read %s\n", path);
        return 1;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    // The model reader treats a wrong inner header as "keep the defaults";
    // a dump of defaults would pass for the file's contents, so say so.
    if (data.size() < CPhoneme::kOuterHeader + 40 || std::memcmp(bytes + 8, "PHONEMES", 8) != 0) {
        std::fprintf(stderr, "lyrena: %s: not a phoneme data file\n", path);
        return 1;
    }
    if (std::memcmp(bytes + CPhoneme::kOuterHeader, CPhoneme::kInnerMagic, 40) != 0) {
        std::fprintf(stderr, "lyrena: %s: unknown phoneme data version\n", path);
        return 1;
    }
    std::unique_ptr<CPhoneme> model(new CPhoneme);
    if (!model->loadBytes(bytes, data.size())) {
        std::fprintf(stderr, "lyrena: %s: not a phoneme data file\n", path);
        return 1;
    }
    if (data.size() != CPhoneme::kFileSize)
        std::fprintf(stderr, "lyrena: %s: %zu bytes where a phoneme data file has %zu; %s\n", path, data.size(),
                     CPhoneme::kFileSize,
                     data.size() < CPhoneme::kFileSize ? "missing values read as 0" : "the rest is ignored");
    std::string text = CPhonemeText::write(*model);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int build(const char* input, const char* output) {
    std::string text;
    if (!readAll(input, text)) {
        std::fprintf(stderr, "lyrena: cannot read %s\n", input);
        return 1;
    }
    std::unique_ptr<CPhoneme> model(new CPhoneme);
    std::string error;
    if (!CPhonemeText::read(text.data(), text.size(), input, *model, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // Through a temporary file so a failed write leaves no half file.
    std::string temporary = std::string(output) + ".tmp";
    if (!model->savePath(temporary.c_str()) || std::rename(temporary.c_str(), output) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "lyrena: cannot write %s\n", output);
        return 1;
    }
    return 0;
}

}  // namespace

int cmdPhd(int argc, char** argv) {
    if (argc == 3 && !std::strcmp(argv[1], "dump")) return dump(argv[2]);
    if (argc == 5 && !std::strcmp(argv[1], "build") && !std::strcmp(argv[3], "-o")) return build(argv[2], argv[4]);
    return usage();
}
