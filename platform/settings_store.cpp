#include "platform/settings_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

// mkdir -p for the folder part of path.
bool makeParentFolders(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        std::string dir = path.substr(0, i);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

bool SettingsStore::load(const std::string& path) {
    values.clear();
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            inSection = line == "[Settings]";
            continue;
        }
        size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos || eq == 0) continue;
        std::string name = trim(line.substr(0, eq));
        std::string value = trim(line.substr(eq + 1));
        if (!find(name.c_str())) values.emplace_back(name, value);
    }
    return true;
}

bool SettingsStore::save(const std::string& path) const {
    if (!makeParentFolders(path)) return false;
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) return false;
        out << "[Settings]\n";
        for (const auto& [name, value] : values) out << name << '=' << value << '\n';
        if (!out.flush()) return false;
    }
    // Replace in one step so a crash never leaves half a file behind.
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

const std::string* SettingsStore::find(const char* name) const {
    for (const auto& [n, v] : values)
        if (n == name) return &v;
    return nullptr;
}

bool SettingsStore::getString(const char* name, char* out, size_t maxLen) const {
    const std::string* v = find(name);
    if (!v || v->size() > maxLen || v->find('\0') != std::string::npos) return false;
    std::memcpy(out, v->c_str(), v->size() + 1);
    return true;
}

bool SettingsStore::getInt(const char* name, long& out) const {
    const std::string* v = find(name);
    if (!v || v->empty()) return false;
    char* end = nullptr;
    errno = 0;
    long x = std::strtol(v->c_str(), &end, 10);
    if (errno || *end) return false;
    out = x;
    return true;
}

void SettingsStore::setString(const char* name, const char* value) {
    // Line-based format: line breaks in a value would split it.
    std::string v(value);
    for (char& c : v)
        if (c == '\n' || c == '\r') c = ' ';
    for (auto& [n, old] : values)
        if (n == name) {
            old = v;
            return;
        }
    values.emplace_back(name, v);
}

void SettingsStore::setInt(const char* name, long value) { setString(name, std::to_string(value).c_str()); }
