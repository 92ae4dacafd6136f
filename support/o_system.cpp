#include "support/o_system.h"

#include <cstdio>

#include "files/global_data.h"
#include "platform/shell.h"
#include "support/debug.h"

const char* COSystem::path(const char* fileName) {
    std::snprintf(buffer, sizeof buffer, "%s%s", globalData().installFolder, fileName ? fileName : "");
    return buffer;
}

namespace {

bool openOrComplain(const char* target, const char* message) {
    if (platform::shellOpen(target)) return true;
    char text[COSystem::kPathLen + 64];
    std::snprintf(text, sizeof text, message, target ? target : "");
    CDebug::line(text);
    platform::errorBox("Error", text);
    return false;
}

}  // namespace

bool COSystem::openDocument(const char* file) { return openOrComplain(file, "Document >%s< not found"); }
bool COSystem::openWebPage(const char* address) { return openOrComplain(address, "Web page >%s< not found"); }
