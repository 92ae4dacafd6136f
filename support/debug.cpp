#include "support/debug.h"

#include <cstdarg>
#include <cstdio>

#include "support/o_system.h"

void CDebug::line(const char* text) {
    COSystem os;
    std::FILE* f = std::fopen(os.path("Debug.txt"), "a");
    if (!f) return;
    std::fputs(text ? text : "", f);
    std::fputc('\n', f);
    std::fclose(f);
}

void CDebug::format(const char* fmt, ...) {
    char text[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    line(text);
}
