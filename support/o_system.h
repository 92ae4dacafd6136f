// Program-folder paths and the desktop shell.
#pragma once

class COSystem {
public:
    static constexpr int kPathLen = 1024;

    // Installation folder followed by the file name; valid until the next call.
    const char* path(const char* fileName);
    // Opens a document / web page with the desktop; on failure tells the
    // user "Document >%s< not found" / "Web page >%s< not found".
    bool openDocument(const char* file);
    bool openWebPage(const char* address);

private:
    char buffer[kPathLen] = "";
};
