#include "TextTable.h"

#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

namespace TextTable {

extern const Entry CommonGerman[];
extern const Entry MorvaneGerman[];
extern const Entry ProgrammerGerman[];

namespace {

using Index = std::unordered_map<std::string, const char*>;

Index BuildIndex(const Entry* entries) {
    Index index;
    for (const Entry* e = entries; e->key; ++e)
        index.emplace(e->key, e->text);
    return index;
}

const Index& Table(Program program) {
    static const Index morvane = BuildIndex(MorvaneGerman);
    static const Index programmer = BuildIndex(ProgrammerGerman);
    return program == Program::Morvane ? morvane : programmer;
}

const Index& Common() {
    static const Index common = BuildIndex(CommonGerman);
    return common;
}

std::mutex overrideMutex;
std::map<Program, Override> overrides;

} // namespace

const char* German(Program program, const std::string& key) {
    const Index& own = Table(program);
    if (auto it = own.find(key); it != own.end()) return it->second;
    if (auto it = Common().find(key); it != Common().end()) return it->second;
    return nullptr;
}

bool HasKey(Program program, const std::string& key) {
    return German(program, key) != nullptr;
}

std::string Get(Program program, const std::string& key) {
    Override lookup;
    {
        std::lock_guard<std::mutex> lock(overrideMutex);
        if (auto it = overrides.find(program); it != overrides.end()) lookup = it->second;
    }
    if (lookup) {
        bool found = false;
        std::string text = lookup(key, found);
        if (found) return text;
    }
    const char* german = German(program, key);
    return german ? Unescape(german) : std::string();
}

void SetOverride(Program program, Override lookup) {
    std::lock_guard<std::mutex> lock(overrideMutex);
    overrides[program] = std::move(lookup);
}

void ClearOverride(Program program) {
    std::lock_guard<std::mutex> lock(overrideMutex);
    overrides.erase(program);
}

std::string Unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'x':
            if (i + 2 < text.size() + 0 && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += 'x';
            }
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

namespace {
std::string Replace(std::string text, const std::string& marker, const std::string& value) {
    const size_t at = text.find(marker);
    if (at != std::string::npos) text.replace(at, marker.size(), value);
    return text;
}
} // namespace

std::string Arg(std::string text, const std::string& a1) {
    return Replace(std::move(text), "%1", a1);
}

std::string Arg(std::string text, const std::string& a1, const std::string& a2) {
    return Replace(Replace(std::move(text), "%1", a1), "%2", a2);
}

} // namespace TextTable
