#include "Sysfs.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace Sysfs {

namespace {

std::mutex rootMutex;
std::string rootOverride;
std::string devRootOverride;

std::string FromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace

std::string Root() {
    std::lock_guard<std::mutex> lock(rootMutex);
    return rootOverride.empty() ? FromEnvironment("KVPLM_SYSFS_ROOT", "/sys") : rootOverride;
}

void SetRoot(const std::string& root) {
    std::lock_guard<std::mutex> lock(rootMutex);
    rootOverride = root;
}

std::string DevRoot() {
    std::lock_guard<std::mutex> lock(rootMutex);
    return devRootOverride.empty() ? FromEnvironment("KVPLM_DEV_ROOT", "/dev") : devRootOverride;
}

void SetDevRoot(const std::string& root) {
    std::lock_guard<std::mutex> lock(rootMutex);
    devRootOverride = root;
}

std::string ReadAttribute(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

bool WriteAttribute(const std::string& path, const std::string& value) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out) return false;
    out << value << '\n';
    out.flush();
    return bool(out);
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return {};
    return resolved;
}

std::string LinkTargetName(const std::string& link) {
    const std::string target = RealPath(link);
    if (target.empty()) return {};
    return target.substr(target.find_last_of('/') + 1);
}

UsbDevice UsbDeviceAbove(const std::string& devicePath) {
    UsbDevice usb;
    const std::string top = RealPath(Root());
    std::string folder = RealPath(devicePath);
    while (!folder.empty() && folder != "/" && folder != top) {
        if (Exists(folder + "/idVendor")) {
            usb.found = true;
            usb.path = folder;
            usb.vendorId = ReadAttribute(folder + "/idVendor");
            usb.productId = ReadAttribute(folder + "/idProduct");
            usb.product = ReadAttribute(folder + "/product");
            usb.manufacturer = ReadAttribute(folder + "/manufacturer");
            usb.serial = ReadAttribute(folder + "/serial");
            usb.busNumber = std::atoi(ReadAttribute(folder + "/busnum").c_str());
            usb.deviceNumber = std::atoi(ReadAttribute(folder + "/devnum").c_str());
            break;
        }
        folder = Parent(folder);
    }
    return usb;
}

std::vector<Tty> TtysWithDevice() {
    std::vector<Tty> ttys;
    const std::string classDir = Root() + "/class/tty";
    const std::string devRoot = DevRoot();
    for (const std::string& name : ListDir(classDir)) {
        Tty tty;
        tty.name = name;
        tty.classPath = classDir + "/" + name;
        tty.devicePath = RealPath(tty.classPath + "/device");
        if (tty.devicePath.empty()) continue;
        tty.driver = LinkTargetName(tty.devicePath + "/driver");
        tty.node = devRoot + "/" + name;
        ttys.push_back(tty);
    }
    std::sort(ttys.begin(), ttys.end(),
              [](const Tty& a, const Tty& b) { return NaturalLess(a.name, b.name); });
    return ttys;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j]));
        if (digitA && digitB) {
            size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            // Compare the runs by value: strip leading zeros, then length, then digits.
            size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0')
                ++startA;
            while (startB + 1 < endB && b[startB] == '0')
                ++startB;
            if (endA - startA != endB - startB) return endA - startA < endB - startB;
            const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace Sysfs
