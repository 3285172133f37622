#include "HidSimSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace HidSimSocket {

namespace {

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
    return text;
}

bool ParseHex16(const std::string& text, uint16_t& value) {
    if (text.empty() || text.size() > 4) return false;
    unsigned v = 0;
    for (char c : text) {
        v <<= 4;
        if (c >= '0' && c <= '9')
            v |= unsigned(c - '0');
        else if (c >= 'A' && c <= 'F')
            v |= unsigned(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            v |= unsigned(c - 'a' + 10);
        else
            return false;
    }
    value = static_cast<uint16_t>(v);
    return true;
}

bool ProcessAlive(long pid) {
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

bool FitsInfoLine(const std::string& text) {
    if (text.size() > 126) return false;
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

std::string FormatInfo(const DeviceInfo& info) {
    std::string text = "vendor=" + Hex4(info.vendor) + "\nproduct=" + Hex4(info.product) +
                       "\nrelease=" + Hex4(info.release) + "\n";
    if (info.serial) text += "serial=" + *info.serial + "\n";
    text += "manufacturer=" + info.manufacturer + "\nproduct-name=" + info.productName +
            "\nusage-page=" + Hex4(info.usagePage) + "\nusage=" + Hex4(info.usage) +
            "\nreport-length=" + std::to_string(info.reportLength) + "\n";
    return text;
}

std::optional<DeviceInfo> ParseInfo(const std::string& text) {
    DeviceInfo info;
    bool vendor = false, product = false, length = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "vendor") {
            if (!ParseHex16(value, info.vendor)) return std::nullopt;
            vendor = true;
        } else if (key == "product") {
            if (!ParseHex16(value, info.product)) return std::nullopt;
            product = true;
        } else if (key == "release") {
            if (!ParseHex16(value, info.release)) return std::nullopt;
        } else if (key == "serial") {
            info.serial = value;
        } else if (key == "manufacturer") {
            info.manufacturer = value;
        } else if (key == "product-name") {
            info.productName = value;
        } else if (key == "usage-page") {
            if (!ParseHex16(value, info.usagePage)) return std::nullopt;
        } else if (key == "usage") {
            if (!ParseHex16(value, info.usage)) return std::nullopt;
        } else if (key == "report-length") {
            char* endp = nullptr;
            const unsigned long n = std::strtoul(value.c_str(), &endp, 10);
            if (value.empty() || *endp != '\0' || n < 3 || n > 1024) return std::nullopt;
            info.reportLength = static_cast<unsigned>(n);
            length = true;
        }
    }
    if (!vendor || !product || !length) return std::nullopt;
    return info;
}

std::string Directory() {
    const char* dir = std::getenv("KVPLM_HID_SIM_DIR");
    if (dir && *dir) return dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime && *runtime ? runtime : "/tmp") + "/kvplm-hid";
}

bool UsableDirectory(const std::string& dir) {
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool EnsureDirectory(const std::string& dir, std::string& error) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + dir + ": " + std::string(std::strerror(errno));
        return false;
    }
    if (!UsableDirectory(dir)) {
        error = dir + " is not a directory of this user closed to others";
        return false;
    }
    return true;
}

bool ParseName(const std::string& name, long& pid, long& n) {
    const std::string suffix = ".hid";
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string stem = name.substr(0, name.size() - suffix.size());
    const size_t dash = stem.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == stem.size() || stem.size() > 24) return false;
    for (size_t i = 0; i < stem.size(); ++i)
        if (i != dash && (stem[i] < '0' || stem[i] > '9')) return false;
    pid = std::strtol(stem.c_str(), nullptr, 10);
    n = std::strtol(stem.c_str() + dash + 1, nullptr, 10);
    return pid > 0;
}

std::vector<std::string> LiveSockets(const std::string& dir) {
    std::vector<std::tuple<long, long, std::string>> found;
    if (!UsableDirectory(dir)) return {};
    DIR* d = opendir(dir.c_str());
    if (!d) return {};
    while (const dirent* e = readdir(d)) {
        long pid = 0, n = 0;
        if (!ParseName(e->d_name, pid, n) || !ProcessAlive(pid)) continue;
        const std::string path = dir + "/" + e->d_name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        found.emplace_back(pid, n, path);
    }
    closedir(d);
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& f : found)
        paths.push_back(std::get<2>(f));
    return paths;
}

} // namespace HidSimSocket
