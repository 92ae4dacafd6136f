// A small INI-style key/value store that stands in for the registry key of
// the user settings: "[Settings]" followed by "Name=value" lines.
#pragma once

#include <string>
#include <utility>
#include <vector>

class SettingsStore {
public:
    // Reads the file; a missing or unreadable file gives an empty store.
    // Lines that are not "Name=value" are skipped.
    bool load(const std::string& path);
    // Writes all values, creating the folder; false when it cannot.
    bool save(const std::string& path) const;

    // A string value only if it exists and fits maxLen characters (the
    // registry refuses values longer than the buffer as well).
    bool getString(const char* name, char* out, size_t maxLen) const;
    // An integer value only if the whole text is a number.
    bool getInt(const char* name, long& out) const;
    void setString(const char* name, const char* value);
    void setInt(const char* name, long value);

private:
    const std::string* find(const char* name) const;
    std::vector<std::pair<std::string, std::string>> values;
};
