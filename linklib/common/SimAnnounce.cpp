#include "SimAnnounce.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SimAnnounce {

namespace {

std::atomic<unsigned> g_sequence{0};

// "<pid>-<n>.port" -> pid and n; false for any other name.
bool ParseName(const std::string& name, long& pid, long& n) {
    const std::string suffix = ".port";
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string stem = name.substr(0, name.size() - suffix.size());
    const size_t dash = stem.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == stem.size()) return false;
    for (size_t i = 0; i < stem.size(); ++i)
        if (i != dash && (stem[i] < '0' || stem[i] > '9')) return false;
    pid = std::strtol(stem.c_str(), nullptr, 10);
    n = std::strtol(stem.c_str() + dash + 1, nullptr, 10);
    return pid > 0;
}

bool ProcessAlive(long pid) {
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool OwnDirectory(const std::string& dir) {
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

bool ReadLines(const std::string& file, std::string& first, std::string& second) {
    // Only a regular file is an announce file: opening a pipe of that name
    // would wait for a writer for ever, and the port list with it.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) return false;
    const std::string text(buffer, size_t(n));
    const size_t end1 = text.find('\n');
    if (end1 == std::string::npos) return false;
    first = text.substr(0, end1);
    const size_t end2 = text.find('\n', end1 + 1);
    second = text.substr(end1 + 1, end2 == std::string::npos ? std::string::npos : end2 - end1 - 1);
    return !first.empty();
}

} // namespace

std::string Directory() {
    const char* dir = std::getenv("KVPLM_SIM_DIR");
    if (dir && *dir) return dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime && *runtime ? runtime : "/tmp") + "/kvplm-sim";
}

std::vector<Entry> List() {
    const std::string dir = Directory();
    std::vector<Entry> entries;
    if (!OwnDirectory(dir)) return entries;
    DIR* d = opendir(dir.c_str());
    if (!d) return entries;
    struct Found {
        long pid, n;
        Entry entry;
    };
    std::vector<Found> found;
    while (dirent* e = readdir(d)) {
        long pid = 0, n = 0;
        if (!ParseName(e->d_name, pid, n) || !ProcessAlive(pid)) continue;
        Entry entry;
        if (!ReadLines(dir + "/" + e->d_name, entry.path, entry.label)) continue;
        struct stat st {};
        if (stat(entry.path.c_str(), &st) != 0) continue;
        found.push_back({pid, n, entry});
    }
    closedir(d);
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.pid != b.pid ? a.pid < b.pid : a.n < b.n; });
    for (Found& f : found)
        entries.push_back(std::move(f.entry));
    return entries;
}

std::string Write(const std::string& devicePath, const std::string& label) {
    const std::string dir = Directory();
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return "";
    if (!OwnDirectory(dir)) return "";
    const std::string stem = std::to_string(getpid()) + "-" + std::to_string(g_sequence++);
    const std::string file = dir + "/" + stem + ".port";
    const std::string temp = dir + "/." + stem + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return "";
    const std::string text = devicePath + "\n" + label + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written || rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return "";
    }
    return file;
}

void Remove(const std::string& file) {
    if (!file.empty()) unlink(file.c_str());
}

} // namespace SimAnnounce
