// The diagnostic log: "Debug.txt" in the installation folder, appended to
// one line at a time so it can be read while the plug-in runs.
#pragma once

class CDebug {
public:
    // Appends text and a line feed; drops the line when the file cannot be
    // opened.
    static void line(const char* text);
    // printf-style convenience.
    static void format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
};
